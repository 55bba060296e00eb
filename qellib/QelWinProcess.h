// Process, thread, file-version and installation utilities.
#pragma once

#include <cstdint>

#include "driver/user/QelHwStatus.h"

// 1 while the process runs, else 0.
int IsProcessAlive(std::uint32_t process_id);

// The four 16-bit parts of a file's version: -2 null argument, -2009 no
// version record in the file.
QelHwStatus QelWinGetFileVersion(const char* file, std::uint32_t* major, std::uint32_t* minor,
                                 std::uint32_t* third, std::uint32_t* fourth);

// The thread ids of the calling process: at most *count stored in ids, *count
// set to the number found. -2 null count, -4 when the threads cannot be listed.
QelHwStatus QelWinListThreads(std::uint32_t* count, std::uint32_t* ids);

// Waits until no device installation is pending: 0 (also when the installer
// library lacks the wait), -6 on time-out, -2011 when "setupapi.dll" cannot
// be loaded.
QelHwStatus QelWinWaitNoPendingInstall(std::uint32_t timeout_ms);
