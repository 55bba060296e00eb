// A process attaching the display support library as the buffer module does.
//   attach    DorvAttach   -> its status in decimal
//   detach    DorvDetach   -> "ok"
//   loaded    whether "Dorv.DLL" is in the process -> "1" | "0"
#include <string>

#include "driver/user/tests/helper_support.h"
#include "firmware/win32/QelDorvBinding.h"
#include "platform/win/library.h"
#include "qellib/QelLog.h"

namespace {

dorv::DorvInterface g_record{};

std::string Run(const std::string& command) {
  if (command == "attach") return std::to_string(DorvAttach(&g_record));
  if (command == "detach") {
    DorvDetach(&g_record);
    return "ok";
  }
  if (command == "loaded") return plat::find_loaded_library(dorv::kLibraryName) != nullptr ? "1" : "0";
  return "unknown";
}

}  // namespace

int main() {
  LoadQelLog();
  return helper::Serve(Run);
}
