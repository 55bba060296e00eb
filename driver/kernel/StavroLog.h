// The driver's log client: every line goes to the outside log driver through
// the interface it handed over at driver entry, tagged with the source file
// and line that logged it.
#pragma once

#include <cstdint>

inline constexpr char kStavroLabel[] = "Stavro.SYS";
inline constexpr char kStavroVersionText[] = "1.00";

inline constexpr std::uint32_t kLogError = 0;
inline constexpr std::uint32_t kLogWarning = 1;
inline constexpr std::uint32_t kLogNotice = 2;
inline constexpr std::uint32_t kLogTrace = 3;

// Trace flags of the manager extension.
inline constexpr std::uint32_t kTraceLifeCycle = 0x10;
inline constexpr std::uint32_t kTraceMemory = 0x20;
inline constexpr std::uint32_t kTraceChannels = 0x40;
inline constexpr std::uint32_t kTraceEvents = 0x80;  // each event the DPC hands to the message decoder
inline constexpr std::uint32_t kTraceDispatch = 0x800;
inline constexpr std::uint32_t kTraceAnyFatal = 0xFFF0;
inline constexpr std::uint32_t kTraceDefault = 0x10;

// Formats into a line buffer of its own (at most 255 characters, cut when
// longer) so that threads logging at once never share one; an unbound log
// formats and drops the line.
void KernelLogPrint(std::uint32_t level, const char* sourcePath, std::uint32_t line, const char* format,
                    ...) __attribute__((format(printf, 4, 5)));

// Every driver message starts with the module label through its first "%s".
#define STAVRO_LOG(level, format, ...) \
  KernelLogPrint((level), __FILE__, __LINE__, (format), kStavroLabel __VA_OPT__(, ) __VA_ARGS__)
