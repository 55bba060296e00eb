// The I/O board's inputs and outputs, its fault and power-good lines, and
// its presence.
#include "driver/user/Pardow.h"
#include "driver/user/YatGpio.h"
#include "driver/user/YatGpioRegisters.h"
#include "driver/user/YatLibrary.h"

namespace {

constexpr std::uint8_t kFaultReported = 255;

std::uint8_t LowByte(std::uint32_t value) { return static_cast<std::uint8_t>(value & 0xFF); }

}  // namespace

PARDOW_API QelHwStatus Yat_GenPurposeIO_Input_Setting(std::uint32_t, std::uint32_t, std::uint32_t, std::uint8_t) {
  return QELHW_ERROR_NOT_SUPPORTED;
}

PARDOW_API QelHwStatus Yat_GenPurposeIO_Input_Read(std::uint32_t board, std::uint32_t, std::uint8_t* value,
                                                   std::uint8_t mask) {
  const YatIoBoardState* state = YatGpioState(board);
  if (state == nullptr) return YatGpioArgumentInvalid("Yat_GenPurposeIO_Input_Read");
  if (value == nullptr) return QELHW_ERROR_ARG_INVALID;
  std::uint32_t inputs = 0;
  const QelHwStatus status = Yat_ReadDataReg(board, kYatGpioIoInputs, &inputs);
  if (status != QELHW_OK) return status;
  if (YatGpioInputsInverted(*state)) inputs = ~inputs;
  *value = mask & LowByte(inputs);
  return QELHW_OK;
}

PARDOW_API QelHwStatus QelHw_GPIO_Read(std::uint32_t board, std::uint32_t unit, std::uint32_t* value,
                                       std::uint32_t mask) {
  if (value == nullptr) return QELHW_ERROR_ARG_INVALID;
  std::uint8_t byte = 0;
  const QelHwStatus status = Yat_GenPurposeIO_Input_Read(board, unit, &byte, LowByte(mask));
  if (status == QELHW_OK) *value = byte;
  return status;
}

PARDOW_API QelHwStatus Yat_GenPurposeIO_Output_Setting(std::uint32_t board, std::uint32_t, std::uint32_t setting) {
  std::uint32_t control = 0;
  QelHwStatus status = Yat_ReadDataReg(board, kYatGpioIoControl, &control);
  if (status != QELHW_OK) return status;
  control = (control & ~kYatGpioOutputSetting) | ((setting & 1) != 0 ? kYatGpioOutputSetting : 0);
  status = Yat_WriteDataReg(board, kYatGpioIoControl, control);
  // The setting takes effect on the load pulse that follows it.
  if (status == QELHW_OK) status = Yat_SetBitReg(board, kYatGpioIoControl, kYatGpioLoadPulse, kYatGpioLoadPulse);
  if (status == QELHW_OK) status = Yat_SetBitReg(board, kYatGpioIoControl, 0, kYatGpioLoadPulse);
  return status;
}

PARDOW_API QelHwStatus Yat_GenPurposeIO_Output_Write(std::uint32_t board, std::uint32_t unit, std::uint8_t value,
                                                     std::uint8_t mask) {
  YatIoBoardState* state = YatGpioState(board);
  if (state == nullptr) return YatGpioArgumentInvalid("Yat_GenPurposeIO_Output_Write");
  if (unit != 0) return QELHW_OK;
  std::uint32_t outputs = 0;
  QelHwStatus status = Yat_ReadDataReg(board, kYatGpioIoOutputs, &outputs);
  if (status != QELHW_OK) return status;
  // The shadow keeps what the caller asked for, so a later change of
  // connector or output type can drive the lines again.
  const auto shadow = static_cast<std::uint8_t>((state->outputShadow & ~mask) | (value & mask));
  if (YatGpioOutputsInverted(*state)) value = static_cast<std::uint8_t>(~value);
  outputs = (outputs & ~std::uint32_t{mask}) | (value & mask);
  status = Yat_WriteDataReg(board, kYatGpioIoOutputs, outputs);
  if (status == QELHW_OK) state->outputShadow = shadow;
  return status;
}

PARDOW_API QelHwStatus QelHw_GPIO_Write(std::uint32_t board, std::uint32_t unit, std::uint32_t value,
                                        std::uint32_t mask) {
  return Yat_GenPurposeIO_Output_Write(board, unit, LowByte(value), LowByte(mask));
}

PARDOW_API QelHwStatus Yat_GenPurposeIO_Output_Read(std::uint32_t board, std::uint32_t unit, std::uint8_t* value,
                                                    std::uint8_t mask) {
  const YatIoBoardState* state = YatGpioState(board);
  if (state == nullptr) return YatGpioArgumentInvalid("Yat_GenPurposeIO_Output_Read");
  if (value == nullptr || unit != 0) return QELHW_ERROR_ARG_INVALID;
  std::uint32_t outputs = 0;
  const QelHwStatus status = Yat_ReadDataReg(board, kYatGpioIoOutputs, &outputs);
  if (status != QELHW_OK) return status;
  if (YatGpioOutputsInverted(*state)) outputs = ~outputs;
  *value = mask & LowByte(outputs);
  return QELHW_OK;
}

PARDOW_API QelHwStatus Yat_GenPurposeIO_Get_Fault(std::uint32_t board, std::uint32_t, std::uint32_t,
                                                  std::uint32_t* fault) {
  if (fault == nullptr) return QELHW_ERROR_ARG_INVALID;
  std::uint32_t inputs = 0;
  const QelHwStatus status = Yat_ReadDataReg(board, kYatGpioIoInputs, &inputs);
  if (status != QELHW_OK) return status;
  *fault = (inputs & kYatGpioFault) != 0 ? kFaultReported : 0;
  return QELHW_OK;
}

PARDOW_API QelHwStatus Yat_GenPurposeIO_Set_Power_Good(std::uint32_t, std::uint32_t, std::uint32_t) {
  return QELHW_ERROR_NOT_SUPPORTED;
}

PARDOW_API QelHwStatus Yat_Digital_IsIoBoardPresent(std::uint32_t board, std::uint32_t index, std::uint8_t* present) {
  if (index != 0) {
    if (present != nullptr) *present = 0;
    return QELHW_ERROR_NOT_SUPPORTED;
  }
  const YatBoardEntry* entry = Yat_GetBoardEntry(board);
  if (entry == nullptr) return QELHW_ERROR_ARG_INVALID;
  if (present != nullptr) *present = entry->xioPresent != 0 ? 1 : 0;
  return QELHW_OK;
}
