// The I/O board's settings: output type, input level, connector and the
// inputs' trigger-edge detection. The connector and the output type decide
// the inversions the input and output routines apply, so changing them
// drives the edge bits and the outputs again under the new inversion.
#include "driver/user/Pardow.h"
#include "driver/user/YatGpio.h"
#include "driver/user/YatGpioRegisters.h"

namespace {

constexpr std::uint32_t kAllLines = 0xFF;

// Reads the control word, lets `change` set its bits (false: the argument is
// refused, nothing is written), writes it back.
template <typename Change>
QelHwStatus ChangeControl(std::uint32_t board, Change change) {
  std::uint32_t control = 0;
  QelHwStatus status = Yat_ReadDataReg(board, kYatGpioIoControl, &control);
  if (status != QELHW_OK) return status;
  if (!change(control)) return QELHW_ERROR_ARG_INVALID;
  return Yat_WriteDataReg(board, kYatGpioIoControl, control);
}

void SetOrClear(std::uint32_t& word, std::uint32_t bits, bool set) { word = set ? (word | bits) : (word & ~bits); }

// Selection bits for a mode: all set for detection mode 1, all clear otherwise.
std::uint32_t SelectionFor(std::uint32_t mode) { return mode == kYatGpioDetectionModeOne ? 0xFF : 0; }

}  // namespace

PARDOW_API QelHwStatus Yat_GenPurposeIO_Input_TriggerDetection(std::uint32_t board, std::uint32_t, std::uint32_t mask,
                                                               std::uint32_t mode) {
  YatIoBoardState* state = YatGpioState(board);
  if (state == nullptr) return QELHW_ERROR_ARG_INVALID;
  std::uint32_t inputs = 0;
  QelHwStatus status = Yat_ReadDataReg(board, kYatGpioIoInputs, &inputs);
  if (status != QELHW_OK) return status;
  std::uint32_t p = SelectionFor(mode);
  const std::uint32_t detection = (state->triggerDetection & ~mask) | (p & mask);
  if (YatGpioInputsInverted(*state)) p = ~p & kAllLines;
  const std::uint32_t edges = (((inputs >> kYatGpioIoEdgeShift) & ~mask) | (p & mask)) & kAllLines;
  inputs = (inputs & ~(kAllLines << kYatGpioIoEdgeShift)) | (edges << kYatGpioIoEdgeShift);
  status = Yat_WriteDataReg(board, kYatGpioIoInputs, inputs);
  if (status == QELHW_OK) state->triggerDetection = detection;
  return status;
}

PARDOW_API QelHwStatus Yat_GenPurposeIO_Output_Type(std::uint32_t board, std::uint32_t unit, std::uint32_t type) {
  YatIoBoardState* state = YatGpioState(board);
  if (state == nullptr) return YatGpioArgumentInvalid("Yat_GenPurposeIO_Output_Type");
  const QelHwStatus status = ChangeControl(board, [type](std::uint32_t& control) {
    if (type != 1 && type != 2) return false;
    SetOrClear(control, kYatGpioTypeOne, type == 1);
    return true;
  });
  if (status != QELHW_OK) return status;
  state->outputType = type;
  return Yat_GenPurposeIO_Output_Write(board, unit, state->outputShadow, kAllLines);
}

PARDOW_API QelHwStatus Yat_GenPurposeIO_Input_Level(std::uint32_t board, std::uint32_t, std::uint32_t level) {
  return ChangeControl(board, [level](std::uint32_t& control) {
    if (level != 1 && level != 2 && level != 4) return false;
    SetOrClear(control, kYatGpioLevelFour, level == 4);
    return true;
  });
}

PARDOW_API QelHwStatus Yat_GenPurposeIO_Connector(std::uint32_t board, std::uint32_t unit, std::uint32_t connector) {
  YatIoBoardState* state = YatGpioState(board);
  if (state == nullptr) return YatGpioArgumentInvalid("Yat_GenPurposeIO_Connector");
  QelHwStatus status = ChangeControl(board, [connector](std::uint32_t& control) {
    if (connector != 1 && connector != 2) return false;
    SetOrClear(control, kYatGpioConnectorTwo, connector == 2);
    return true;
  });
  if (status != QELHW_OK) return status;
  const std::uint32_t detection = state->triggerDetection;
  state->connector = connector;
  status = Yat_GenPurposeIO_Input_TriggerDetection(board, unit, detection, 1);
  if (status == QELHW_OK) status = Yat_GenPurposeIO_Input_TriggerDetection(board, unit, ~detection & kAllLines, 2);
  if (status == QELHW_OK) status = Yat_GenPurposeIO_Output_Write(board, unit, state->outputShadow, kAllLines);
  return status;
}
