// A module whose load and unload hooks leave a trace in the machine directory,
// where the test reads them after the module is gone.
#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/win/library.h"
#include "platform/win/machine.h"

#define TESTMOD_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

bool record_event(plat::ModuleHandle self, plat::ModuleEvent event) {
  const std::string path = plat::machine_path("testmod-events.txt");
  if (std::FILE* file = std::fopen(path.c_str(), "a")) {
    std::fprintf(file, "%s %p\n", event == plat::ModuleEvent::kProcessAttach ? "attach" : "detach",
                 self);
    std::fclose(file);
  }
  return true;
}

}  // namespace

PLAT_MODULE_ENTRY(record_event)

TESTMOD_EXPORT int TestModAnswer() { return 42; }

using PutLogEntry = int (*)(std::uint32_t, const char*, std::uint32_t, const char*);

// Logs through the log library's entry, so the line carries this module's name.
// The log library names the module its entry returns to: a tail call (as an
// optimised build makes here) would return to our caller's module instead.
TESTMOD_EXPORT int TestModPutLog(void* put_log, const char* text) {
  const int result = reinterpret_cast<PutLogEntry>(put_log)(1, "testmod_entry.cpp", 31, text);
  asm volatile("" ::: "memory");
  return result;
}
