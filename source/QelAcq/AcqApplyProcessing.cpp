// The channel's processing units as the parameters set them: the Bayer
// decoder with its white balance and saturation, binarisation, Power over
// Camera Link, and the availability questions the capabilities ask.
#include <cstdint>

#include "driver/user/Pardow.h"
#include "source/QelAPI/QelConvert.h"
#include "source/QelAcq/AcqBoardInputs.h"
#include "source/QelAcq/AcqFeatureApply.h"
#include "source/QelAcq/AcqPrmAccess.h"
#include "source/QelAcq/AcqRecordKit.h"

namespace {

constexpr std::uint32_t kMono1 = 0x1180100;
constexpr std::uint32_t kGainUnit = 256;
// VIC capability words of the Bayer decoder's ranges (2048 + the decoder's numbers).
constexpr std::uint32_t kGainMinimum = 2226, kGainMaximum = 2227;
constexpr std::uint32_t kWeightMinimum = 2245, kWeightMaximum = 2246;
constexpr std::uint32_t kFactorMinimum = 2254, kFactorMaximum = 2255;
constexpr std::uint32_t kFlatFieldModels = 0xF010;

// A white-balance gain in the decoder's 1/256 units.
std::uint32_t Gain(const AcqValidationContext* c, std::uint32_t index) {
  const std::uint64_t gain = std::uint64_t{AcqNewPrm(c, index)} * kGainUnit;
  const std::uint32_t unit = AcqGetCap(c, kGainMinimum);
  return static_cast<std::uint32_t>(unit != 0 ? gain / unit : gain);
}

QelStatus BayerRanges(const AcqValidationContext* c, std::uint32_t board, std::uint32_t channel) {
  QelHwStatus status = QELHW_OK;
  if (AcqGetCap(c, kGainMinimum) != AcqGetCap(c, kGainMaximum))
    status = Yat_FPGA_SetBayerWhiteBalance(board, channel, Gain(c, 2153), Gain(c, 2154), Gain(c, 2155), kGainUnit);
  if (status == QELHW_OK && AcqGetCap(c, kWeightMinimum) != AcqGetCap(c, kWeightMaximum))
    status = Yat_FPGA_SetBayerSaturationWeight(board, channel, AcqNewPrm(c, 2169), AcqNewPrm(c, 2170),
                                               AcqNewPrm(c, 2171));
  if (status == QELHW_OK && AcqGetCap(c, kFactorMinimum) != AcqGetCap(c, kFactorMaximum))
    status = Yat_FPGA_SetBayerSaturationFactor(board, channel, AcqNewPrm(c, 2168));
  return TranslateStatus(status);
}

}  // namespace

QelStatus AcqApplyBayer(AcqValidationContext* c) {
  const std::uint32_t board = AcqBoardOf(c), channel = AcqConnectorOf(c);
  const std::uint32_t enable = AcqNewPrm(c, 2151), depth = AcqNewPrm(c, 6);
  const std::uint32_t code = ConvDataFormatToHw(AcqNewPrm(c, 2088));
  const std::uint32_t alignment = ConvEnum1248To1234(AcqNewPrm(c, 109)), lut = AcqNewPrm(c, 2075);
  acq_records::TakeRange(c, 2152, 2158);
  AcqTakePrm(c, 109);
  acq_records::TakeRange(c, 2168, 2171);
  QelHwStatus status = Yat_FPGA_Reset_Processing(board, channel, 1);
  if (status == QELHW_OK) status = Yat_FPGA_Reset_Processing(board, channel, 0);
  if (status == QELHW_OK) status = Yat_FPGA_SetBayerFormat(board, channel, depth, code, alignment, enable, lut);
  if (status != QELHW_OK) return TranslateStatus(status);
  return enable != 0 ? BayerRanges(c, board, channel) : 0;
}

QelStatus AcqIsBinarizeAvailable(const AcqValidationContext* c, std::uint32_t* out) {
  if (out == nullptr) return kAcqNullOut;
  return TranslateStatus(Yat_FPGA_IsBinarizeAvailable(AcqBoardOf(c), AcqConnectorOf(c), out));
}

QelStatus AcqApplyBinarization(AcqValidationContext* c) {
  std::uint32_t available = 0;
  const QelStatus status = AcqIsBinarizeAvailable(c, &available);
  if (status != 0 || available == 0) return status;
  const std::uint32_t enable = AcqNewPrm(c, 2088) == kMono1 ? 1 : 0;
  return TranslateStatus(Yat_FPGA_EnableBinarization(AcqBoardOf(c), AcqConnectorOf(c), enable));
}

QelStatus AcqTestInfoOption(const AcqValidationContext* c, std::uint32_t mask, std::uint32_t* out) {
  if (out == nullptr) return kAcqNullOut;
  AcqBoardInputs inputs;
  const QelStatus status = AcqReadEepromPage0(AcqBoardOf(c), &inputs);
  if (status == 0) *out = (inputs.word16(inputs.eeprom.data(), 82) & mask) != 0 ? 1 : 0;
  return status;
}

QelStatus AcqApplyPoCL(AcqValidationContext* c) {
  return TranslateStatus(Yat_FPGA_PoCLEnable(AcqBoardOf(c), AcqConnectorOf(c), AcqNewPrm(c, 2172)));
}

QelStatus AcqIsFlatFieldAvailable(const AcqValidationContext* c, std::uint32_t* out) {
  if (out == nullptr) return kAcqNullOut;
  std::uint32_t available = 0;
  QelStatus status = TranslateStatus(Yat_FPGA_IsFlatFieldAvailable(AcqBoardOf(c), AcqConnectorOf(c), &available));
  if (status != 0) return status;
  *out = 0;
  if (available == 0) return 0;
  AcqBoardInputs inputs;
  status = AcqReadEepromPage0(AcqBoardOf(c), &inputs);
  if (status == 0) *out = (inputs.options() & kFlatFieldModels) != 0 ? 2 : 1;
  return status;
}
