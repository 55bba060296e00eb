// The camera control lines (what drives each of the four lines back to the
// camera) and the pixel clock (its source, frequency and polarity).
#include <array>

#include "driver/user/Pardow.h"
#include "source/QelAPI/QelConvert.h"
#include "source/QelAcq/AcqBoardInputs.h"
#include "source/QelAcq/AcqDeviceOps.h"
#include "source/QelAcq/AcqFeatureApply.h"
#include "source/QelAcq/AcqHwHandles.h"
#include "source/QelAcq/AcqPrmAccess.h"

namespace {

constexpr std::uint32_t kLvdsHandleKind = 0x64000013;
constexpr std::uint32_t kLines = 4;

YatAcqHandle* HwOf(const AcqValidationContext* c) {
  return AcqGetHwHandle(AcqBoardOf(c), c->record == nullptr ? kAcqSlotsPerBoard : c->record->slotIndex);
}

bool VariableClock(std::uint32_t source) { return source == 1 || source == 4; }

// The sources an LVDS handle's lines take before the parameters name theirs.
std::array<std::uint32_t, kLines> LvdsSources(const AcqValidationContext* c) {
  std::uint32_t third = 9;
  if (AcqNewPrm(c, 61) != 0) {
    const bool inverted = AcqNewPrm(c, 62) == 1, external = AcqNewPrm(c, 2111) == 2;
    third = inverted != external ? 11 : 10;
  }
  return {7, 8, third, VariableClock(AcqNewPrm(c, 24)) ? 5u : 0u};
}

}  // namespace

QelStatus AcqApplyCameraControl(AcqValidationContext* c) {
  std::array<YatCameraControlEntry, kLines> entries{};
  YatAcqHandle* hw = HwOf(c);
  const std::array<std::uint32_t, kLines> sources =
      hw != nullptr && hw->type == kLvdsHandleKind ? LvdsSources(c) : std::array<std::uint32_t, kLines>{};
  for (std::uint32_t n = 0; n < kLines; ++n) entries[n] = {sizeof(YatCameraControlEntry), 0, 2, n, sources[n]};
  static_assert(sizeof entries == kLines * 5 * sizeof(std::uint32_t));
  auto* lines = reinterpret_cast<std::uint32_t*>(entries.data());
  QelStatus status = AcqControlLinesFromTable(c, lines);
  if (status == 0) status = AcqControlLinesFromPrms(c, lines);
  if (status != 0) return kQelModuleAcquisition | status;
  const YatCameraControlList list{kLines, 0, entries.data()};
  return TranslateStatus(QelHw_Acq_SetCameraControlEx(hw, &list));
}

QelStatus AcqApplyPixelClockFrequency(AcqValidationContext* c) {
  const std::uint32_t source = AcqTakePrm(c, 24), frequency = AcqTakePrm(c, 25);
  if (VariableClock(source)) {
    const QelHwStatus status = Yat_Man_SetVariableClockFrequency(AcqBoardOf(c), frequency);
    if (status != QELHW_OK) return TranslateStatus(status);
  }
  return AcqApplyCameraControl(c);
}

QelStatus AcqApplyPixelClock(AcqValidationContext* c) {
  for (std::uint32_t index : {27u, 24u, 25u, 26u, 59u}) AcqTakePrm(c, index);
  QelStatus status = AcqApplyPixelClockFrequency(c);
  if (status != 0) return status;
  const std::uint32_t board = AcqBoardOf(c), channel = AcqConnectorOf(c);
  QelHwStatus hw = Yat_FPGA_SetExtPixelClock(board, channel, AcqNewPrm(c, 27));
  if (hw == QELHW_OK) hw = Yat_FPGA_LVDS_SetPixelClockPolarity(board, channel, ConvEnumPow2To1To7(AcqNewPrm(c, 59)));
  return TranslateStatus(hw);
}
