// The board's Camera Link serial ports as client ports of the serial-port
// manager: the port block with its two port contexts, the operation table a
// port is driven through, and the software receive FIFO between the
// interrupt routine and the receive thread.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/kernel/dpc.h"
#include "platform/kernel/objects.h"
#include "platform/kernel/sync.h"
#include "platform/kernel/thread.h"

inline constexpr std::uint32_t kYatSerialPorts = 2;
inline constexpr std::uint32_t kYatSerialFifoSize = 4096;
inline constexpr std::uint32_t kYatSerialClientId = 0xB12C;
inline constexpr std::uint32_t kYatSerialClientUart = 1;
inline constexpr std::uint32_t kYatSerialDriverVersion = 4;
inline constexpr std::uint32_t kYatSerialDrainLimit = 2048;
inline constexpr std::uint32_t kYatSerialFifoDepth = 16;
inline constexpr std::uint32_t kYatSerialFifoOverflow = 0x2;
inline constexpr std::uint32_t kYatSerialFifoParity = 0x4;

// Every operation gets the board context and the port index first; results
// are statuses (0 success).
using YatSerialOp = std::int32_t (*)(void* board, std::uint32_t port);
using YatSerialValueOp = std::int32_t (*)(void* board, std::uint32_t port, std::uint32_t value);
using YatSerialReadOp = std::int32_t (*)(void* board, std::uint32_t port, std::uint8_t* byte);
using YatSerialWriteOp = std::int32_t (*)(void* board, std::uint32_t port, std::uint8_t byte);
using YatSerialDefaultOp = std::int32_t (*)(void* board, std::uint32_t port, std::uint32_t* baud,
                                            std::uint32_t* lineControl);
using YatSerialStatusOp = std::uint32_t (*)(void* board, std::uint32_t port);
using YatSerialFifoStatusOp = std::int32_t (*)(void* board, std::uint32_t port, std::uint32_t* read,
                                               std::uint32_t* write, std::uint32_t* flags);

// The 16 slots in their order; empty slots stay null.
struct YatSerialOperations {
  YatSerialFifoStatusOp fifoStatus;    // 0
  YatSerialReadOp readPort;            // 1
  YatSerialWriteOp writePort;          // 2
  YatSerialValueOp setBaudRate;        // 3
  YatSerialValueOp setLineControl;     // 4
  YatSerialOp connectSimple;           // 5
  YatSerialOp clearInterrupt;          // 6
  YatSerialOp enableInterrupt;         // 7
  YatSerialOp disableInterrupt;        // 8
  YatSerialDefaultOp getDefaultControl;  // 9
  YatSerialStatusOp getReadFifoStatus;   // 10
  YatSerialStatusOp getWriteFifoStatus;  // 11
  YatSerialOp connectPort;             // 12
  YatSerialOp disconnect;              // 13
  YatSerialOp waitWriteFifo;           // 14
  YatSerialOp writePortDone;           // 15
};
static_assert(sizeof(YatSerialOperations) == 16 * sizeof(void*));

struct YatSerialPortBlock;

struct YatSerialPortContext {
  std::uint32_t registered;
  std::uint32_t clientKind;
  std::uint32_t boardValue;
  std::uint32_t portIndex;
  std::uint32_t clientId;
  std::uint32_t boardIndex;
  std::uint32_t controlDeviceFlag;
  std::uint32_t reservedWord;
  std::uint8_t portInformation[256];
  char16_t nameSuffix[256];
  char16_t productName[256];
  std::uint64_t managerPortHandle;
  void* boardContext;
  std::uint32_t* versionWord;
  std::uint32_t capabilityMasks[4];  // baud rates, data bits, stop bits and parity, 0
  std::uint32_t drainLimit;
  std::uint32_t fifoDepth;
  plat::kernel::CallbackObject* callbackObject;
  void* callbackRegistration;
  plat::kernel::KernelEvent portEvent;
  YatSerialOperations operations;
  std::uint32_t connected;
  std::uint8_t* sharedMemory;
  plat::kernel::Dpc dpc;
  std::uint32_t dpcReady;
  std::uint32_t readsInThread;
  plat::kernel::SpinLock dpcLock;
  std::uint32_t writerStop;
  plat::kernel::KernelThread* writerThread;
  plat::kernel::KernelEvent workEvent;
  plat::kernel::KernelMutex writerMutex;
  std::uint32_t receivedCount;
  std::uint32_t eventsInitialised;
};

struct YatSerialPortBlock {
  std::uint32_t managerVersion;  // 0 until asked
  std::uint32_t reserve;
  YatSerialPortContext ports[kYatSerialPorts];
};

// Filled by the interrupt routine (write index, error flags) and emptied by
// the receive thread (read index). Empty when the indexes are equal.
struct YatSerialFifo {
  std::uint8_t data[kYatSerialFifoSize];
  std::uint32_t writeIndex;
  std::uint32_t readIndex;
  std::uint32_t errorFlags;
};

// What the UART start hands to the port creation.
struct YatSerialPortDescription {
  const YatSerialOperations* operations;
  std::uint32_t clientKind;
  std::uint32_t capabilityMasks[4];
  std::uint32_t drainLimit;
  std::uint32_t fifoDepth;
  const char16_t* nameSuffix;
  const char16_t* productName;  // null: the default product name
  void* boardContext;
  std::uint32_t readsInThread;
  std::uint32_t boardValue;
  std::uint32_t controlDeviceFlag;
  std::uint32_t reservedWord;
};

// The serial ports' part of the board extension.
struct YatSerialPorts {
  YatSerialPortBlock block;
  YatSerialFifo fifos[kYatSerialPorts];
  plat::kernel::KernelEvent writeFifoEvents[kYatSerialPorts];
  plat::kernel::KernelMutex threadMutex;  // guards the receive thread's stop flag and event
  std::uint32_t threadStop;
  std::uint32_t clock;  // the UART clock of the board, in Hz
};
