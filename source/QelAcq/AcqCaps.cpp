// The capability words of a device. Words the rules leave to us are chosen
// from the board library's standard formats and window capabilities so that
// a device's own default sets pass the validators; each choice is written
// beside its word below.
#include <algorithm>
#include <array>
#include <utility>

#include "driver/user/Pardow.h"
#include "source/QelAcq/AcqBoardInputs.h"
#include "source/QelAcq/AcqCaps.h"
#include "source/QelAcq/AcqCapsTables.h"
#include "source/QelAcq/AcqDeviceOps.h"
#include "source/QelAcq/AcqFeatureApply.h"

namespace {

constexpr std::uint32_t kRegChannelCapability = 0x1000;

struct CapInputs : AcqBoardInputs {
  std::uint32_t channelCapability = 0;
  std::uint32_t flatField = 0;
  std::uint32_t binarisation = 0;
  std::uint32_t processing = 0;
};

QelStatus ReadCapInputs(const AcqValidationContext* context, CapInputs* in) {
  const std::uint32_t board = AcqBoardOf(context), channel = AcqConnectorOf(context);
  QelStatus status = AcqReadEepromPage0(board, in);
  if (status == 0) status = AcqReadFirmwareRecord(board, in);
  if (status == 0) status = AcqReadLutType(board, in);
  if (status == 0)
    status = TranslateStatus(Yat_FPGA_ReadDataReg(board, channel, kRegChannelCapability, &in->channelCapability));
  if (status == 0) status = AcqReadWindowCaps(context, in);
  // Flat field and binarisation are offered as their appliers find them.
  if (status == 0) status = AcqIsFlatFieldAvailable(context, &in->flatField);
  if (status == 0) status = AcqIsBinarizeAvailable(context, &in->binarisation);
  if (status == 0 && Yat_FPGA_IsProcessingAvailable(board, channel, 1, &in->processing) != QELHW_OK)
    in->processing = 0;
  return status;
}

void LevelCaps(AcqValidationContext* c, const CapInputs& in) {
  std::uint32_t kinds = 0xC388E0C0u | 0x40C;
  if (in.option(4)) kinds |= 0x10;
  if (in.options() == 1 || in.options() == 2 || in.option(2)) kinds &= ~0x2880040u;
  if (in.f(5)) kinds |= 0x200;
  AcqSetCap(c, 0x700, kinds);
  AcqSetCap(c, 0x701, 3);
  AcqSetCap(c, 0x702, 0);
  AcqSetCap(c, 0x703, (in.byte(12) & 0x20) != 0 ? 7 : 7 | 0xC0);
  AcqSetCap(c, 0x704, 0);
  AcqSetCap(c, 0x705, 1);
  AcqSetCap(c, 0x706, 1);
  AcqSetCap(c, 0x707, in.flatField != 0 ? 1 : 0);
  if (in.flatField != 0) {
    const std::array<std::uint32_t, 6> flat = {0, 255, 1, 255, 128, in.flatField};
    for (std::uint32_t i = 0; i < flat.size(); ++i) AcqSetCap(c, 0x708 + i, flat[i]);
  }
  AcqSetCap(c, 0x70e, 1);
  AcqSetCap(c, 0x70f, in.processing);
}

// CAM capabilities 47 and 49 (minimum) and 48 and 50 (maximum), in Hz.
std::pair<std::uint32_t, std::uint32_t> PixelClockRange(const CapInputs& in) {
  const std::uint32_t speed = in.byte(51) * 1000000u;
  if (in.option(5) || in.option(15)) return {1, speed};
  if (in.option(4)) {
    const std::uint32_t pinned = in.word16(in.eeprom.data(), 115) * 1000000u;
    return {pinned, pinned};
  }
  if (in.byte(30) > 1 && in.byte(51) >= 20) return {20000000, speed};
  return {20000000, 66000000};
}

std::uint32_t TapRowsCap(const CapInputs& in) {
  std::uint32_t rows = 3;
  if (in.options() == 4097) rows = 15;
  if ((in.byte(12) & 0x1) != 0 || in.option(1)) rows = 2;
  if (in.option(4) || in.option(6) || in.option(10) || in.option(14)) rows = 1;
  return rows == 1 ? rows : rows | 0x3;
}

// The supported data formats: (pixel depth, LUT present, format) triples,
// ended by a zero triple.
void DataFormats(AcqValidationContext* c, const CapInputs& in) {
  std::array<std::uint32_t, 128> list{};
  std::uint32_t n = 0;
  const auto add = [&](std::uint32_t depth, std::uint32_t lut, std::uint32_t format) {
    list[n++] = depth;
    list[n++] = lut;
    list[n++] = format;
  };
  add(8, in.lut10() ? 1 : 0, 0x1010800);
  add(10, in.lut10() ? 1 : 0, 0x1000A00);
  if (in.lut10()) add(10, 1, 0x1010800);
  add(12, in.lut12() ? 1 : 0, 0x1000C00);
  if (in.lut12()) add(12, 1, 0x1010800);
  if (!in.option(4)) {
    add(14, 0, 0x1000E00);
    add(16, 0, 0x1021000);
  }
  // Firmware for 10-tap or parallel cameras keeps the first triple alone.
  if (in.f(0) || in.f(1) || in.f(14)) {
    std::fill(list.begin() + 3, list.end(), 0u);
    if (in.f(14)) list = {10, in.lut10() ? 1u : 0u, 0x1000A00};
  }
  std::copy(list.begin(), list.end(), AcqCapWords(c->camCaps, 6));
}

void CamCaps(AcqValidationContext* c, const CapInputs& in) {
  for (const auto& [index, value] : kAcqCommonCamCaps) AcqSetCap(c, index, value);
  AcqSetCap(c, 0, TapRowsCap(in));
  AcqSetCap(c, 9, in.f(12) ? 16 : 4);
  AcqSetCap(c, 35, in.option(4) ? 0 : 0xFFFFFF);
  AcqSetCap(c, 38, in.option(4) ? 0 : 0xFFFFFF);
  AcqSetCap(c, 121, in.option(4) ? 6 : 0);
  const auto [minimum, maximum] = PixelClockRange(in);
  AcqSetCap(c, 47, minimum);
  AcqSetCap(c, 49, minimum);
  AcqSetCap(c, 48, maximum);
  AcqSetCap(c, 50, maximum);
  DataFormats(c, in);
}

void OutputFormats(AcqValidationContext* c, const CapInputs& in, bool colour) {
  std::array<std::uint32_t, 64> list{};
  std::uint32_t n = 0;
  if (colour)
    for (std::uint32_t format : kAcqColourOutputFormats) list[n++] = format;
  for (std::uint32_t format : kAcqMonoOutputFormats) list[n++] = format;
  if (in.binarisation != 0) list[n++] = kAcqBinaryOutputFormat;
  std::copy(list.begin(), list.end(), AcqCapWords(c->vicCaps, 2128));
}

void VicCaps(AcqValidationContext* c, const CapInputs& in) {
  for (const AcqCapRun& run : kAcqCommonVicRuns)
    for (std::uint32_t index = run.first; index <= run.last; ++index) AcqSetCap(c, index, run.value);
  AcqSetCap(c, 2176, in.byte(89));
  AcqSetCap(c, 2178, in.byte(89));
  AcqSetCap(c, 2200, in.byte(88));
  AcqSetCap(c, 2126, in.lut10() || in.lut12() ? 1 : 0);
  AcqSetCap(c, 2257, (in.byte(12) & 0x20) != 0 ? 0 : 1);
  for (const auto& [index, word, divisor, floor] : kAcqWindowCapWords)
    AcqSetCap(c, index, std::max(in.window[word] / divisor, floor));
  OutputFormats(c, in, false);
}

QelStatus CommonCaps(AcqValidationContext* context, CapInputs* in) {
  if (context == nullptr || context->record == nullptr) return kAcqMissingPointer;
  const QelStatus status = ReadCapInputs(context, in);
  if (status != 0) return status;
  LevelCaps(context, *in);
  CamCaps(context, *in);
  VicCaps(context, *in);
  return 0;
}

}  // namespace

QelStatus InitAcqCaps(AcqValidationContext* context) {
  CapInputs in;
  return CommonCaps(context, &in);
}

// A colour device delivers colour formats and its camera's colour kind 8
// (CAM 5), whose mode limit is VIC capability 2051.
QelStatus InitAcqCapsColor(AcqValidationContext* context) {
  CapInputs in;
  const QelStatus status = CommonCaps(context, &in);
  if (status != 0) return status;
  AcqSetCap(context, 5, AcqGetCap(context, 5) | 0x8);
  AcqSetCap(context, 2051, 1);
  OutputFormats(context, in, true);
  return 0;
}

// A Bayer device: colour kind 16 (CAM 5), the on-board Bayer decoder with its
// white-balance gains (VIC 2151-2155), Bayer data formats.
QelStatus InitAcqCapsBayer(AcqValidationContext* context) {
  CapInputs in;
  const QelStatus status = CommonCaps(context, &in);
  if (status != 0) return status;
  AcqSetCap(context, 5, AcqGetCap(context, 5) | 0x10);
  AcqSetCap(context, 89, 1);
  AcqSetCap(context, 108, 1);
  for (const auto& [index, value] : kAcqBayerVicCaps) AcqSetCap(context, index, value);
  OutputFormats(context, in, true);
  const std::array<std::uint32_t, 12> bayer = {8,  in.lut10() ? 1u : 0u, 0x43000800, 10, in.lut10() ? 1u : 0u, 0x43000A00,
                                               12, in.lut12() ? 1u : 0u, 0x43000C00, 0,  0,                    0};
  std::uint32_t* formats = AcqCapWords(context->camCaps, 6);
  std::fill(formats, formats + 128, 0u);
  std::copy(bayer.begin(), bayer.end(), formats);
  return 0;
}
