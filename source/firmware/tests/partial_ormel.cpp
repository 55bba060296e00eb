// A device-control module for the server driver's tests that offers only its
// interface version: every other slot of its table is empty.
#include <algorithm>
#include <cstring>

#include "source/vkm/QelDevManCtrl.h"

namespace {

std::uint32_t InterfaceVersion(std::uint32_t* version) {
  if (version == nullptr) return 54;
  *version = 1;
  return 0;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) std::uint32_t QelDevManCtrlGetInterface(void* table,
                                                                                          std::uint32_t size) {
  if (table == nullptr) return 0;
  std::memset(table, 0, size);
  QelDevManCtrlInterface face{};
  face.QelGetInterfaceVersion = InterfaceVersion;
  std::memcpy(table, &face, std::min<std::size_t>(size, sizeof face));
  return 0;
}
