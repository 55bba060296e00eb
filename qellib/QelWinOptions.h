// The common library's process-wide options: the module label that begins
// its log lines, and the options file that can stand in for the registry.
#pragma once

#include <cstdint>

#include "driver/user/QelHwStatus.h"
#include "platform/win/library.h"

// Label used before SetConfigPathName names the module.
inline constexpr const char* kQelWinDefaultLabel = "Habrix Windows Util";
inline constexpr std::uint32_t kQelWinMaxPath = 260;

// Sets the label to the module's file name, stores the options-file mode and,
// when both names are given, builds the options path "<variable's value>\<file>".
// A missing variable: -2009 (QELHW_ERROR_RESOURCE_MISSING).
QelHwStatus SetConfigPathName(plat::ModuleHandle module, const char* variable_name,
                              const char* file_name, std::uint32_t ini_mode);

// The label of this library's log lines: the file name of the module that
// carries the library, until SetConfigPathName names another.
const char* QelWinModuleLabel();
