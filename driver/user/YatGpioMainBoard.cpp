// The main board's group: four inputs with their edge or polarity selection
// and one output byte. The settings of the I/O board's group have no
// counterpart here and answer as such.
#include "driver/user/Pardow.h"
#include "driver/user/YatGpio.h"
#include "driver/user/YatGpioRegisters.h"

namespace {

constexpr std::uint32_t kEdgeField = kYatGpioMainEdgeBits << kYatGpioMainEdgeShift;

std::uint8_t LowByte(std::uint32_t value) { return static_cast<std::uint8_t>(value & 0xFF); }

// Bits 20..23 of the inputs register become (old & ~mask) | (p & mask).
QelHwStatus WriteEdgeBits(std::uint32_t board, std::uint32_t inputs, std::uint32_t mask, std::uint32_t p) {
  const std::uint32_t edges = (((inputs & kEdgeField) >> kYatGpioMainEdgeShift) & ~mask) | (p & mask);
  inputs = (inputs & ~kEdgeField) | ((edges & kYatGpioMainEdgeBits) << kYatGpioMainEdgeShift);
  return Yat_WriteDataReg(board, kYatGpioMainInputs, inputs);
}

}  // namespace

PARDOW_API QelHwStatus Yat_GenPurposeIO_Input_Setting2(std::uint32_t, std::uint32_t, std::uint32_t, std::uint8_t) {
  return QELHW_ERROR_NOT_SUPPORTED;
}

PARDOW_API QelHwStatus Yat_GenPurposeIO_Input_Read2(std::uint32_t board, std::uint32_t, std::uint8_t* value,
                                                    std::uint8_t mask) {
  if (value == nullptr) return QELHW_ERROR_ARG_INVALID;
  std::uint32_t inputs = 0;
  const QelHwStatus status = Yat_ReadDataReg(board, kYatGpioMainInputs, &inputs);
  if (status != QELHW_OK) return status;
  *value = mask & LowByte(inputs);
  return QELHW_OK;
}

PARDOW_API QelHwStatus Yat_GenPurposeIO_Output_Setting2(std::uint32_t, std::uint32_t, std::uint32_t) {
  return QELHW_OK;
}

PARDOW_API QelHwStatus Yat_GenPurposeIO_Output_Write2(std::uint32_t board, std::uint32_t unit, std::uint8_t value,
                                                      std::uint8_t mask) {
  if (unit != 0) return QELHW_OK;
  std::uint32_t outputs = 0;
  const QelHwStatus status = Yat_ReadDataReg(board, kYatGpioMainOutputs, &outputs);
  if (status != QELHW_OK) return status;
  return Yat_WriteDataReg(board, kYatGpioMainOutputs, (outputs & ~std::uint32_t{mask}) | (value & mask));
}

PARDOW_API QelHwStatus Yat_GenPurposeIO_Output_Read2(std::uint32_t board, std::uint32_t unit, std::uint8_t* value,
                                                     std::uint8_t mask) {
  if (value == nullptr || unit != 0) return QELHW_ERROR_ARG_INVALID;
  std::uint32_t outputs = 0;
  const QelHwStatus status = Yat_ReadDataReg(board, kYatGpioMainOutputs, &outputs);
  if (status != QELHW_OK) return status;
  *value = mask & LowByte(outputs);
  return QELHW_OK;
}

PARDOW_API QelHwStatus Yat_GenPurposeIO_Input_Polarity2(std::uint32_t board, std::uint32_t, std::uint32_t mask,
                                                        std::uint32_t polarity) {
  std::uint32_t inputs = 0;
  const QelHwStatus status = Yat_ReadDataReg(board, kYatGpioMainInputs, &inputs);
  if (status != QELHW_OK) return status;
  return WriteEdgeBits(board, inputs, mask, polarity == kYatGpioPolaritySet ? 0xFF : 0);
}

PARDOW_API QelHwStatus Yat_GenPurposeIO_Input_TriggerDetection2(std::uint32_t board, std::uint32_t, std::uint32_t mask,
                                                                std::uint32_t mode) {
  YatIoBoardState* state = YatGpioState(board);
  if (state == nullptr) return QELHW_ERROR_ARG_INVALID;
  std::uint32_t inputs = 0;
  QelHwStatus status = Yat_ReadDataReg(board, kYatGpioMainInputs, &inputs);
  if (status != QELHW_OK) return status;
  const std::uint32_t p = mode == kYatGpioDetectionModeOne ? 0xFF : 0;
  const std::uint32_t detection = (state->triggerDetection & ~mask) | (p & mask);
  status = WriteEdgeBits(board, inputs, mask, p);
  if (status == QELHW_OK) state->triggerDetection = detection;
  return status;
}

PARDOW_API QelHwStatus Yat_GenPurposeIO_Output_Type2(std::uint32_t, std::uint32_t, std::uint32_t) { return QELHW_OK; }

PARDOW_API QelHwStatus Yat_GenPurposeIO_Input_Level2(std::uint32_t, std::uint32_t, std::uint32_t) { return QELHW_OK; }

PARDOW_API QelHwStatus Yat_GenPurposeIO_Connector2(std::uint32_t, std::uint32_t, std::uint32_t) { return QELHW_OK; }

PARDOW_API QelHwStatus Yat_GenPurposeIO_Set_Power_Good2(std::uint32_t, std::uint32_t, std::uint32_t) {
  return QELHW_ERROR_NOT_SUPPORTED;
}

PARDOW_API QelHwStatus Yat_GenPurposeIO_Get_Fault2(std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t* fault) {
  if (fault == nullptr) return QELHW_ERROR_ARG_INVALID;
  *fault = 0;
  return QELHW_OK;
}
