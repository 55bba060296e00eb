// The camera UART's two byte routines, over camera 0's byte registers.
#include "driver/user/Pardow.h"
#include "driver/user/YatGpio.h"

namespace {

constexpr std::uint32_t kCamera = 0;
constexpr std::uint32_t kTransmitRegister = 20;
constexpr std::uint32_t kReceiveRegister = 24;

}  // namespace

PARDOW_API QelHwStatus Yat_UART_Read(std::uint32_t board, std::uint32_t, std::uint8_t* byte) {
  std::uint32_t value = 0;
  const QelHwStatus status = Yat_FPGA_ReadDataReg(board, kCamera, kReceiveRegister, &value);
  if (byte == nullptr) return QELHW_ERROR_ARG_INVALID;
  *byte = static_cast<std::uint8_t>(value & 0xFF);
  return status;
}

PARDOW_API QelHwStatus Yat_UART_Write(std::uint32_t board, std::uint32_t, std::uint8_t byte) {
  return Yat_FPGA_WriteDataReg(board, kCamera, kTransmitRegister, byte);
}
