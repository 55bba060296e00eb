#include "driver/kernel/I2cIoctl.h"

#include <array>
#include <cstring>

#include "driver/kernel/I2cDevice.h"
#include "driver/kernel/IocSections.h"
#include "driver/kernel/YatI2cRecords.h"
#include "platform/kernel/client.h"

namespace {

constexpr std::uint32_t kI2cSection = 4;

struct I2cRequestFields {
  std::uint8_t bus;
  std::uint8_t deviceAddress;
  std::uint8_t subAddress;
  std::uint64_t buffer;
  std::uint32_t count;
  std::uint8_t subAddressFlag;
};

template <typename Record>
I2cRequestFields Fields(const void* input) {
  Record record{};
  std::memcpy(&record, input, sizeof record);
  return {static_cast<std::uint8_t>(record.bus), static_cast<std::uint8_t>(record.deviceAddress),
          static_cast<std::uint8_t>(record.subAddress), record.buffer, record.count,
          static_cast<std::uint8_t>(record.subAddressFlag)};
}

// A count the bus can carry: at least one byte for a read, never more than the largest device.
bool CountAllowed(std::uint32_t code, std::uint32_t count) {
  if (count > YAT_I2C_MAX_TRANSFER) return false;
  return code != YAT_IOCTRL_I2C_READ || count != 0;
}

QelHwStatus Write(YatBoardExtension* board, const I2cRequestFields& request) {
  std::array<std::uint8_t, YAT_I2C_MAX_TRANSFER> data{};
  if (request.count != 0 &&
      !plat::nt_success(plat::kernel::copy_from_caller(request.buffer, data.data(), request.count)))
    return QELHW_ERROR_PARAMETER_INVALID;
  if (!I2C_Device_WriteEx(board, request.bus, request.deviceAddress, request.subAddress, data.data(), request.count,
                          request.subAddressFlag))
    return QELHW_ERROR_I2C_WRITE;
  return QELHW_OK;
}

QelHwStatus Read(YatBoardExtension* board, const I2cRequestFields& request) {
  std::array<std::uint8_t, YAT_I2C_MAX_TRANSFER> data{};
  if (!I2C_Device_ReadEx(board, request.bus, request.deviceAddress, request.subAddress, data.data(), request.count,
                         request.subAddressFlag))
    return QELHW_ERROR_I2C_READ;
  if (!plat::nt_success(plat::kernel::copy_to_caller(request.buffer, data.data(), request.count)))
    return QELHW_ERROR_PARAMETER_INVALID;
  return QELHW_OK;
}

}  // namespace

QelHwStatus I2cIoctlHandler(YatManagerExtension* manager, std::uint32_t code, void* input,
                            std::uint32_t inputLength, void* output, std::uint32_t outputLength) {
  const bool caller32 = (code & YAT_IOCTRL_WIDTH_BIT) == 0;
  YatIocContext context{};
  QelHwStatus status = YatIocEnter(&context, manager, kI2cSection, code, input, inputLength, output, outputLength);
  if (status != QELHW_OK) return YatIocAnswer(output, outputLength, status);
  if (context.code != YAT_IOCTRL_I2C_WRITE && context.code != YAT_IOCTRL_I2C_READ)
    return YatIocAnswer(output, outputLength, QELHW_ERROR_IOC_FUNCTION);
  if (context.board == nullptr) return YatIocAnswer(output, outputLength, QELHW_ERROR_NO_BOARD_FOUND);
  const std::uint32_t recordLength = caller32 ? sizeof(YatI2cRequestIn32) : sizeof(YatI2cRequestIn);
  if (inputLength < recordLength || outputLength < sizeof(YatIocStatus))
    return YatIocAnswer(output, outputLength, QELHW_ERROR_IOC_BUFFER);
  const I2cRequestFields request = caller32 ? Fields<YatI2cRequestIn32>(input) : Fields<YatI2cRequestIn>(input);
  if (!CountAllowed(context.code, request.count)) return YatIocAnswer(output, outputLength, QELHW_ERROR_ARG_INVALID);
  status = context.code == YAT_IOCTRL_I2C_WRITE ? Write(context.board, request) : Read(context.board, request);
  return YatIocAnswer(output, outputLength, status);
}
