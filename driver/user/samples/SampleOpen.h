// What the samples say when the board library does not open: the status's
// name and, in words, what is missing on this machine.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "driver/user/Pardow.h"
#include "driver/user/QelHwStatus.h"

namespace pardow_sample {

inline const char* WhatIsMissing(QelHwStatus status) {
  switch (status) {
    case QELHW_ERROR_ACQUIRE_MUTEX:
      return "the library's named mutex could not be taken: PLAT_MACHINE must name the machine directory";
    case QELHW_ERROR_NO_BOARD_FOUND:
      return "no kernel host answers on this machine, or it runs no board: start kernel-host first";
    case QELHW_ERROR_RESOURCE_MISSING:
      return "YATFOLVA4XDIR must name the driver folder that holds Yat_Tramond-CL_RZ6_Config.ini";
    case QELHW_ERROR_INCOMPATIBLE_VERSION:
      return "the kernel driver's ABI version is not the library's";
    case QELHW_ERROR_PROCESS_NOT_REGISTERED:
      return "all 32 process slots of the board library are held";
    case QELHW_ERROR_SYSTEM_RESOURCE:
      return "the library's shared section cannot be mapped";
    case QELHW_ERROR_DRIVER_STATUS:
      return "the driver refused this process's message client (it serves 16 processes)";
    default:
      return "the machine log (qel.log in the machine directory) says why";
  }
}

// Prints why QelHw_Open failed, for a person who runs the sample.
inline void ReportOpenFailure(const char* program, QelHwStatus status) {
  const char* machine = std::getenv("PLAT_MACHINE");
  std::fprintf(stderr, "%s: the board library did not open: %s (%d)\n  %s\n  (PLAT_MACHINE=%s)\n", program,
               QelHw_GetErrorName(status), status, WhatIsMissing(status), machine != nullptr ? machine : "");
}

// True when the first argument asks for the usage.
inline bool AsksForHelp(int argc, char** argv) {
  if (argc < 2) return false;
  const std::string_view first = argv[1];
  return first == "--help" || first == "-h" || first == "/?";
}

}  // namespace pardow_sample
