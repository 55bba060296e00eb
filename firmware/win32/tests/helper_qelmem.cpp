// A process binding the memory library as the server driver does.
//   load [label]   LoadQelMem          -> "1" | "0"
//   unload         UnloadQelMem        -> "ok"
//   call           a message allocated and freed through the wrappers -> "1" | "0"
//   loaded         whether "QelMem.dll" is in the process -> "1" | "0"
#include <sstream>
#include <string>

#include "driver/user/tests/helper_support.h"
#include "firmware/win32/QelMemBinding.h"
#include "platform/win/library.h"
#include "qellib/QelLog.h"

namespace {

std::string Run(const std::string& line) {
  std::istringstream in(line);
  std::string command;
  std::string label;
  in >> command >> label;
  if (command == "load") return LoadQelMem(label.empty() ? nullptr : label.c_str()) ? "1" : "0";
  if (command == "unload") {
    UnloadQelMem();
    return "ok";
  }
  if (command == "call") {
    void* message = nullptr;
    std::uint64_t reference = 0;
    if (!QelMemAllocMsg(64, &message, &reference)) return "0";
    return QelMemFreeMsg(message) ? "1" : "0";
  }
  if (command == "loaded") return plat::find_loaded_library("QelMem.dll") != nullptr ? "1" : "0";
  return "unknown";
}

}  // namespace

int main() {
  LoadQelLog();
  return helper::Serve(Run);
}
