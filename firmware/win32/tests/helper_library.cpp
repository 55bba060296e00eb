// A process that loads "Quillet.DLL" by name and takes its manager interface.
//   slots                -> the number of non-null slots of the interface
//   write <value>        -> "ok": the value into the open counter of the library's shared section
//   read                 -> the open counter
#include <sstream>
#include <string>

#include "driver/user/tests/helper_support.h"
#include "firmware/win32/QelManagerInterface.h"
#include "firmware/win32/QuilletShared.h"
#include "platform/win/library.h"
#include "platform/win/sections.h"

namespace {

QelManagerInterface* g_interface = nullptr;

// The library's own section, as any module of the machine can name it.
QuilletSharedData* Shared() {
  static auto* shared = static_cast<QuilletSharedData*>(
      plat::map_module_shared_data(kQuilletSharedDataName, sizeof(QuilletSharedData)));
  return shared;
}

std::string Run(const std::string& line) {
  std::istringstream in(line);
  std::string command;
  in >> command;
  if (command == "slots") {
    int used = 0;
    for (QelManagerEntry entry : g_interface->slot) used += entry != nullptr ? 1 : 0;
    return std::to_string(used);
  }
  if (Shared() == nullptr) return "fail";
  if (command == "write") {
    Shared()->HostOpenCounter = static_cast<std::int32_t>(helper::Number(in));
    return "ok";
  }
  if (command == "read") return std::to_string(Shared()->HostOpenCounter);
  return "unknown";
}

}  // namespace

int main() {
  plat::ModuleHandle module = plat::load_library("QUILLET.dll");
  if (module == nullptr) return 3;
  auto get = reinterpret_cast<QelManagerInterface* (*)()>(plat::get_proc_address(module, "GetManagerInterface"));
  if (get == nullptr || (g_interface = get()) == nullptr) return 4;
  return helper::Serve(Run);
}
