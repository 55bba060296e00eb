// The driver's two device extensions: the manager extension of the control
// device and the board extension of each board device. Fields keep the order
// of the records as the rest of the driver knows them; the board start-up,
// the interrupt routine, the message queues and the transfer machinery fill
// in what they add.
//
// Lock order of the whole driver. A thread takes these in the order listed
// and never waits for one while it holds one listed after it (kernel
// mutexes are recursive for their owner, so taking a held one again is
// allowed). Spin locks come last and are never held across a wait.
//
//   1. board configurationMutex    FPGA loads and unloads, the register map's
//                                  rebuild, the FPGA reset, the reload from flash
//   2. board eepromMutex           EEPROM image, FPGA reset, reload
//   3. board i2cMutex
//   4. board flashMutex
//   5. board serial.lifecycleMutex serial ports registered and removed, the
//                                  receive thread started and stopped
//   6. board serialMutex, then serial.ports.threadMutex
//   7. channel transferMutex       one per acquisition channel: a transfer's
//                                  build, start, position, cycle mode, abort
//                                  and free; two of them only in channel order
//   8. manager processTableLock    short table work only: slot lookups, slot
//                                  changes, the process block lists; never
//                                  held across page locking, descriptor
//                                  building, register waits or on-board copies
//   9. board onboardMemoryMutex    the window engine (memory jobs, chain copies)
//  10. board onboardAllocatorLock  the on-board allocator's tables
//  11. channel requestMutex
//   spin locks: manager boardTableLock, the queue locks, setBitsLock,
//   serialLock, dmaMessageLock, ioEventLock, lineEventLock, reloadLock and
//   the interrupt lock.
//
// So the caller's slot is always looked up before the on-board memory is
// touched, and a process's close (which destroys transfers and so takes
// their channel's transferMutex) runs without the process table held.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "driver/kernel/BlockList.h"
#include "driver/kernel/SerialPort.h"
#include "driver/kernel/YatBoardRecords.h"
#include "driver/kernel/YatEventRouting.h"
#include "driver/kernel/YatIoctl.h"
#include "driver/kernel/YatMessageQueue.h"
#include "driver/user/QelHwStatus.h"
#include "platform/kernel/device.h"
#include "platform/kernel/dma.h"
#include "platform/kernel/interrupt.h"
#include "platform/kernel/sync.h"
#include "platform/kernel/thread.h"
#include "platform/kernel/timer.h"

inline constexpr std::uint32_t kYatManagerKind = 0;
inline constexpr std::uint32_t kYatBoardKind = 1;
inline constexpr std::uint32_t kYatProcessSlots = 16;
inline constexpr std::uint32_t kYatMaxRanges = 4;
inline constexpr std::int64_t kYatBoardTimerPeriod = -50000000;  // 5 s, relative
inline constexpr std::uint32_t kYatChannels = 8;
inline constexpr std::uint32_t kYatNoOwner = 16;
inline constexpr std::uint32_t kYatWow64Handles = 16;
inline constexpr std::uint32_t kYatPendingWords = 10;

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
  YatBlockList transferList;  // the process's transfer objects
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
  std::uint64_t wow64HandleMap[kYatProcessSlots][kYatWow64Handles];
  YatMessageQueue messageQueues[kYatProcessSlots][kYatQueuesPerProcess];
  // Opens and closes change the process table one at a time.
  plat::kernel::KernelMutex processTableLock;
  // Guards boardSlots against a board's removal while requests pin boards.
  plat::kernel::SpinLock boardTableLock;
};

struct YatBoardExtension;

// What a channel's DPC and thread are started with.
struct YatChannelContext {
  YatBoardExtension* board;
  std::uint32_t channel;
};

// The acquisition channel machinery of one channel.
struct YatChannel {
  plat::kernel::Dpc timerDpc;
  plat::kernel::KernelTimer timer;
  plat::kernel::KernelThread* thread;
  plat::kernel::KernelEvent event;
  std::uint32_t stopFlag;
  plat::kernel::KernelMutex transferMutex;
  plat::kernel::KernelMutex requestMutex;
  YatChannelContext context;
  std::uint32_t requestWord;  // 1 stop the thread, 2 timer tick, 3 reset the transfers
  std::uint32_t timerFired;
  std::uint32_t active;       // its DPC, timer, event and thread were made
};

// Serial ports of the board: the registers of ports 0 and 1 kept across
// rebuilds of the register map, and the port thread's signal.
struct YatSerialState {
  std::uint32_t portsConnected;
  std::uint32_t portCount;
  plat::kernel::KernelEvent event;
  plat::kernel::KernelThread* thread;
  YatSerialPorts ports;  // port block, software FIFOs, receive-thread control
  // Held while the ports are created or removed, so that the receive thread
  // is started and stopped by one holder at a time.
  plat::kernel::KernelMutex lifecycleMutex;
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
  std::uint8_t eepromImage[256];  // byte 0 is 0xA5 once read; the u16 at 38 is the option word
  YatResourceManager registers;
  YatFpgaMemory fpgaMemory;
  std::uint32_t fpgaId;  // register 0x400 when the register map was last built
  plat::kernel::KernelMutex eepromMutex;
  plat::kernel::KernelMutex i2cMutex;
  plat::kernel::KernelMutex flashMutex;
  plat::kernel::KernelMutex onboardMemoryMutex;    // the window engine
  plat::kernel::KernelMutex onboardAllocatorLock;  // the allocator's tables
  plat::kernel::KernelMutex configurationMutex;    // FPGA configuration and the register map's rebuild
  plat::kernel::KernelMutex transferMutex;
  plat::kernel::KernelMutex serialMutex;
  plat::kernel::SpinLock serialLock;
  plat::kernel::SpinLock dmaMessageLock;
  plat::kernel::SpinLock ioEventLock;    // events of register 0x820
  plat::kernel::SpinLock lineEventLock;  // events of register 0x800
  plat::kernel::SpinLock setBitsLock;
  plat::kernel::KernelEvent onboardMemoryEvent;  // signalled by main status bit 6
  plat::kernel::KernelEvent secondEvent;         // signalled by auxiliary status bit 3 of 0x40C
  std::uint32_t pendingStatus[kYatPendingWords];
  std::uint32_t acqOwner[kYatChannels];
  std::uint32_t acqOwnerSecond[kYatChannels];
  std::uint32_t acqOwnerThird[kYatChannels];
  std::uint32_t routeOwner[16];
  YatEventRouting routing;  // who receives the board's events, and the decoder's channel state
  std::uint64_t statusTimeStamps[4];  // main status bits 25 to 28
  std::uint32_t modelWord;
  YatSerialState serial;
  std::uint32_t serialPortSettings[2][2];  // registers 0x1220 and 0x1230 of ports 0 and 1
  std::uint32_t interruptMaskWord;  // copy of register 0x42C; bit 0 = master enable
  std::uint32_t flashId;
  // The flash: its interface kind (0 until the first reset), identifier word 3
  // (0 until read) with the protection scheme it gave, and the reload's lock.
  std::uint32_t flashInterfaceKind;
  std::uint32_t flashIdWord3;
  std::uint8_t flashPersistent;
  plat::kernel::SpinLock reloadLock;
  YatChannel channels[kYatChannels];
  std::uint32_t transferAbortDelay;
  std::uint32_t alChannelMask[kYatChannels];  // AL DMA channels of each acquisition channel's transfers
  std::uint32_t disablePixelClockInterrupt[kYatChannels];  // set by YAT_IOCTRL_WRITE_CMD kind 2
  std::uint32_t flagBits;
  std::uint32_t furtherSetting;
  // Requests (and closes) that use the board; its removal waits for them.
  std::atomic<std::uint32_t> pins;
  std::atomic<std::uint8_t> retiring;
  // Bytes of on-board memory as the size probe found them; 0 until probed.
  std::atomic<std::uint64_t> onboardBytes;
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
