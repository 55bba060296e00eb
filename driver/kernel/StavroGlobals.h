// What the driver keeps once per driver, not per device: its links to the
// outside log and memory drivers and the clock rate of the timing service.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/kernel/device.h"
#include "platform/kernel/qellog.h"
#include "platform/kernel/qelmem.h"

struct StavroLogLink {
  plat::kernel::FileObject* file;
  plat::kernel::DeviceObject* device;
  plat::kernel::QelLogInterface face;
  std::atomic<bool> bound;
};

struct StavroMemoryLink {
  plat::kernel::FileObject* file;
  plat::kernel::DeviceObject* device;
  plat::kernel::QelMemFunctionTable table;
  std::atomic<bool> bound;
};

extern StavroLogLink g_StavroLog;
extern StavroMemoryLink g_StavroMemory;
// Clock rate in MHz: the CPU speed at first, then the counter's frequency.
extern std::atomic<std::uint32_t> g_StavroClockMhz;

// The pool tag "unk" followed by a letter naming the use.
constexpr std::uint32_t StavroPoolTag(char use) {
  return static_cast<std::uint32_t>('u') | static_cast<std::uint32_t>('n') << 8 |
         static_cast<std::uint32_t>('k') << 16 | static_cast<std::uint32_t>(static_cast<unsigned char>(use)) << 24;
}
inline constexpr std::uint32_t kTagOutput = StavroPoolTag('O');
inline constexpr std::uint32_t kTagRegistry = StavroPoolTag('R');
inline constexpr std::uint32_t kTagName = StavroPoolTag('N');
inline constexpr std::uint32_t kTagBucket = StavroPoolTag('B');
inline constexpr std::uint32_t kTagFile = StavroPoolTag('F');
