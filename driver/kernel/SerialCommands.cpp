// The serial-port manager's commands to a board: connect a port to its shared
// block, disconnect it, reset it to the shared settings, set its baud rate or
// line control, and wake its writer. The manager always sees success; the
// outcome stays in the driver's log.
#include <atomic>
#include <cstring>

#include "driver/kernel/Serial.h"
#include "driver/kernel/StavroLog.h"
#include "driver/kernel/YatBoard.h"
#include "platform/kernel/time.h"

using namespace plat::kernel;
using plat::NtStatus;

namespace {

constexpr std::uint32_t kDisconnectSettleMicroseconds = 25;

NtStatus NotImplemented(const char* operation, const char* function) {
  STAVRO_LOG(kLogError, "%s: %s => %s function Not Implemented!", operation, function);
  return plat::kStatusNotImplemented;
}

YatSerialPortContext* ConnectedPort(YatSerialPortBlock* block, std::uint32_t port, const char* operation) {
  YatSerialPortContext* context = port < kYatSerialPorts ? &block->ports[port] : nullptr;
  if (context == nullptr || !context->connected || context->sharedMemory == nullptr) {
    STAVRO_LOG(kLogError, "%s: %s => Port (%d) is not initialized", operation, static_cast<int>(port));
    return nullptr;
  }
  return context;
}

// Interrupts off around a change of the port's settings.
template <typename Change>
NtStatus WithInterruptsOff(YatSerialPortContext* context, Change change) {
  const YatSerialOperations& ops = context->operations;
  ops.disableInterrupt(context->boardContext, context->portIndex);
  NtStatus status = change();
  ops.clearInterrupt(context->boardContext, context->portIndex);
  ops.enableInterrupt(context->boardContext, context->portIndex);
  return status;
}

bool InterruptSlotsPresent(YatSerialPortContext* context, const char* operation) {
  const YatSerialOperations& ops = context->operations;
  if (ops.disableInterrupt == nullptr) return NotImplemented(operation, "DisableInterrupt"), false;
  if (ops.clearInterrupt == nullptr) return NotImplemented(operation, "ClearInterrupt"), false;
  if (ops.enableInterrupt == nullptr) return NotImplemented(operation, "EnableInterrupt"), false;
  return true;
}

std::uint64_t ReadAddress(const std::uint8_t* at) {
  std::uint64_t address = 0;
  std::memcpy(&address, at, sizeof address);
  return address;
}

}  // namespace

std::uint32_t RingLoad(const std::uint32_t& word) {
  return std::atomic_ref<std::uint32_t>(const_cast<std::uint32_t&>(word)).load(std::memory_order_acquire);
}

void RingStore(std::uint32_t& word, std::uint32_t value) {
  std::atomic_ref<std::uint32_t>(word).store(value, std::memory_order_release);
}

std::uint32_t* SharedWord(YatSerialPortContext* context, std::uint32_t word) {
  return reinterpret_cast<std::uint32_t*>(context->sharedMemory) + word;
}

QelSerialRing* SharedReceiveRing(YatSerialPortContext* context) {
  std::uint8_t* shared = context->sharedMemory;
  if (*context->versionWord < 2) return reinterpret_cast<QelSerialRing*>(shared + kSharedLegacyReceiveRing);
  return reinterpret_cast<QelSerialRing*>(ReadAddress(shared + kSharedReceiveRingAddress));
}

QelSerialRing* SharedTransmitRing(YatSerialPortContext* context) {
  std::uint8_t* shared = context->sharedMemory;
  if (*context->versionWord < 2) return reinterpret_cast<QelSerialRing*>(shared + kSharedLegacyTransmitRing);
  return reinterpret_cast<QelSerialRing*>(ReadAddress(shared + kSharedTransmitRingAddress));
}

NtStatus QelSerialConnect(YatSerialPortBlock* block, std::uint32_t port, std::uint64_t sharedMemory) {
  if (port >= kYatSerialPorts) {
    STAVRO_LOG(kLogError, "%s: QelSerialConnect => Port(%d) is out of range", static_cast<int>(port));
    return plat::kStatusInvalidParameter;
  }
  YatSerialPortContext* context = &block->ports[port];
  YatSerialOp connect = context->operations.connectPort;
  if (connect == nullptr) connect = context->operations.connectSimple;
  if (connect == nullptr) {
    STAVRO_LOG(kLogError, "%s: QelSerialConnect => Connect function Not Implemented!");
    return plat::kStatusNotImplemented;
  }
  // The manager's block is kernel memory of its own: at least it is there and word-aligned.
  if (sharedMemory == 0 || sharedMemory % alignof(std::uint32_t) != 0) {
    STAVRO_LOG(kLogError, "%s: QelSerialConnect => Shared Memory Ptr is Not Valid: Board(%d), Port(%d)",
               static_cast<int>(context->boardIndex), static_cast<int>(port));
    return plat::kStatusInvalidParameter;
  }
  context->receivedCount = 0;
  NtStatus status = YatStartWriterThread(context);
  if (!plat::nt_success(status)) return status;
  context->sharedMemory = reinterpret_cast<std::uint8_t*>(sharedMemory);
  status = connect(context->boardContext, port);
  context->connected = 1;
  if (status != 0) {
    STAVRO_LOG(kLogError, "%s: QelSerialConnect => CustomInit failed: Board(%d), Port(%d): (0x%x)",
               static_cast<int>(context->boardIndex), static_cast<int>(port), static_cast<unsigned>(status));
    return status;
  }
  return QelSerialResetPort(block, port);
}

NtStatus QelSerialDisconnect(YatSerialPortBlock* block, std::uint32_t port) {
  if (port >= kYatSerialPorts) return plat::kStatusInvalidParameter;
  YatSerialPortContext* context = &block->ports[port];
  YatStopWriterThread(context);
  YatSerialOp disconnect = context->operations.disconnect;
  if (disconnect == nullptr) disconnect = context->operations.disableInterrupt;
  if (disconnect == nullptr) return NotImplemented("QelSerialDisconnect", "Disconnect");
  NtStatus status = disconnect(context->boardContext, port);
  if (status != 0) return status;
  stall_execution(kDisconnectSettleMicroseconds);
  context->connected = 0;
  context->sharedMemory = nullptr;
  return plat::kStatusSuccess;
}

NtStatus QelSerialResetPort(YatSerialPortBlock* block, std::uint32_t port) {
  YatSerialPortContext* context = ConnectedPort(block, port, "QelSerialResetPort");
  if (context == nullptr) return plat::kStatusInvalidParameter;
  const YatSerialOperations& ops = context->operations;
  if (ops.setBaudRate == nullptr) return NotImplemented("QelSerialResetPort", "SetBaudRate");
  if (ops.setLineControl == nullptr) return NotImplemented("QelSerialResetPort", "SetLineControl");
  if (!InterruptSlotsPresent(context, "QelSerialResetPort")) return plat::kStatusNotImplemented;
  if (ops.getDefaultControl == nullptr) return NotImplemented("QelSerialResetPort", "GetDefaultControl");
  void* board = context->boardContext;
  std::uint32_t* baud = SharedWord(context, kSharedWordBaudRate);
  std::uint32_t* lineControl = SharedWord(context, kSharedWordLineControl);
  if (*baud == 0) ops.getDefaultControl(board, port, baud, lineControl);
  ops.disableInterrupt(board, port);
  QelSerialEmptyFifo(context);
  NtStatus status = ops.setLineControl(board, port, *lineControl);
  if (status != 0) {
    STAVRO_LOG(kLogError, "%s: QelSerialResetPort => SetLineControl failed: Board(%d), Port(%d): (0x%x)",
               static_cast<int>(context->boardIndex), static_cast<int>(port), static_cast<unsigned>(status));
    return status;
  }
  status = ops.setBaudRate(board, port, *baud);
  if (status != 0) {
    STAVRO_LOG(kLogError, "%s: QelSerialResetPort => SetBaudRate failed: Board(%d), Port(%d): (0x%x)",
               static_cast<int>(context->boardIndex), static_cast<int>(port), static_cast<unsigned>(status));
    return status;
  }
  ops.clearInterrupt(board, port);
  return ops.enableInterrupt(board, port);
}

NtStatus QelSerialSetBaudRate(YatSerialPortContext* context, std::uint32_t baud) {
  if (!context->connected || context->sharedMemory == nullptr) {
    STAVRO_LOG(kLogError, "%s: QelSerialSetBaudRate => Port (%d) is not initialized",
               static_cast<int>(context->portIndex));
    return plat::kStatusInvalidParameter;
  }
  if (context->operations.setBaudRate == nullptr) return NotImplemented("QelSerialSetBaudRate", "SetBaudRate");
  if (!InterruptSlotsPresent(context, "QelSerialSetBaudRate")) return plat::kStatusNotImplemented;
  return WithInterruptsOff(context, [&] {
    NtStatus status = context->operations.setBaudRate(context->boardContext, context->portIndex, baud);
    if (status == 0) *SharedWord(context, kSharedWordBaudRate) = baud;
    return status;
  });
}

NtStatus QelSerialSetLineControl(YatSerialPortContext* context, std::uint32_t lineControl) {
  if (!context->connected || context->sharedMemory == nullptr) {
    STAVRO_LOG(kLogError, "%s: QelSerialSetLineControl => Port (%d) is not initialized",
               static_cast<int>(context->portIndex));
    return plat::kStatusInvalidParameter;
  }
  if (context->operations.setLineControl == nullptr)
    return NotImplemented("QelSerialSetLineControl", "SetLineControl");
  if (!InterruptSlotsPresent(context, "QelSerialSetLineControl")) return plat::kStatusNotImplemented;
  return WithInterruptsOff(context, [&] {
    NtStatus status = context->operations.setLineControl(context->boardContext, context->portIndex, lineControl);
    if (status == 0) *SharedWord(context, kSharedWordLineControl) = lineControl;
    return status;
  });
}

NtStatus QelSerialUpdateInterface(YatSerialPortBlock* block, std::uint32_t port) {
  if (port >= kYatSerialPorts) return plat::kStatusInvalidParameter;
  YatSerialPortContext* context = &block->ports[port];
  if (!context->connected || context->sharedMemory == nullptr || !context->eventsInitialised)
    return plat::kStatusSuccess;
  QelSerialRing* ring = SharedTransmitRing(context);
  if (ring_pending(ring->size, RingLoad(ring->writeIndex), RingLoad(ring->readIndex)) != 0)
    set_event(&context->workEvent);
  return plat::kStatusSuccess;
}

NtStatus QelSerialMessage(YatSerialPortBlock* block, const QelSerialCommand* command) {
  const std::uint32_t port = command->port;
  switch (command->command) {
    case kSerialConnect: return QelSerialConnect(block, port, command->argument);
    case kSerialDisconnect: return QelSerialDisconnect(block, port);
    case kSerialReset: return QelSerialResetPort(block, port);
    case kSerialTransmitPending: return QelSerialUpdateInterface(block, port);
    case kSerialNothing: return plat::kStatusSuccess;
    case kSerialSetRegister: {
      const auto value = static_cast<std::uint32_t>(command->argument);
      if (port >= kYatSerialPorts) return plat::kStatusInvalidParameter;
      if (command->subCommand == kSerialRegisterLineControl) return QelSerialSetLineControl(&block->ports[port], value);
      if (command->subCommand == kSerialRegisterBaudRate) return QelSerialSetBaudRate(&block->ports[port], value);
      break;
    }
    default: break;
  }
  STAVRO_LOG(kLogError, "%s: QelSerialMessage => Invalid command:0x%x", static_cast<unsigned>(command->command));
  return plat::kStatusSuccess;
}

// The internal request of the manager: a 32-bit value follows the command
// word, or the shared block's 64-bit address for a connect.
void YatSerialManagerCommand(YatBoardExtension* board, void* input, std::uint32_t length) {
  if (board == nullptr || input == nullptr || length < 8) return;
  QelSerialCommand command{};
  std::memcpy(&command, input, length < sizeof command ? length : sizeof command);
  if (command.command == kSerialConnect && length < sizeof command) return;
  if (command.command != kSerialConnect) command.argument &= 0xFFFFFFFFu;
  QelSerialMessage(&board->serial.ports.block, &command);
}
