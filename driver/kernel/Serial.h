// The serial ports of a board: the client side of the serial-port manager
// (registration, its commands, the shared rings), the UART layer, the
// receive path (interrupt routine, software FIFO, receive thread, DPC) and
// the transmit path (a writer thread per connected port).
#pragma once

#include <cstdint>

#include "driver/kernel/SerialPort.h"
#include "driver/kernel/YatExtensions.h"
#include "platform/kernel/device.h"
#include "platform/kernel/qelserial.h"

// Statuses of the transmit path.
inline constexpr plat::NtStatus kSerialNothingPending = static_cast<plat::NtStatus>(0xC0000283u);
inline constexpr plat::NtStatus kSerialFifoFull = static_cast<plat::NtStatus>(0xC0000284u);

// Registration with the manager (SerialManager.cpp).
plat::NtStatus QelSerialCreatePorts(std::uint32_t boardIndex, YatSerialPortBlock* block, std::uint32_t port,
                                    const YatSerialPortDescription* description);
plat::NtStatus QelSerialRemovePorts(YatBoardExtension* board);
plat::NtStatus QelSerialAddDevice(YatSerialPortContext* context, plat::kernel::DeviceObject* manager);
plat::NtStatus QelSerialDeleteDevice(YatSerialPortContext* context);
plat::NtStatus QelSerialGetVersion(plat::kernel::DeviceObject* manager, std::uint32_t* version);
// *file keeps the device referenced: drop it with dereference_object.
plat::NtStatus GetSerialMgrDeviceObject(plat::kernel::FileObject** file, plat::kernel::DeviceObject** device);

// The manager's commands (SerialCommands.cpp).
plat::NtStatus QelSerialMessage(YatSerialPortBlock* block, const plat::kernel::QelSerialCommand* command);
plat::NtStatus QelSerialConnect(YatSerialPortBlock* block, std::uint32_t port, std::uint64_t sharedMemory);
plat::NtStatus QelSerialDisconnect(YatSerialPortBlock* block, std::uint32_t port);
plat::NtStatus QelSerialResetPort(YatSerialPortBlock* block, std::uint32_t port);
plat::NtStatus QelSerialUpdateInterface(YatSerialPortBlock* block, std::uint32_t port);
plat::NtStatus QelSerialSetBaudRate(YatSerialPortContext* context, std::uint32_t baud);
plat::NtStatus QelSerialSetLineControl(YatSerialPortContext* context, std::uint32_t lineControl);

// The shared block of a connected port.
std::uint32_t* SharedWord(YatSerialPortContext* context, std::uint32_t word);
plat::kernel::QelSerialRing* SharedReceiveRing(YatSerialPortContext* context);
plat::kernel::QelSerialRing* SharedTransmitRing(YatSerialPortContext* context);
std::uint32_t RingLoad(const std::uint32_t& word);
void RingStore(std::uint32_t& word, std::uint32_t value);

// Receive path (SerialReceive.cpp).
plat::NtStatus QelSerialReadFromPort(YatSerialPortContext* context);
plat::NtStatus QelSerialEmptyFifo(YatSerialPortContext* context);
void QelSerialDpc(plat::kernel::Dpc* dpc, void* context, void* argument1, void* argument2);
// Starts the board's receive thread once; stopped by QelSerialRemovePorts.
QelHwStatus YatStartSerialThread(YatBoardExtension* board);
void YatStopSerialThread(YatBoardExtension* board);

// Transmit path (SerialTransmit.cpp).
plat::NtStatus QelSerialWriteToPort(YatSerialPortContext* context);
plat::NtStatus YatStartWriterThread(YatSerialPortContext* context);
void YatStopWriterThread(YatSerialPortContext* context);

// The UART layer (SerialUart.cpp).
const YatSerialOperations* YatUartOperations();
QelHwStatus Yat_SerialReadReg(YatBoardExtension* board, std::uint32_t port, std::uint32_t offset,
                              std::uint32_t* value, bool lockHeld);
QelHwStatus Yat_SerialWriteReg(YatBoardExtension* board, std::uint32_t port, std::uint32_t offset,
                               std::uint32_t value, bool lockHeld);
QelHwStatus Yat_SerialInterruptRequest(YatBoardExtension* board);
std::uint32_t YatSerialFifoCount(const YatSerialFifo* fifo);

inline YatBoardExtension* SerialBoard(const YatSerialPortContext* context) {
  return static_cast<YatBoardExtension*>(context->boardContext);
}
