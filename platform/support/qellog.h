// Entry points of the log library stand-in "QelLog.dll". Its users bind them
// by name at run time; this header is for the library itself and its tests.
#pragma once

#include <cstdint>

#define QELLOG_EXPORT extern "C" __attribute__((visibility("default")))

// 1 when the log can be written on this machine, else 0. The six arguments are
// passed through by the users' wrappers and carry nothing this log needs.
QELLOG_EXPORT int QelLogOnline(std::uintptr_t, std::uintptr_t, std::uintptr_t, std::uintptr_t,
                               std::uintptr_t, std::uintptr_t);
// One entry of the calling module; 1 when written, 0 otherwise.
QELLOG_EXPORT int QelLogPutLog(std::uint32_t level, const char* source, std::uint32_t line,
                               const char* text);
QELLOG_EXPORT int QelLogPutMsg(std::uint32_t level, const char* text);
// The log's last whole lines that fit into `buffer` (always terminated):
// the number of bytes copied, without the terminator; -1 for no buffer.
QELLOG_EXPORT int QelLogGetLog(char* buffer, std::uint32_t size);
// The same, at most the last `max_lines` lines.
QELLOG_EXPORT int QelLogGetLogEx(char* buffer, std::uint32_t size, std::uint32_t max_lines);
