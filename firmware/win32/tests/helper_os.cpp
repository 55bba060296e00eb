// A process using the operating-system layer's named shared buffers.
//   alloc <name> <size>       -> "ok <created-here>" | "fail"
//   open <name>               -> "ok <created-here> <size>" | "fail"
//   write <offset> <hex>      -> "ok" | "fail"   (through a window at the offset)
//   read <offset> <count>     -> "<hex>" | "fail"
//   lock <timeout ms>         -> "locked" | "not locked"
//   unlock                    -> "ok" | "fail"
//   free                      -> "ok"
//   user <size>               a user buffer of physical pages -> "user <size>" | "fail"
#include <sstream>
#include <string>
#include <vector>

#include "driver/user/tests/helper_support.h"
#include "firmware/win32/QelUtilCopy.h"
#include "firmware/win32/QelUtilSharedBuffer.h"
#include "firmware/win32/QelUtilUserBuffer.h"
#include "qellib/QelLog.h"

namespace {

QelUtilSharedBuffer g_buffer{};

std::string Write(std::uint64_t offset, const std::vector<std::uint8_t>& bytes) {
  QelUtilSharedWindow window{};
  void* at = QelUtilMapSharedBuffer(&g_buffer, offset, bytes.size(), &window);
  if (at == nullptr) return "fail";
  FastMemCopy(at, bytes.data(), bytes.size(), false);
  return QelUtilUnmapSharedBuffer(&window) ? "ok" : "fail";
}

std::string Read(std::uint64_t offset, std::uint32_t count) {
  QelUtilSharedWindow window{};
  const void* at = QelUtilMapSharedBuffer(&g_buffer, offset, count, &window);
  if (at == nullptr) return "fail";
  std::vector<std::uint8_t> bytes(count);
  FastMemCopy(bytes.data(), at, count, true);
  QelUtilUnmapSharedBuffer(&window);
  return helper::Hex(bytes.data(), bytes.size());
}

std::string Run(const std::string& line) {
  std::istringstream in(line);
  std::string command;
  std::string name;
  in >> command;
  if (command == "alloc") {
    in >> name;
    const std::uint32_t size = helper::Number(in);
    if (!QelUtilAllocSharedBuffer(size, name.c_str(), &g_buffer)) return "fail";
    return "ok " + std::to_string(QelUtilHasCreatedSharedBuffer(&g_buffer));
  }
  if (command == "open") {
    in >> name;
    if (!QelUtilOpenSharedBuffer(name.c_str(), &g_buffer)) return "fail";
    return "ok " + std::to_string(QelUtilHasCreatedSharedBuffer(&g_buffer)) + " " + std::to_string(g_buffer.size);
  }
  if (command == "write") {
    const std::uint32_t offset = helper::Number(in);
    std::string hex;
    in >> hex;
    return Write(offset, helper::Bytes(hex));
  }
  if (command == "read") {
    const std::uint32_t offset = helper::Number(in);
    return Read(offset, helper::Number(in));
  }
  if (command == "lock") return QelUtilLockSharedBuffer(&g_buffer, helper::Number(in)) ? "locked" : "not locked";
  if (command == "unlock") return QelUtilUnlockSharedBuffer(&g_buffer) ? "ok" : "fail";
  if (command == "free") return QelUtilFreeSharedBuffer(&g_buffer) ? "ok" : "fail";
  if (command == "user") {
    std::uint64_t size = helper::Number(in);
    QelUtilUserBuffer user{};
    if (!QelUtilAllocUserBuffer(&size, &user)) return "fail";
    QelUtilFreeUserBuffer(&user);
    return "user " + std::to_string(size);
  }
  return "unknown";
}

}  // namespace

int main() {
  LoadQelLog();
  const int result = helper::Serve(Run);
  UnloadQelLog();
  return result;
}
