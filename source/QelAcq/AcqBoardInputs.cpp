#include "source/QelAcq/AcqBoardInputs.h"

#include "driver/user/Pardow.h"
#include "firmware/win32/QelExtInterface.h"
#include "source/QelAcq/AcqBlocks.h"
#include "source/QelAcq/AcqDetect.h"
#include "source/QelAcq/AcqDeviceOps.h"

std::uint32_t AcqBoardOf(const AcqValidationContext* context) {
  return context == nullptr || context->record == nullptr ? kAcqMaxBoards : context->record->boardIndex;
}

std::uint32_t AcqConnectorOf(const AcqValidationContext* context) { return AcqGetConnectorIndexOfContext(context); }

QelStatus AcqReadEepromPage0(std::uint32_t board, AcqBoardInputs* inputs) {
  return ExtEepromGetInfo(board, 0, inputs->eeprom.data(), static_cast<std::uint32_t>(inputs->eeprom.size()));
}

QelStatus AcqReadFirmwareRecord(std::uint32_t board, AcqBoardInputs* inputs) {
  return TranslateStatus(Yat_Man_GetVirtex2Info(board, inputs->firmware.data()));
}

QelStatus AcqReadLutType(std::uint32_t board, AcqBoardInputs* inputs) {
  std::uint32_t maximum = 0;
  return TranslateStatus(Yat_FPGA_GetLutType(board, 0, &inputs->lutType, &maximum));
}

QelStatus AcqReadWindowCaps(const AcqValidationContext* context, AcqBoardInputs* inputs) {
  return AcqGetAcqWindowCaps(context, inputs->window.data());
}

void AcqSetCap(AcqValidationContext* context, std::uint32_t index, std::uint32_t value) {
  std::uint32_t* word = nullptr;
  if (index >= kAcqLevelFirst && index < kAcqLevelFirst + kAcqLevelCapCount)
    word = &context->levelCaps->caps[index - kAcqLevelFirst];
  else if (AcqIsCamCap(index))
    word = AcqCapWords(context->camCaps, index);
  else if (AcqIsVicCap(index))
    word = AcqCapWords(context->vicCaps, index);
  if (word != nullptr) *word = value;
}

std::uint32_t AcqGetCap(const AcqValidationContext* context, std::uint32_t index) {
  const std::uint32_t* word = nullptr;
  if (index >= kAcqLevelFirst && index < kAcqLevelFirst + kAcqLevelCapCount)
    word = &context->levelCaps->caps[index - kAcqLevelFirst];
  else if (AcqIsCamCap(index))
    word = AcqCapWords(static_cast<const AcqCamCapBlock*>(context->camCaps), index);
  else if (AcqIsVicCap(index))
    word = AcqCapWords(static_cast<const AcqVicCapBlock*>(context->vicCaps), index);
  return word == nullptr ? 0 : *word;
}

void AcqSetPrm(AcqValidationContext* context, std::uint32_t index, std::uint32_t value) {
  std::uint32_t* word = AcqIsCamPrm(index) ? AcqPrmWords(context->camNew, index) : AcqPrmWords(context->vicNew, index);
  if (word != nullptr) *word = value;
}
