// The geometry apply (AcqApplyPrmById): the whole geometry group of a device
// taken at once, its combination checked, the acquisition window record built
// and the board programmed.
//
// The working status starts at 0; a refusal replaces it and the next step
// still runs unless a step says otherwise, so that every parameter of the
// group is taken whatever is refused. The board is programmed only when no
// step refused (steps 14 to 16). Decisions of ours:
// - The two refusals of the layout checks that name a parameter without the
//   module part (VIC 2135 with several tap rows, CAM 108 without CAM 95)
//   carry it like every other answer of the apply (0x485728, 0x405F28).
// - A vertical divisor or a tap-row count of 0 is refused as CAM 0 out of
//   range (0x40002A) instead of dividing by it; so is an internal bus width
//   of 0, as VIC 2067 not supported.
// - The LUT step (15) does not change the working status: the geometry is
//   programmed by then, and a LUT that cannot be sized or programmed for the
//   new layout is the LUT apply's own answer (VIC 2075, VIC 2088's chain),
//   so that an output format change succeeds although its LUT cannot follow.
// - A board whose model the LUT limits do not know (model code 0 among the
//   ones the detection accepts) has no usable LUT: the LUT is sized 0 and
//   disabled like one that cannot serve the layout, so the device's
//   parameters still apply; setting the LUT enable itself is refused.
// - A board query that answers 0 never clears a refusal already made.
// - The transfer-connected flag is read from the context's record: the
//   module's open road reclaims the flag of a dead owner before a device is
//   opened, and the engine runs only for an open device or at initialisation.
#include <cstring>

#include "driver/user/Pardow.h"
#include "source/QelAPI/QelConvert.h"
#include "source/QelAcq/AcqApply.h"
#include "source/QelAcq/AcqApplyChecks.h"
#include "source/QelAcq/AcqBoardInputs.h"
#include "source/QelAcq/AcqDeviceOps.h"
#include "source/QelAcq/AcqFeatureApply.h"
#include "source/QelAcq/AcqHwHandles.h"
#include "source/QelAcq/AcqPrmAccess.h"

namespace {

constexpr std::uint32_t kBusy = 0x57;
constexpr std::uint32_t kColourBit = 0x40000000;
constexpr std::uint32_t kBayerKind = 16;

YatAcqHandle* HwOf(const AcqValidationContext* c) {
  return AcqGetHwHandle(AcqBoardOf(c), c->record == nullptr ? kAcqSlotsPerBoard : c->record->slotIndex);
}

std::uint32_t Planes(std::uint32_t format) { return (format >> 24) & 0xF; }

// Step 2: the horizontal multiple CAM 10 must respect; 0 when none applies.
std::uint32_t HorizontalMultiple(const AcqValidationContext* c, std::uint32_t* status) {
  const std::uint32_t taps = AcqNewPrm(c, 49), arrangement = AcqNewPrm(c, 50);
  const std::uint32_t kind = AcqNewPrm(c, 5), depth = AcqNewPrm(c, 6);
  std::uint32_t m = 1;
  *status = TranslateStatus(QelHw_Acq_GetHorizontalHactiveMultiple(HwOf(c), &m));
  if (arrangement == 1 && taps > 3) m >>= 1;
  if (arrangement == 1 && taps == 2) m = 1;
  if (arrangement == 4) m = taps == 16 ? m >> 4 : 1;
  if (kind != kBayerKind) {
    const std::uint32_t bytes = ((AcqNewPrm(c, 2088) & kColourBit) != 0 ? 4 : 1) * (depth > 8 ? 16 : 8) / 8;
    if (bytes == 2) m >>= 1;
    if (bytes == 4) m >>= 2;
    if (bytes == 8) m >>= 3;
  } else if (depth > 8) {
    m >>= 1;
  }
  return m;
}

// Step 3: the on-board Bayer flag follows the camera and the output format.
void TakeBayerFlag(AcqValidationContext* c) {
  const std::uint32_t format = AcqNewPrm(c, 2088);
  const bool decoded = AcqNewPrm(c, 5) == kBayerKind && ((format & kColourBit) != 0 || Planes(format) == 3);
  AcqSetPrm(c, 2151, decoded ? 1 : 0);
  AcqTakePrm(c, 2151);
}

// Step 4: a mono camera cannot give colour, nor a colour camera mono.
std::uint32_t ColourKind(const AcqValidationContext* c) {
  const bool colour = (AcqNewPrm(c, 2088) & kColourBit) != 0;
  const std::uint32_t kind = AcqNewPrm(c, 5);
  return (kind == 1 && colour) || (kind == 2 && !colour) ? kQelModuleAcquisition | QelStatusMake(2088, 0x2B) : 0;
}

// Step 14: the crop window, then the acquisition window.
QelStatus ProgramWindows(AcqValidationContext* c, const AcqWindowRecord& record) {
  YatAcqHandle* hw = HwOf(c);
  std::uint32_t length = 0;
  QelStatus status = TranslateStatus(Yat_Digital_ComputeCropLength(&record, &length, nullptr));
  const std::uint32_t y = AcqNewPrm(c, 3) == 1 ? AcqNewPrm(c, 23) : 0;
  if (status == 0)
    status = TranslateStatus(QelHw_Acq_SetCropWindow(hw, AcqNewPrm(c, 21), y, AcqNewPrm(c, 10), length));
  if (status == 0)
    status = TranslateStatus(QelHw_Acq_SetAcqWindow(hw, &record, ConvDataFormatToHw(AcqNewPrm(c, 2088))));
  return status;
}

// Step 15: what the input LUT can be for this layout, the LUT disabled when
// none serves it, and its format and content.
void SizeLut(AcqValidationContext* c) {
  std::uint32_t usable = 0, entries = 0;
  if (DigitalUtil_GetMaxLut(c, &usable) != 0 || AcqGetLutEntries(c, &entries) != 0) usable = entries = 0;
  AcqSetPrm(c, 2094, usable);
  AcqTakePrm(c, 2094);
  AcqSetPrm(c, 2143, entries);
  AcqTakePrm(c, 2143);
  if (usable == 0) {
    AcqSetPrm(c, 2075, 0);
    AcqTakePrm(c, 2075);
    AcqSetPrm(c, 2098, 0);
    AcqTakePrm(c, 2098);
  }
  AcqApplyLutFormat(c);
}

// Step 16.
QelStatus ProgramFeatures(AcqValidationContext* c) {
  QelStatus status = AcqApplyBoardSync(c);
  if (status == 0) status = AcqApplyBinarization(c);
  if (status == 0) status = AcqApplyDataValid(c);
  return status;
}

std::uint32_t Checks(AcqValidationContext* c, const acq_checks::Board& board, AcqWindowRecord* record,
                     std::uint32_t status) {
  status = acq_checks::LayoutChecks(c, board, *record, status);
  if (const std::uint32_t s = acq_checks::ParallelTaps(c, board); s != 0) status = s;
  status = acq_checks::LayoutBits(c, status);
  if (status == 0) status = acq_checks::ParallelTapFlags(c);
  if (status == 0) status = acq_checks::BayerOutput(c);
  status = acq_checks::ScanKind(c, record, status);
  status = acq_checks::MinimumLine(c, board, status);
  return acq_checks::BusWidth(c, status);
}

}  // namespace

QelStatus AcqApplyPrmById(AcqValidationContext* c, AcqPrmId id) {
  if (c == nullptr || c->record == nullptr) return kAcqMissingPointer;
  AcqBoardInputs inputs;
  QelStatus status = AcqReadEepromPage0(AcqBoardOf(c), &inputs);
  if (status == 0 && c->record->xferConnected != 0)
    return kQelModuleAcquisition | QelStatusMake(AcqPrmIndex(id), kBusy);
  const acq_checks::Board board{inputs.options(), inputs.byte(10)};

  AcqTakePrm(c, 3);
  if (AcqNewPrm(c, 49) >= 2) {
    QelStatus read = 0;
    const std::uint32_t m = HorizontalMultiple(c, &read);
    if (read != 0) status = read;
    if (m != 0 && AcqNewPrm(c, 10) % m != 0) return kQelModuleAcquisition | QelStatusMake(10, 0x2B);
  }
  TakeBayerFlag(c);
  if (const std::uint32_t s = ColourKind(c); s != 0) status = s;

  AcqWindowRecord record{};
  const acq_window::Fill fill = acq_window::FillWindowRecord(c, board.modelCode, &record);
  if (fill.status != 0) status = fill.status;
  status = Checks(c, board, &record, status);

  if (status == 0) status = ProgramWindows(c, record);
  if (status == 0) SizeLut(c);
  if (status == 0) status = ProgramFeatures(c);
  AcqTakePrm(c, 113);
  AcqTakePrm(c, 116);
  return status;
}
