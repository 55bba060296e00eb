// The library's trace switch: the shared debug level and the driver's trace flags.
#include <atomic>

#include "driver/user/Pardow.h"
#include "driver/user/YatLibrary.h"
#include "driver/user/YatManRequests.h"
#include "platform/win/debug_output.h"

PARDOW_API QelHwStatus Yat_Man_Debug_Level(std::uint32_t level) {
  std::atomic_ref<std::uint32_t>(Yat_GetSharedData()->debugLevel).store(level);
  plat::output_debug_string(level != 0 ? "\nDebugging is on\n" : "\nDebugging is off\n");
  // A driver that refuses the flags is logged by the request; tracing stays on here.
  Yat_Man_SetDriverTraceLevel(level);
  return QELHW_OK;
}
