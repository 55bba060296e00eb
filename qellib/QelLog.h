// Binding of the maker's log library "QelLog.dll" and the one log function of
// each user-mode deliverable. Each deliverable carries its own copy: the
// binding is per module and per process. Without the library nothing is
// logged and nothing fails.
#pragma once

#include <cstdint>

// Levels of log lines.
inline constexpr std::uint32_t kQelLogError = 0;
inline constexpr std::uint32_t kQelLogWarning = 1;
inline constexpr std::uint32_t kQelLogNotice = 2;
inline constexpr std::uint32_t kQelLogTrace = 3;

// Longest text handed to the log library; longer texts are cut.
inline constexpr std::uint32_t kQelLogMaxText = 255;

// Binds "QelLog.dll" once per process: true when it bound it now, false when
// it was bound already or cannot be loaded. A missing entry stays unbound and
// its log call does nothing.
bool LoadQelLog();
// Frees the library and forgets every entry: later lines are dropped.
void UnloadQelLog();
// True while this module holds the library (an open that finds it bound
// counts it as loaded).
bool IsQelLogBound();

// One log line: level, source file, line and a printf text cut at 255
// characters. When the library is not bound the arguments are not even
// formatted.
void LogPutLog(std::uint32_t level, const char* source_file, std::int32_t line, const char* format,
               ...) __attribute__((format(printf, 4, 5)));
// The same without a source position.
void LogPutMsg(std::uint32_t level, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Forwards its six arguments to the library's own entry; 0 when it is not bound.
int QelLogOnline(std::uintptr_t a1, std::uintptr_t a2, std::uintptr_t a3, std::uintptr_t a4,
                 std::uintptr_t a5, std::uintptr_t a6);
