#include "driver/kernel/I2cDevice.h"

#include <cstring>

#include "driver/kernel/I2cBus.h"
#include "driver/kernel/StavroGlobals.h"
#include "driver/kernel/StavroLog.h"
#include "platform/kernel/interrupt.h"
#include "platform/kernel/memory.h"

using namespace plat::kernel;

namespace {

constexpr std::uint32_t kTagI2cRead = StavroPoolTag('a');
constexpr std::uint32_t kTagI2cWrite = StavroPoolTag('d');
constexpr QelHwStatus kEepromReadFailed = static_cast<QelHwStatus>(0xC0000000u);

bool DeviceWrite(const YatI2cTransfer& transfer) {
  YatBoardExtension* board = transfer.board;
  if (!I2C_StartService(board)) return false;
  bool ok = I2C_OutByte(board, transfer.deviceAddress);
  if (ok && transfer.subAddressFlag == 1) ok = I2C_OutByte(board, transfer.subAddress);
  for (std::uint32_t i = 0; ok && i < transfer.count; ++i) ok = I2C_OutByte(board, transfer.data[i]);
  const bool stopped = I2C_StopService(board);
  return ok && stopped;
}

bool DeviceRead(const YatI2cTransfer& transfer) {
  YatBoardExtension* board = transfer.board;
  if (transfer.count == 0) return false;
  if (transfer.subAddressFlag == 1) {
    if (!I2C_StartService(board)) return false;
    const bool addressed = I2C_OutByte(board, transfer.deviceAddress) && I2C_OutByte(board, transfer.subAddress);
    const bool stopped = I2C_StopService(board);
    if (!addressed || !stopped) return false;
  }
  if (!I2C_StartService(board)) return false;
  bool ok = I2C_OutByte(board, transfer.deviceAddress | 1);
  std::uint8_t byte = 0;
  for (std::uint32_t i = 0; ok && i + 1 < transfer.count; ++i) {
    ok = I2C_InByte(board, &byte) && I2C_AckOut(board);
    transfer.data[i] = byte;
  }
  ok = ok && I2C_InByte(board, &byte) && I2C_NoAckOut(board);
  const bool stopped = I2C_StopService(board);
  if (!ok || !stopped) return false;
  transfer.data[transfer.count - 1] = byte;
  return true;
}

// Runs at the board's interrupt level, under the interrupt lock.
bool RunTransfer(void* context) {
  const YatI2cTransfer& transfer = *static_cast<const YatI2cTransfer*>(context);
  switch (transfer.operation) {
    case kYatI2cRead: return DeviceRead(transfer);
    case kYatI2cWrite: return DeviceWrite(transfer);
    case kYatI2cReset: return I2C_ResetService(transfer.board);
    default: return false;
  }
}

void TakeMutex(KernelMutex* mutex) {
  while (!plat::nt_success(wait_for_object(mutex, nullptr))) {
  }
}

// Allocates the record with its data area; null after logging the failure.
YatI2cTransfer* NewTransfer(YatBoardExtension* board, std::uint32_t operation, std::uint8_t bus,
                            std::uint8_t deviceAddress, std::uint32_t count, const char* caller) {
  const std::size_t size = sizeof(YatI2cTransfer) + count;
  auto* transfer = static_cast<YatI2cTransfer*>(
      allocate_pool(PoolType::kNonPaged, size, operation == kYatI2cWrite ? kTagI2cWrite : kTagI2cRead));
  if (transfer == nullptr) {
    STAVRO_LOG(kLogError, "%s: %s: nonpaged allocation failed (size=%d)", caller, static_cast<int>(size));
    return nullptr;
  }
  std::memset(transfer, 0, size);
  transfer->size = sizeof(YatI2cTransfer);
  transfer->board = board;
  transfer->operation = operation;
  transfer->bus = bus;
  transfer->deviceAddress = deviceAddress;
  transfer->count = count;
  transfer->data = reinterpret_cast<std::uint8_t*>(transfer + 1);
  return transfer;
}

// The EEPROM mutex before the I2C mutex, released in reverse; the bus
// sequence itself runs synchronised with the board's interrupt.
bool RunLocked(YatI2cTransfer* transfer) {
  YatBoardExtension* board = transfer->board;
  TakeMutex(&board->eepromMutex);
  TakeMutex(&board->i2cMutex);
  const bool ok = board->interrupt != nullptr && synchronize_with_interrupt(board->interrupt, RunTransfer, transfer);
  release_mutex(&board->i2cMutex);
  release_mutex(&board->eepromMutex);
  return ok;
}

}  // namespace

bool I2C_Device_WriteEx(YatBoardExtension* board, std::uint8_t bus, std::uint8_t deviceAddress,
                        std::uint8_t subAddress, const std::uint8_t* data, std::uint32_t count,
                        std::uint8_t subAddressFlag) {
  if (board == nullptr || (data == nullptr && count != 0)) return false;
  YatI2cTransfer* transfer = NewTransfer(board, kYatI2cWrite, bus, deviceAddress, count, "I2C_Device_WriteEx");
  if (transfer == nullptr) return false;
  transfer->subAddress = subAddress;
  transfer->subAddressFlag = subAddressFlag;
  if (count != 0) std::memcpy(transfer->data, data, count);
  const bool ok = RunLocked(transfer);
  free_pool_with_tag(transfer, kTagI2cWrite);
  return ok;
}

bool I2C_Device_ReadEx(YatBoardExtension* board, std::uint8_t bus, std::uint8_t deviceAddress,
                       std::uint8_t subAddress, std::uint8_t* destination, std::uint32_t count,
                       std::uint8_t subAddressFlag) {
  if (board == nullptr) return false;
  YatI2cTransfer* transfer = NewTransfer(board, kYatI2cRead, bus, deviceAddress, count, "I2C_Device_ReadEx");
  if (transfer == nullptr) return false;
  transfer->subAddress = subAddress;
  transfer->subAddressFlag = subAddressFlag;
  const bool ok = RunLocked(transfer);
  if (ok && destination != nullptr && count != 0) std::memcpy(destination, transfer->data, count);
  free_pool_with_tag(transfer, kTagI2cRead);
  return ok;
}

bool I2C_Device_ResetEx(YatBoardExtension* board, std::uint8_t bus, std::uint8_t deviceAddress) {
  if (board == nullptr) return false;
  YatI2cTransfer* transfer = NewTransfer(board, kYatI2cReset, bus, deviceAddress, 0, "I2C_Device_ResetEx");
  if (transfer == nullptr) return false;
  const bool ok = RunLocked(transfer);
  free_pool_with_tag(transfer, kTagI2cRead);
  return ok;
}

bool Yat_Eeprom_ResetK(YatBoardExtension* board) {
  if (I2C_Device_ResetEx(board, 0, kYatEepromDevice)) return true;
  STAVRO_LOG(kLogError, "%s: Yat_Eeprom_ResetK: Eeprom Not Reset");
  return false;
}

QelHwStatus Yat_EepromInit(YatBoardExtension* board) {
  if (!I2C_Device_ReadEx(board, 0, kYatEepromDevice, 0, board->eepromImage, kYatEepromImageBytes, 1))
    return kEepromReadFailed;
  if (board->eepromImage[0] != kYatEepromMarker) STAVRO_LOG(kLogError, "%s: Yat_EepromInit: Eeprom Not Initialized");
  return QELHW_OK;
}
