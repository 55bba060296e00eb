// The input LUT of a device: whether its tap layout can use one, how many
// entries it has, its output format (VIC 2098), its enable, the ramps that
// narrow a wide camera to its output format, and the user LUT stored for the
// device (the mono shadow, AcqLutShadows.h, entry board x 4 + channel).
//
// The LUT output format's status is translated like every other board
// status of the appliers: an SDK caller cannot read a raw board status.
#include <algorithm>
#include <array>
#include <memory>
#include <new>

#include "driver/user/Pardow.h"
#include "qellib/QelLog.h"
#include "source/QelAcq/AcqBoardInputs.h"
#include "source/QelAcq/AcqDeviceOps.h"
#include "source/QelAcq/AcqFeatureApply.h"
#include "source/QelAcq/AcqHwHandles.h"
#include "source/QelAcq/AcqLutShadows.h"
#include "source/QelAcq/AcqPrmAccess.h"

namespace {

constexpr std::uint32_t kColourBit = 0x40000000;
constexpr std::uint32_t kColourKind = 8, kBayerKind = 16;
constexpr std::uint32_t kMono8 = 0x1010100, kMono1 = 0x1180100;
constexpr std::uint32_t kMergedBank = 5;
constexpr std::uint32_t kRampEntries = 4096;

QelStatus Refuse(std::uint32_t index, std::uint32_t kind = kAcqKindNotSupported) {
  return kQelModuleAcquisition | QelStatusMake(index, kind);
}

std::uint32_t P(const AcqValidationContext* c, std::uint32_t index) { return AcqNewPrm(c, index); }

YatAcqHandle* HwOf(const AcqValidationContext* c) {
  return AcqGetHwHandle(AcqBoardOf(c), c->record == nullptr ? kAcqSlotsPerBoard : c->record->slotIndex);
}

std::uint32_t BitsPerPixel(std::uint32_t format) { return (format >> 8) & 0xFF; }

std::uint32_t BitLength(std::uint32_t value) {
  std::uint32_t bits = 0;
  for (; value != 0; value >>= 1) ++bits;
  return bits;
}

// How many LUTs the board's model can give a channel, from the LUT count's
// bit length; false for a model outside the table.
bool ModelLimit(std::uint32_t model, std::uint32_t l, bool narrowOption, std::uint16_t firmware, std::uint32_t* limit) {
  const auto upTo = [l](std::uint32_t most) { return std::min(l, most); };
  switch (model) {
    case 32769: case 129: case 1025: case 1: case 4: case 5: case 32: case 33: *limit = upTo(8); return true;
    case 17: *limit = 8; return true;
    case 2049: case 257: case 513: *limit = narrowOption ? upTo(3) : upTo(8); return true;
    case 4097: case 16385:
      *limit = narrowOption ? upTo(3) : (firmware & 0x2) != 0 ? upTo(10) : upTo(8);
      return true;
    case 2050: case 4098: case 16386: case 258: case 514: *limit = (firmware & 0x200) != 0 ? upTo(6) : upTo(3); return true;
    case 2: case 6: case 130: case 1026: *limit = upTo(3); return true;
    case 8193: case 8194: case 65: case 66: *limit = 0; return true;
    default: return false;
  }
}

bool TypeFits(std::uint32_t type, std::uint32_t depth) {
  if (depth == 8 || depth == 10) return type >= 1 && type <= 3;
  if (depth == 12) return type == 2 || type == 3;
  return false;
}

// The one merged LUT of a mono or Bayer layout exists when the layout has a tap.
bool HasMergedLut(const AcqValidationContext* c) {
  return std::uint64_t{P(c, 0)} * P(c, 49) + ((P(c, 88) >> 3) & 1) != 0;
}

QelStatus ColourLutFormat(std::uint32_t depth, std::uint32_t format, std::uint32_t* out) {
  constexpr std::array<std::uint32_t, 9> k8 = {0x61092000, 0x61132000, 0x611C2000, 0x61192000, 0x3C10800,
                                               0x3810800,  0x3410800,  0x610C2000, 0x3010800};
  constexpr std::array<std::uint32_t, 3> k10Narrow = {0x61092000, 0x61132000, 0x3410800};
  constexpr std::array<std::uint32_t, 5> k12 = {0x611B4000, 0x611D4000, 0x3821000, 0x3421000, 0x3021000};
  const auto in = [format](const auto& list) { return std::find(list.begin(), list.end(), format) != list.end(); };
  switch (depth) {
    case 8:
      if (!in(k8)) return Refuse(2088);
      *out = 0x43000800;
      return 0;
    case 10: *out = in(k10Narrow) ? 0x43000800 : 0x43000A00; return 0;
    case 12:
      if (in(k12)) *out = 0x43000C00;
      else if (format == 0x610A2000) *out = 0x43000A00;
      else if (format == 0x61092000) *out = 0x43000800;
      else return Refuse(2088);
      return 0;
    default: *out = 0; return 0;
  }
}

QelStatus MonoLutFormat(const AcqValidationContext* c, std::uint32_t format, std::uint32_t* out) {
  *out = 0;
  const std::uint32_t depth = P(c, 6);
  if (P(c, 5) == kBayerKind && AcqGetCap(c, 2224) != 0) return 0;
  if (format == kMono8) {
    *out = kMono8;
    return 0;
  }
  if (format == kMono1) return 0;
  if (depth > BitsPerPixel(format)) return Refuse(2088);
  switch (depth) {
    case 8: *out = kMono8; return 0;
    case 10: *out = 0x1000A00; return 0;
    case 12: *out = 0x1000C00; return 0;
    case 14: case 16: return 0;
    default: return Refuse(6);
  }
}

// Entry i of a ramp is i >> shift: a wide camera narrowed to its output.
struct Ramps {
  std::unique_ptr<std::uint16_t[]> first, second;
  std::uint32_t entries = 256;
};

QelStatus MakeRamps(const AcqValidationContext* c, Ramps* ramps) {
  const std::uint32_t depth = P(c, 6), kind = P(c, 5);
  std::uint32_t s1 = 0, s2 = 0;
  if (depth == 10) {
    ramps->entries = 1024;
    (kind == kBayerKind ? s2 : s1) = 2;
  } else if (depth == 12) {
    ramps->entries = kRampEntries;
    if (P(c, 2088) == 0x610A2000) s1 = 2;
    else if (kind != kBayerKind) s1 = 4;
    else s1 = s2 = 2;
  }
  ramps->first.reset(new (std::nothrow) std::uint16_t[kRampEntries]());
  ramps->second.reset(new (std::nothrow) std::uint16_t[kRampEntries]());
  if (!ramps->first || !ramps->second) return kAcqRampMemory;
  for (std::uint32_t i = 0; i < ramps->entries; ++i) {
    ramps->first[i] = static_cast<std::uint16_t>(i >> s1);
    ramps->second[i] = static_cast<std::uint16_t>(i >> s2);
  }
  return 0;
}

QelStatus EnableLuts(const AcqValidationContext* c, std::uint8_t enable) {
  YatAcqHandle* hw = HwOf(c);
  const std::uint32_t depth = P(c, 6), kind = P(c, 5);
  const bool colour = (P(c, 2088) & kColourBit) != 0;
  if (colour && kind != kBayerKind) {
    for (std::uint32_t tap = 0; tap < P(c, 49); ++tap)
      for (std::uint32_t bank = 1; bank <= 3; ++bank)
        if (const QelHwStatus s = Yat_Digital_EnableLut(hw, 0, bank, tap, depth, enable); s != QELHW_OK)
          return TranslateStatus(s);
    return 0;
  }
  if (((kind == kBayerKind && depth <= 12) || !colour) && HasMergedLut(c))
    return TranslateStatus(Yat_Digital_EnableLut(hw, 0, kMergedBank, 0, depth, enable));
  return 0;
}

QelStatus WriteRamps(AcqValidationContext* c, const Ramps& ramps) {
  YatAcqHandle* hw = HwOf(c);
  const std::uint32_t depth = P(c, 6), kind = P(c, 5);
  if (std::uint16_t* stored = AcqMonoLut(AcqBoardOf(c), AcqConnectorOf(c)); stored != nullptr)
    std::copy_n(ramps.first.get(), kAcqLutEntries, stored);
  QelHwStatus status = QELHW_OK;
  if (kind == kColourKind) {
    for (std::uint32_t tap = 0; tap < P(c, 49) && status == QELHW_OK; ++tap)
      for (std::uint32_t bank = 1; bank <= 3 && status == QELHW_OK; ++bank)
        status = Yat_Digital_WriteLut(hw, 0, bank, tap, depth, ramps.first.get());
  } else if ((kind == 1 || kind == kBayerKind) && HasMergedLut(c)) {
    status = Yat_Digital_WriteLut(hw, 0, kMergedBank, 0, depth, ramps.first.get());
  }
  if (kind == kBayerKind)
    for (std::uint32_t bank = 1; bank <= 3 && status == QELHW_OK; ++bank)
      status = Yat_Digital_WriteLut(hw, bank, 0, 0, depth, ramps.second.get());
  if (status != QELHW_OK) return TranslateStatus(status);
  if (P(c, 2075) == 0) return 0;
  if (kind == kColourKind) return AcqProgramLutColorCtx(c);
  return kind == 1 || kind == kBayerKind ? AcqWriteLutData(c) : 0;
}

}  // namespace

QelStatus DigitalUtil_GetMaxLut(const AcqValidationContext* c, std::uint32_t* out) {
  if (out == nullptr) return kAcqModelNotSupported;
  *out = 0;
  const std::uint64_t needed = std::uint64_t{P(c, 0)} * P(c, 49) * (P(c, 5) == kColourKind ? 3 : 1);
  const std::uint32_t board = AcqBoardOf(c);
  AcqBoardInputs inputs;
  std::uint32_t count = 0;
  QelStatus status = TranslateStatus(Yat_FPGA_GetLutType(board, 0, &inputs.lutType, &count));
  if (status == 0) status = AcqReadEepromPage0(board, &inputs);
  if (status == 0) status = AcqReadFirmwareRecord(board, &inputs);
  if (status != 0) return status;
  std::uint32_t limit = 0;
  if (!ModelLimit(inputs.options(), BitLength(count), (inputs.byte(12) & 1) != 0, inputs.firmwareOptions(), &limit)) {
    LogPutLog(kQelLogNotice, __FILE__, __LINE__, "%s: DigitalUtil_GetMaxLut => Board Model not supported",
              "Quillet.DLL");
    return kAcqModelNotSupported;
  }
  *out = needed <= limit && TypeFits(inputs.lutType, P(c, 6)) ? 1 : 0;
  return 0;
}

QelStatus AcqGetLutEntries(const AcqValidationContext* c, std::uint32_t* out) {
  if (out == nullptr) return kAcqNullOut;
  std::uint32_t usable = 0;
  const QelStatus status = DigitalUtil_GetMaxLut(c, &usable);
  *out = 0;
  if (status != 0 || usable == 0) return status;
  switch (P(c, 6)) {
    case 8: *out = 256; break;
    case 10: *out = kAcqLut10Entries; break;
    case 12: *out = P(c, 5) == kBayerKind && (P(c, 2088) & kColourBit) != 0 ? kAcqLut10Entries : kAcqLutEntries; break;
    default: break;
  }
  return 0;
}

QelStatus AcqApplyLutFormat(AcqValidationContext* c) {
  std::uint32_t entries = 0, lutFormat = 0;
  QelStatus status = AcqGetLutEntries(c, &entries);
  const std::uint32_t format = P(c, 2088);
  if (status == 0 && entries != 0)
    status = AcqIsColourOutput(format) ? ColourLutFormat(P(c, 6), format, &lutFormat) : MonoLutFormat(c, format, &lutFormat);
  if (status == 0) {
    AcqSetPrm(c, 2098, lutFormat);
    status = AcqApplyLut(c);
  }
  AcqTakePrm(c, 2088);
  AcqTakePrm(c, 2098);
  return status;
}

QelStatus AcqApplyLut(AcqValidationContext* c) {
  std::uint32_t enable = AcqTakePrm(c, 2075), usable = 0;
  const bool wider = AcqLutIsWider(c);
  QelStatus status = DigitalUtil_GetMaxLut(c, &usable);
  if (status != 0) return status;
  if (enable != 0 && usable == 0) return Refuse(2075);
  if (enable == 0 && wider && usable == 0) return Refuse(2088);
  if (wider) enable = 1;
  status = EnableLuts(c, enable != 0 ? 1 : 0);
  if (status != 0) return status;
  if (wider || (enable != 0 && P(c, 5) == kBayerKind)) {
    Ramps ramps;
    status = MakeRamps(c, &ramps);
    if (status == 0) status = WriteRamps(c, ramps);
    if (status != 0) return status;
  }
  status = AcqApplyBayer(c);
  if (status != 0) return status;
  if (P(c, 2075) == 0 && !wider) return 0;
  return TranslateStatus(Yat_Digital_SetLutFormat(HwOf(c), BitsPerPixel(P(c, 2088))));
}

// The LUT that VIC 2076 selects goes to the board. Its validator bounds it by
// the LUT count (VIC 2094) only while the device has a LUT, so a selection
// made while it had none can outlive the count's return: one not below the
// count would name another connector's LUT and is refused instead.
QelStatus AcqWriteLutData(AcqValidationContext* c) {
  if (P(c, 2098) == 0 || !HasMergedLut(c)) return 0;
  const std::uint32_t selected = P(c, 2076);
  if (selected >= P(c, 2094)) return Refuse(2076, kQelKindOutOfRange);
  const std::uint64_t entry = std::uint64_t{AcqConnectorOf(c)} + selected;
  const std::uint16_t* data = entry < kAcqLutsPerBoard ? AcqMonoLut(AcqBoardOf(c), static_cast<std::uint32_t>(entry)) : nullptr;
  if (data == nullptr) return Refuse(2076, kQelKindOutOfRange);
  return TranslateStatus(Yat_Digital_WriteLut(HwOf(c), selected, kMergedBank, 0, P(c, 6), data));
}
