// The driver's two device extensions: the manager extension of the control
// device and the board extension of each board device. Fields keep the order
// of the records as the rest of the driver knows them; the board start-up,
// the interrupt routine, the message queues and the transfer machinery fill
// in what they add.
#pragma once

#include <cstddef>
#include <cstdint>

#include "driver/kernel/YatIoctl.h"
#include "driver/user/QelHwStatus.h"
#include "platform/kernel/device.h"
#include "platform/kernel/dma.h"
#include "platform/kernel/interrupt.h"
#include "platform/kernel/sync.h"
#include "platform/kernel/timer.h"

inline constexpr std::uint32_t kYatManagerKind = 0;
inline constexpr std::uint32_t kYatBoardKind = 1;
inline constexpr std::uint32_t kYatProcessSlots = 16;
inline constexpr std::uint32_t kYatMaxRanges = 4;
inline constexpr std::int64_t kYatBoardTimerPeriod = -50000000;  // 5 s, relative

// Board states.
inline constexpr std::uint32_t kYatBoardAdded = 0;
inline constexpr std::uint32_t kYatBoardStarted = 1;
inline constexpr std::uint32_t kYatBoardFailed = 3;

struct YatManagerExtension;

// A section handler: (manager, code, input, input length, output, output length) -> status.
using YatIocSectionHandler = QelHwStatus (*)(YatManagerExtension* manager, std::uint32_t code, void* input,
                                             std::uint32_t inputLength, void* output,
                                             std::uint32_t outputLength);

struct YatProcessRecord {
  std::uint32_t active;
  std::uint64_t transferList;
};

struct YatManagerExtension {
  plat::kernel::DeviceObject* controlDevice;
  std::uint32_t kind;
  std::uint32_t traceFlags;
  std::uint32_t cpuSpeed;
  plat::kernel::KernelString registryPath;
  plat::kernel::Irql sharedSyncLevel;
  plat::kernel::SpinLock sharedInterruptLock;
  std::uint64_t processTable[kYatProcessSlots];
  std::uint32_t openCounts[kYatProcessSlots];
  std::uint32_t cyclesPer800us;
  std::int64_t boardTimerPeriod;
  std::uint32_t boardCount;
  plat::kernel::DeviceObject* boardSlots[YAT_MAX_BOARDS];
  YatIocSectionHandler sectionHandlers[YAT_IOC_SECTION_COUNT];
  std::uint8_t flashFlag;
  YatProcessRecord processRecords[kYatProcessSlots];
  std::uint64_t wow64HandleMap[kYatProcessSlots][16];
  // Opens and closes change the process table one at a time.
  plat::kernel::KernelMutex processTableLock;
};

struct YatRange {
  std::uint32_t physicalLow;
  volatile std::uint32_t* mapped;
  std::uint32_t length;
};

struct YatBoardExtension {
  plat::kernel::DeviceObject* managerDevice;
  std::uint32_t kind;
  plat::kernel::DeviceObject* ownDevice;
  plat::kernel::DeviceObject* lowerDevice;
  plat::kernel::DeviceObject* physicalDevice;
  plat::kernel::DmaAdapter* dmaAdapter;
  std::uint32_t mapRegisterCount;
  QelHwStatus storedError;
  std::uint32_t boardSlot;
  std::uint32_t state;
  std::uint32_t interruptCount;
  plat::kernel::KernelTimer boardTimer;
  plat::kernel::Dpc boardTimerDpc;
  std::uint32_t rangeCount;
  YatRange ranges[kYatMaxRanges];
  plat::kernel::InterruptObject* interrupt;
  std::uint64_t interruptAffinity;
  std::uint8_t interruptLevel;
  std::uint32_t interruptVector;
  std::uint8_t eepromImage[256];
  std::uint32_t interruptMaskWord;  // copy of register 0x42C; bit 0 = master enable
};

// Validation tells the two apart by the kind word, found at one place in both.
static_assert(offsetof(YatManagerExtension, kind) == offsetof(YatBoardExtension, kind));

inline YatManagerExtension* ManagerOf(plat::kernel::DeviceObject* device) {
  return device ? static_cast<YatManagerExtension*>(device->extension) : nullptr;
}
inline YatBoardExtension* BoardOf(plat::kernel::DeviceObject* device) {
  return device ? static_cast<YatBoardExtension*>(device->extension) : nullptr;
}
inline std::uint32_t ExtensionKind(const void* extension) {
  return static_cast<const YatManagerExtension*>(extension)->kind;
}
