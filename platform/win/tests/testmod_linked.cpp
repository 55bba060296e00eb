// A module the test program links, so it is loaded before the program starts;
// its load hook runs then, before any test could look.
#include "platform/win/library.h"

#define TESTMOD_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

int attach_count = 0;
plat::ModuleHandle attached_as = nullptr;

bool count_attach(plat::ModuleHandle self, plat::ModuleEvent event) {
  if (event == plat::ModuleEvent::kProcessAttach) {
    ++attach_count;
    attached_as = self;
  }
  return true;
}

}  // namespace

PLAT_MODULE_ENTRY(count_attach)

TESTMOD_EXPORT int TestLinkedAttachCount() { return attach_count; }
TESTMOD_EXPORT void* TestLinkedSelf() { return attached_as; }
