// The UART layer under the serial ports: register access per port, the
// operation table of a UART port, its part of the interrupt routine, and the
// UART start that registers the board's ports after each register-map build.
// Each port has a register window of its own (0x400 apart).
#include <atomic>
#include <cstring>

#include "driver/kernel/BoardControl.h"
#include "driver/kernel/ResourceManager.h"
#include "driver/kernel/MutexHold.h"
#include "driver/kernel/Serial.h"
#include "driver/kernel/StavroLog.h"
#include "driver/kernel/YatBoard.h"

using namespace plat::kernel;
using plat::NtStatus;

namespace {

constexpr std::uint32_t kPortStride = 0x400;
constexpr std::uint32_t kRegControl = 0x1220;
constexpr std::uint32_t kRegTransmit = 0x1224;
constexpr std::uint32_t kRegReceive = 0x1228;
constexpr std::uint32_t kRegReset = 0x122C;
constexpr std::uint32_t kRegClockSelect = 0x1230;
constexpr std::uint32_t kRegSecondPort = 0x1400;
constexpr std::uint32_t kRegMainStatus = 0x404;

// Control register: written bits (kept in the shadow) and status bits.
constexpr std::uint32_t kDivisorMask = 0x1FF;
constexpr std::uint32_t kEightBits = 1u << 9;
constexpr std::uint32_t kParityMask = 0xC00;
constexpr std::uint32_t kParityEvenBits = 0x400;
constexpr std::uint32_t kParityOddBits = 0xC00;
constexpr std::uint32_t kInterruptEnables = 0xE000;
constexpr std::uint32_t kInterruptsWithTransmit = 0xE000;
constexpr std::uint32_t kInterruptsReceive = 0x6000;
constexpr std::uint32_t kWrittenBits = 0xFFFF;
constexpr std::uint32_t kStatusReceiveReady = 1u << 16;
constexpr std::uint32_t kStatusTransmitFull = 1u << 18;
constexpr std::uint32_t kStatusParityError = 1u << 19;
constexpr std::uint32_t kStatusOverflow = 1u << 20;
constexpr std::uint32_t kStatusTransmitBelowHalf = 1u << 21;
constexpr std::uint32_t kStatusFastClock = 1u << 29;
constexpr std::uint32_t kStatusTransmitInterrupt = 1u << 30;

constexpr std::uint32_t kClock = 50000000;
constexpr std::uint32_t kFastClock = 59090909;
constexpr std::uint32_t kFastClockSelect = 0x10000;
constexpr std::uint32_t kBaudMask = 0x7FA00;
constexpr std::uint32_t kFastBaudMask = 0x3FFA00;
constexpr std::uint32_t kDataBitsMask = 0x000C;
constexpr std::uint32_t kStopParityMask = 0x0701;
constexpr std::uint32_t kDefaultBaud = 9600;
constexpr std::uint32_t kDefaultLineControl = 3;
constexpr std::uint32_t kMaxDivisor = 512;
// One interrupt moves at most this many bytes per port; a board that keeps
// its receive-ready bit up (or reads all ones) is served again at the next.
constexpr std::uint32_t kMaxBytesPerInterrupt = 2 * kYatSerialFifoSize;
constexpr std::int64_t kWriteFifoWait = -30000000;  // 3 s

YatBoardExtension* Board(void* context) { return static_cast<YatBoardExtension*>(context); }

bool TraceOn(YatBoardExtension* board) {
  YatManagerExtension* manager = ManagerOf(board->managerDevice);
  return manager != nullptr && (manager->traceFlags & kTraceLifeCycle);
}

class UartLock {
 public:
  UartLock(YatBoardExtension* board, bool held) : mutex_(held ? nullptr : &board->serialMutex) {
    if (mutex_ != nullptr) wait_for_object(mutex_, nullptr);
  }
  ~UartLock() {
    if (mutex_ != nullptr) release_mutex(mutex_);
  }
  UartLock(const UartLock&) = delete;
  UartLock& operator=(const UartLock&) = delete;

 private:
  KernelMutex* mutex_;
};

std::uint32_t ConnectedMask(YatBoardExtension* board) {
  return std::atomic_ref<std::uint32_t>(board->serial.portsConnected).load();
}

void ChangeConnectedMask(YatBoardExtension* board, std::uint32_t port, bool connected) {
  std::atomic_ref<std::uint32_t> mask(board->serial.portsConnected);
  if (connected) mask.fetch_or(1u << port);
  else mask.fetch_and(~(1u << port));
}

std::uint32_t Status(YatBoardExtension* board, std::uint32_t port, bool lockHeld) {
  std::uint32_t status = 0;
  if (Yat_SerialReadReg(board, port, kRegControl, &status, lockHeld) != QELHW_OK) return 0;
  return status;
}

// The control register changes by read-modify-write of its shadow only.
QelHwStatus ChangeControl(YatBoardExtension* board, std::uint32_t port, std::uint32_t value, std::uint32_t mask) {
  UartLock lock(board, false);
  std::uint32_t current = 0;
  QelHwStatus status = Yat_SerialReadReg(board, port, kRegControl, &current, true);
  if (status != QELHW_OK) return status;
  const std::uint32_t next = ((current & kWrittenBits) & ~mask) | (value & mask);
  status = Yat_SerialWriteReg(board, port, kRegControl, next, true);
  if (status == QELHW_OK) board->serialPortSettings[port][0] = next;
  return status;
}

QelHwStatus ResetPort(YatBoardExtension* board, std::uint32_t port) {
  return Yat_SerialWriteReg(board, port, kRegReset, 1, false);
}

// The software FIFO: the interrupt routine is its only producer.
bool FifoPush(YatSerialFifo* fifo, std::uint8_t byte) {
  std::atomic_ref<std::uint32_t> write(fifo->writeIndex);
  const std::uint32_t at = write.load(std::memory_order_relaxed) % kYatSerialFifoSize;
  const std::uint32_t next = (at + 1) % kYatSerialFifoSize;
  if (next == std::atomic_ref<std::uint32_t>(fifo->readIndex).load(std::memory_order_acquire)) return false;
  fifo->data[at] = byte;
  write.store(next, std::memory_order_release);
  return true;
}

bool FifoPop(YatSerialFifo* fifo, std::uint8_t* byte) {
  std::atomic_ref<std::uint32_t> read(fifo->readIndex);
  const std::uint32_t at = read.load(std::memory_order_relaxed) % kYatSerialFifoSize;
  if (at == std::atomic_ref<std::uint32_t>(fifo->writeIndex).load(std::memory_order_acquire)) return false;
  *byte = fifo->data[at];
  read.store((at + 1) % kYatSerialFifoSize, std::memory_order_release);
  return true;
}

// Operation table of a UART port.
std::int32_t ReadPort(void* context, std::uint32_t port, std::uint8_t* byte) {
  if (port >= kYatSerialPorts) return plat::kStatusInvalidParameter;
  return FifoPop(&Board(context)->serial.ports.fifos[port], byte) ? 0 : plat::kStatusUnsuccessful;
}

std::int32_t WritePort(void* context, std::uint32_t port, std::uint8_t byte) {
  YatBoardExtension* board = Board(context);
  if (port >= kYatSerialPorts || (ConnectedMask(board) & (1u << port)) == 0) {
    STAVRO_LOG(kLogError, "%s:  Yat_SerialWritePort = Not connected");
    return plat::kStatusInvalidParameter;
  }
  return Yat_SerialWriteReg(board, port, kRegTransmit, byte, false);
}

std::int32_t SetBaudRate(void* context, std::uint32_t port, std::uint32_t baud) {
  YatBoardExtension* board = Board(context);
  if (baud == 0) {
    STAVRO_LOG(kLogError, "%s:  Invalid Baud Rate => Board(%d): Client Serial Port(%d) @%d",
               static_cast<int>(board->boardSlot), static_cast<int>(port), 0);
    return plat::kStatusInvalidParameter;
  }
  const std::uint64_t clock = board->serial.ports.clock != 0 ? board->serial.ports.clock : kClock;
  const std::uint64_t divisor = (clock + 8ull * baud) / (16ull * baud) - 1;
  if (divisor >= kMaxDivisor) {
    STAVRO_LOG(kLogError, "%s:  Yat_SerialSetBaudRate => Unsupported Baud Rate Board(%d), Port(%d) @%d",
               static_cast<int>(board->boardSlot), static_cast<int>(port), static_cast<int>(baud));
    return plat::kStatusInvalidParameter;
  }
  QelHwStatus status = ChangeControl(board, port, static_cast<std::uint32_t>(divisor), kDivisorMask);
  if (status == QELHW_OK) status = ResetPort(board, port);
  return status;
}

std::int32_t SetLineControl(void* context, std::uint32_t port, std::uint32_t lineControl) {
  YatBoardExtension* board = Board(context);
  const std::uint32_t wordLength = lineControl & kLineWordLengthMask;
  if (wordLength != 2 && wordLength != 3) {
    STAVRO_LOG(kLogError,
               "%s:  Yat_SerialSetLineControl => Unsupported Line Control, Number of Bits: Board(%d), Port(%d) "
               "Line Control = 0x%x",
               static_cast<int>(board->boardSlot), static_cast<int>(port), lineControl);
    return plat::kStatusInvalidParameter;
  }
  const std::uint32_t parity = lineControl & kLineParityMask;
  if (parity != 0 && parity != kLineParityOdd && parity != kLineParityEven) {
    STAVRO_LOG(kLogError,
               "%s:  Yat_SerialSetLineControl => Unsupported Line Control, Parity: Board(%d), Port(%d) Line "
               "Control = 0x%x",
               static_cast<int>(board->boardSlot), static_cast<int>(port), lineControl);
    return plat::kStatusInvalidParameter;
  }
  QelHwStatus status = ChangeControl(board, port, wordLength == 3 ? kEightBits : 0, kEightBits);
  const std::uint32_t parityBits = parity == kLineParityOdd ? kParityOddBits : parity == kLineParityEven ? kParityEvenBits : 0;
  if (status == QELHW_OK) status = ChangeControl(board, port, parityBits, kParityMask);
  if (status == QELHW_OK) status = ResetPort(board, port);
  return status;
}

std::int32_t ClearInterrupt(void*, std::uint32_t) { return 0; }

std::int32_t EnableInterrupt(void* context, std::uint32_t port) {
  YatBoardExtension* board = Board(context);
  const std::uint32_t status = Status(board, port, false);
  ResetPort(board, port);
  const std::uint32_t enables = (status & kStatusTransmitInterrupt) ? kInterruptsWithTransmit : kInterruptsReceive;
  return ChangeControl(board, port, enables, kInterruptEnables);
}

std::int32_t DisableInterrupt(void* context, std::uint32_t port) {
  return ChangeControl(Board(context), port, 0, kInterruptEnables);
}

std::int32_t GetDefaultControl(void*, std::uint32_t, std::uint32_t* baud, std::uint32_t* lineControl) {
  *baud = kDefaultBaud;
  *lineControl = kDefaultLineControl;
  return 0;
}

std::uint32_t GetReadFifoStatus(void* context, std::uint32_t port) {
  if (port >= kYatSerialPorts) return 0;
  return YatSerialFifoCount(&Board(context)->serial.ports.fifos[port]) != 0 ? 1 : 0;
}

std::uint32_t GetWriteFifoStatus(void* context, std::uint32_t port) {
  std::uint32_t status = 0;
  if (Yat_SerialReadReg(Board(context), port, kRegControl, &status, false) != QELHW_OK) return 0;
  return (status & kStatusTransmitFull) ? 0 : 1;
}

std::int32_t ConnectPort(void* context, std::uint32_t port) {
  YatBoardExtension* board = Board(context);
  if (port >= kYatSerialPorts) return QELHW_ERROR_NOT_SUPPORTED;
  if (port == 1) {
    std::uint32_t presence = 0;
    if (Yat_ReadReg(board, kRegSecondPort, &presence) != QELHW_OK || presence == 0 || presence == 0xFFFFFFFF) {
      if (TraceOn(board)) STAVRO_LOG(kLogTrace, "%s: The 2nd comm port is not avalable ");
      return QELHW_ERROR_NOT_SUPPORTED;
    }
  }
  std::uint32_t clock = kClock;
  if (Status(board, port, false) & kStatusFastClock) {
    clock = kFastClock;
    if (Yat_SerialWriteReg(board, port, kRegClockSelect, kFastClockSelect, false) == QELHW_OK)
      board->serialPortSettings[port][1] = kFastClockSelect;
  }
  board->serial.ports.clock = clock;
  UartLock lock(board, false);
  ChangeConnectedMask(board, port, true);
  return 0;
}

bool NothingToDo(void*) { return true; }

std::int32_t Disconnect(void* context, std::uint32_t port) {
  YatBoardExtension* board = Board(context);
  if (port >= kYatSerialPorts) return plat::kStatusInvalidParameter;
  {
    UartLock lock(board, false);
    ChangeConnectedMask(board, port, false);
    ChangeControl(board, port, 0, kInterruptEnables);
  }
  // An interrupt routine already past the mask test ends before the port goes.
  if (board->interrupt != nullptr && !synchronize_with_interrupt(board->interrupt, NothingToDo, nullptr))
    STAVRO_LOG(kLogError, "%s: Yat_SerialDisconnect: Could not sync with Interrupt");
  if (ConnectedMask(board) == 0) Yat_WriteReg(board, kRegMainStatus, 1);
  ResetPort(board, port);
  return 0;
}

std::int32_t WaitWriteFifo(void* context, std::uint32_t port) {
  if (port >= kYatSerialPorts) return plat::kStatusInvalidParameter;
  std::int64_t timeout = kWriteFifoWait;
  NtStatus status = wait_for_object(&Board(context)->serial.ports.writeFifoEvents[port], &timeout);
  if (status == plat::kStatusTimeout) STAVRO_LOG(kLogNotice, "%s:  Yat_SerialWaitWriteFifo Timeout.");
  return status;
}

constexpr YatSerialOperations kUartOperations = {
    nullptr,          ReadPort,          WritePort,          SetBaudRate,        SetLineControl, nullptr,
    ClearInterrupt,   EnableInterrupt,   DisableInterrupt,   GetDefaultControl,  GetReadFifoStatus,
    GetWriteFifoStatus, ConnectPort,     Disconnect,         nullptr,            nullptr,
};

// A UART that interrupts when its transmit FIFO drains lets the writer wait for that.
constexpr YatSerialOperations kUartOperationsWithWait = [] {
  YatSerialOperations operations = kUartOperations;
  operations.waitWriteFifo = WaitWriteFifo;
  return operations;
}();

// Re-arms the ports of a board whose ports already run.
void RearmPorts(YatBoardExtension* board, std::uint32_t count) {
  for (std::uint32_t port = 0; port < count && port < kYatSerialPorts; ++port) {
    ResetPort(board, port);
    Yat_SerialWriteReg(board, port, kRegControl, board->serialPortSettings[port][0], false);
  }
}

YatSerialPortDescription UartDescription(YatBoardExtension* board, std::uint32_t port, std::uint32_t baudMask,
                                         const YatSerialOperations* operations, const char16_t* suffix) {
  YatSerialPortDescription description{};
  description.operations = operations;
  description.clientKind = kYatSerialClientUart;
  description.capabilityMasks[0] = baudMask;
  description.capabilityMasks[1] = kDataBitsMask;
  description.capabilityMasks[2] = kStopParityMask;
  description.drainLimit = kYatSerialDrainLimit;
  description.fifoDepth = kYatSerialFifoDepth;
  description.nameSuffix = suffix;
  description.boardContext = board;
  description.readsInThread = 1;
  description.boardValue = board->boardSlot;
  return description;
}

}  // namespace

std::uint32_t YatSerialFifoCount(const YatSerialFifo* fifo) {
  const std::uint32_t write =
      std::atomic_ref<std::uint32_t>(const_cast<std::uint32_t&>(fifo->writeIndex)).load() % kYatSerialFifoSize;
  const std::uint32_t read =
      std::atomic_ref<std::uint32_t>(const_cast<std::uint32_t&>(fifo->readIndex)).load() % kYatSerialFifoSize;
  return (write + kYatSerialFifoSize - read) % kYatSerialFifoSize;
}

const YatSerialOperations* YatUartOperations() { return &kUartOperations; }

QelHwStatus Yat_SerialReadReg(YatBoardExtension* board, std::uint32_t port, std::uint32_t offset,
                              std::uint32_t* value, bool lockHeld) {
  if (board == nullptr || board->rangeCount == 0 || board->ranges[0].mapped == nullptr || !board->registers.built)
    return QELHW_ERROR_RESOURCE_RANGE;
  UartLock lock(board, lockHeld);
  return Yat_ReadReg(board, offset + kPortStride * port, value);
}

QelHwStatus Yat_SerialWriteReg(YatBoardExtension* board, std::uint32_t port, std::uint32_t offset,
                               std::uint32_t value, bool lockHeld) {
  if (board == nullptr || board->rangeCount == 0 || board->ranges[0].mapped == nullptr || !board->registers.built)
    return QELHW_ERROR_RESOURCE_RANGE;
  UartLock lock(board, lockHeld);
  return Yat_WriteReg(board, offset + kPortStride * port, value);
}

// From the interrupt routine: received bytes into the software FIFOs.
QelHwStatus Yat_SerialInterruptRequest(YatBoardExtension* board) {
  const std::uint32_t connected = ConnectedMask(board);
  for (std::uint32_t port = 0; port < kYatSerialPorts; ++port) {
    if ((connected & (1u << port)) == 0) continue;
    YatSerialFifo* fifo = &board->serial.ports.fifos[port];
    std::atomic_ref<std::uint32_t> flags(fifo->errorFlags);
    std::uint32_t status = Status(board, port, true);
    if (status & kStatusOverflow)
      STAVRO_LOG(kLogError, "%s:  Yat_SerialInterruptRequest => UART(%d) Fifo Overflow: status = 0x%x",
                 static_cast<int>(port), status);
    if ((status & (kStatusReceiveReady | kStatusTransmitBelowHalf)) == 0) continue;
    bool overflowLogged = false;
    for (std::uint32_t moved = 0; (status & kStatusReceiveReady) && status != 0xFFFFFFFF && moved < kMaxBytesPerInterrupt;
         ++moved) {
      if (status & kStatusOverflow) flags.fetch_or(kYatSerialFifoOverflow);
      if (status & kStatusParityError) {
        flags.fetch_or(kYatSerialFifoParity);
        STAVRO_LOG(kLogError, "%s:  Yat_SerialInterruptRequest => UART(%d) Parity Error: status = 0x%x",
                   static_cast<int>(port), status);
      }
      std::uint32_t byte = 0;
      if (Yat_SerialReadReg(board, port, kRegReceive, &byte, true) != QELHW_OK) break;
      if (!FifoPush(fifo, static_cast<std::uint8_t>(byte))) {
        flags.fetch_or(kYatSerialFifoOverflow);
        if (!overflowLogged)
          STAVRO_LOG(kLogError, "%s:  Yat_SerialInterruptRequest => UART Software Fifo Overflow: Board(%d), Port(%d)",
                     static_cast<int>(board->boardSlot), static_cast<int>(port));
        overflowLogged = true;
      }
      status = Status(board, port, true);
    }
  }
  return QELHW_OK;
}

void YatSerialIsr(YatBoardExtension* board) { Yat_SerialInterruptRequest(board); }

// After each build of the register map: the receive thread runs once per
// board; each UART port is set up and registered with the manager. The
// creation and the removal of the ports hold the board's serial lifecycle
// mutex throughout.
static QelHwStatus CreateSerialPortsLocked(YatBoardExtension* board);

QelHwStatus CreateSerialPorts(YatBoardExtension* board) {
  YatMutexHold held(&board->serial.lifecycleMutex);
  return CreateSerialPortsLocked(board);
}

static QelHwStatus CreateSerialPortsLocked(YatBoardExtension* board) {
  std::uint32_t count = 0;
  QelHwStatus status = GetSerialPortCount(board, &count);
  if (status != QELHW_OK) {
    STAVRO_LOG(kLogNotice, "%s: CreateSerialPorts => Board(%d): no serial port count (%d)",
               static_cast<int>(board->boardSlot), static_cast<int>(status));
    return QELHW_OK;
  }
  board->serial.portCount = count;
  if (count == 0) return QELHW_OK;
  if (board->serial.thread != nullptr) {
    RearmPorts(board, count);
    return QELHW_OK;
  }
  if (board->serial.ports.clock == 0) board->serial.ports.clock = kClock;
  status = YatStartSerialThread(board);
  if (status != QELHW_OK) return QELHW_OK;
  const std::uint32_t portStatus = Status(board, 0, false);
  const std::uint32_t baudMask = (portStatus & kStatusFastClock) ? kFastBaudMask : kBaudMask;
  const YatSerialOperations* operations =
      (portStatus & kStatusTransmitInterrupt) ? &kUartOperationsWithWait : &kUartOperations;
  static constexpr const char16_t* kSuffixes[kYatSerialPorts] = {u"_Serial_0", u"_Serial_1"};
  for (std::uint32_t port = 0; port < count && port < kYatSerialPorts; ++port) {
    ChangeControl(board, port, 0, kInterruptEnables);
    ResetPort(board, port);
    const YatSerialPortDescription description = UartDescription(board, port, baudMask, operations, kSuffixes[port]);
    QelSerialCreatePorts(board->boardSlot, &board->serial.ports.block, port, &description);
  }
  return QELHW_OK;
}

QelHwStatus YatRemoveSerialPorts(YatBoardExtension* board) {
  YatMutexHold held(&board->serial.lifecycleMutex);
  NtStatus status = QelSerialRemovePorts(board);
  return plat::nt_success(status) ? QELHW_OK : static_cast<QelHwStatus>(status);
}
