// The camera (CAM) parameter validators, entry i for CAM parameter i.
#include <array>
#include <cstdint>

#include "source/QelAcq/AcqGeometry.h"
#include "source/QelAcq/AcqValidatorKit.h"
#include "source/QelAcq/AcqValidators.h"

namespace {

using namespace acq_rules;
using Ctx = AcqValidationContext;

template <std::uint32_t Cap>
bool CapSet(const View& v) {
  return v.cap(Cap) != 0;
}
bool Cam0Not1(const View& v) { return v.prm(0) != 1; }
bool Cam34Gate(const View& v) { return Enabled<61, 2084>(v) && v.prm(33) != 2; }
bool Cam70Gate(const View& v) { return Enabled<61, 2084>(v) && v.prm(33) != 1; }
bool Cam72Gate(const View& v) {
  const std::uint32_t mode = v.prm(33);
  return Enabled<61, 2084>(v) && (mode == 2 || mode == 4 || mode == 16 || mode == 32 || mode == 64);
}
bool Cam76Gate(const View& v) {
  const std::uint32_t mode = v.prm(33);
  return Enabled<61, 2084>(v) && (mode == 8 || mode == 16 || mode == 32);
}
bool Cam79Gate(const View& v) { return Enabled<72, 2101>(v) && (v.prm(42) == 1 || v.prm(42) == 8); }
bool Cam80Gate(const View& v) { return Enabled<72, 2101>(v) && (v.prm(42) == 1 || v.prm(42) == 2); }

// Maximum: a capability of 0 accepts only 0, otherwise the value may not exceed it.
template <std::uint32_t I, std::uint32_t Cap>
Detail MaximumOf(Ctx* c) {
  OwnPrm p(c, I);
  const std::uint32_t cap = p.cap(Cap);
  const bool accepted = cap == 0 ? p.v() == 0 : p.v() <= cap;
  return accepted ? 0 : p.refuse(kQelKindOutOfRange);
}

// Tap descriptors: three groups of flags (bits 0-1, 2-3, 4-6), at most one
// of each; an empty middle group counts as bit 2, an empty last group as bit 4;
// bit 2 excludes bit 6, bit 3 excludes bit 4.
Detail AcqCheckSignalFlags(const OwnPrm& p, std::uint32_t cap) {
  const std::uint32_t v = p.v();
  const auto several = [](std::uint32_t bits) { return (bits & (bits - 1)) != 0; };
  if ((v & cap) != v || several(v & 0x3) || several(v & 0xC) || several(v & 0x70))
    return p.refuse(kAcqKindNotSupported);
  const bool bit2 = (v & 0x4) != 0 || (v & 0xC) == 0;
  const bool bit4 = (v & 0x10) != 0 || (v & 0x70) == 0;
  if ((bit2 && (v & 0x40) != 0) || ((v & 0x8) != 0 && bit4)) return p.refuse(kAcqKindNotSupported);
  return 0;
}

template <std::uint32_t I>
Detail SignalFlagsOf(Ctx* c) {
  OwnPrm p(c, I);
  const std::uint32_t cap = p.cap(87);
  if (p.v() == 0 || cap == 0) return 0;
  if ((p.v() & cap) == 0) return p.refuse(kAcqKindNotSupported);
  return AcqCheckSignalFlags(p, cap);
}

// A camera-control line: 0 (unused) or 0x0102nnnn with a line 1 to 4.
template <std::uint32_t I>
Detail ControlLineOf(Ctx* c) {
  OwnPrm p(c, I);
  const std::uint32_t line = p.v() & 0xFFFF;
  if (p.v() == 0 || (line >= 1 && line <= 4 && ((p.v() >> 16) & 0xFF) == 2)) return 0;
  return p.refuse(kQelKindOutOfRange);
}

Detail Cam0(Ctx* c) {
  OwnPrm p(c, 0);
  return p.v() >= 1 && p.v() <= p.cap(0) ? 0 : p.refuse(kQelKindOutOfRange);
}

// Pixel depth: one of the data-format list's depths (entries of three words,
// ended by a zero first word); a camera of CAM 2 = 1 keeps it for later.
Detail Cam6(Ctx* c) {
  OwnPrm p(c, 6);
  if (p.prm(2) == 1) {
    p.keepBit();
    return 0;
  }
  const std::uint32_t* list = p.capWords(6);
  bool found = false;
  for (std::uint32_t word = 0; list != nullptr && word < 128 && list[word] != 0 && !found; word += 3)
    found = list[word] == p.v();
  if (!found) return p.refuse(kAcqKindNotSupported);
  return Run(c, {2076, 49});
}

Detail Cam16(Ctx* c) {
  OwnPrm p(c, 16);
  return p.prm(2) == 1 ? Mask(p, p.cap(51)) : 0;
}

Detail Cam24(Ctx* c) {
  OwnPrm p(c, 24);
  const std::uint32_t cap = p.cap(46);
  if (cap == 0 || p.v() == 0) return 0;
  if ((p.v() & cap) == 0) return p.refuse(kAcqKindNotSupported);
  return Run(c, {25, 27});
}

// A pixel clock in its range when CAM 24 selects it; then the trigger window,
// which depends on it. A clock out of range is answered before the window.
template <std::uint32_t I, std::uint32_t MinCap, std::uint32_t MaxCap, std::uint32_t Mode>
Detail PixelClockOf(Ctx* c) {
  OwnPrm p(c, I);
  const std::uint32_t source = p.prm(24);
  if (source == Mode || source == 4) {
    const Detail detail = Range(p, p.cap(MinCap), p.cap(MaxCap));
    if (detail != 0) return detail;
  }
  return Run(c, 2110);
}

// A feature's mode word: a supported mode, then the mode's own parameters.
template <std::uint32_t I, std::uint32_t FeatureCap, std::uint32_t FeaturePrm, std::uint32_t ModeCap,
          std::uint32_t First, std::uint32_t Second>
Detail FeatureModeOf(Ctx* c) {
  OwnPrm p(c, I);
  if (!Enabled<FeatureCap, FeaturePrm>(p)) return 0;
  if ((p.v() & p.cap(ModeCap)) == 0) return p.refuse(kAcqKindNotSupported);
  return Run(c, {First, Second});
}

// Tap count: within the capability; a camera of CAM 2 = 2 may not carry more
// bits per tap than the taps can take (CAM 6 x CAM 49 against cap 85 x cap 84
// x CAM 108, compared whole); then the tap arrangement.
Detail Cam49(Ctx* c) {
  OwnPrm p(c, 49);
  const std::uint32_t taps = p.v();
  if (taps < 1 || taps > p.cap(84)) return p.refuse(kQelKindOutOfRange);
  if (p.prm(2) == 2) {
    const std::uint32_t rows = p.prm(108) == 0 ? 1 : p.prm(108);
    const unsigned __int128 limit = static_cast<unsigned __int128>(p.cap(85)) * p.cap(84) * rows;
    if (static_cast<unsigned __int128>(p.prm(6)) * taps > limit) return QelStatusMake(6, kAcqKindNotSupported);
  }
  return Run(c, 50);
}

Detail Cam50(Ctx* c) {
  OwnPrm p(c, 50);
  const std::uint32_t taps = p.prm(49);
  if (taps <= 1) return 0;
  const bool supported = (p.v() & p.cap(86)) != 0 && ((p.v() & 1) == 0 || taps % 2 == 0);
  return supported ? 0 : p.refuse(kAcqKindNotSupported);
}

Detail Cam95(Ctx* c) {
  OwnPrm p(c, 95);
  return p.cap(109) != 0 ? Run(c, 96) : 0;
}

Detail Cam110(Ctx* c) {
  OwnPrm p(c, 110);
  const bool enabled = Enabled<61, 2084>(p) || Enabled<63, 2087>(p) || Enabled<62, 2086>(p);
  if (!enabled || p.v() == 0 || p.cap(115) != 0) return 0;
  return p.refuse(kAcqKindNotSupported);
}

Detail Cam113(Ctx* c) {
  OwnPrm p(c, 113);
  const std::uint32_t cap = p.cap(121);
  if (cap == 0) return (p.v() & 0xFF) == 0 ? 0 : p.refuse(kAcqKindNotSupported);
  if (p.prm(49) != 1) return 0;
  const std::uint32_t low = p.v() & 0xFF;
  if (low < 1 || low > (cap & 0xFF)) return p.refuse(kQelKindOutOfRange);
  if ((p.v() & 0x80000000u) != 0 && (cap & 0x80000000u) == 0) return p.refuse(kAcqKindNotSupported);
  return 0;
}

Detail Cam115(Ctx* c) {
  OwnPrm p(c, 115);
  const std::uint32_t cap = p.cap(123);
  const bool accepted = cap == 0 ? p.v() == 0 : (p.v() & cap) != 0;
  return accepted ? 0 : p.refuse(kQelKindOutOfRange);
}

Detail Cam118(Ctx* c) {
  OwnPrm p(c, 118);
  const std::uint32_t cap = p.cap(126);
  return p.v() == cap ? 0 : p.refuse(kQelKindOutOfRange);
}

constexpr std::array<AcqValidator, kAcqCamPrmCount> BuildCamTable() {
  std::array<AcqValidator, kAcqCamPrmCount> t{};
  t[0] = Cam0;
  t[1] = MaskOf<1, 1>;
  t[2] = MaskOf<2, 2>;
  t[4] = MaskOf<4, 4>;
  t[5] = MaskOf<5, 5>;
  t[7] = MaskOf<7, 7>;
  for (std::uint32_t i : {3, 12, 13, 19, 23}) t[i] = AcqValidateVerticalGroup;
  for (std::uint32_t i : {10, 11, 15, 21}) t[i] = AcqCheckFrameGeometry;
  t[6] = Cam6;
  t[8] = NoCheckOf<8>;
  t[26] = NoCheckOf<26>;
  t[61] = NoCheckOf<61>;
  t[73] = NoCheckOf<73>;
  t[89] = NoCheckOf<89>;
  t[90] = NoCheckOf<90>;
  t[91] = NoCheckOf<91>;
  t[92] = NoCheckOf<92>;
  t[93] = NoCheckOf<93>;
  t[94] = NoCheckOf<94>;
  t[9] = GatedMaskOf<9, 9, Equals<1, 1>>;
  t[14] = RangeStepOf<14, 22, 23, 24>;
  t[18] = RangeStepOf<18, 28, 29, 30>;
  t[20] = RangeStepOf<20, 34, 35, 36>;
  t[22] = RangeStepOf<22, 40, 41, 42>;
  t[16] = Cam16;
  t[17] = MaskOf<17, 55>;
  t[28] = MaskOf<28, 52>;
  t[29] = MaskOf<29, 53>;
  t[30] = MaskOf<30, 54>;
  t[59] = MaskOf<59, 88>;
  t[24] = Cam24;
  t[25] = PixelClockOf<25, 47, 48, 1>;
  t[27] = PixelClockOf<27, 49, 50, 2>;
  t[31] = GatedMaskOf<31, 64, Enabled<60, 2082>>;
  t[32] = GatedMaskOf<32, 68, Enabled<60, 2082>>;
  t[33] = FeatureModeOf<33, 61, 2084, 65, 76, 72>;
  t[34] = GatedMaskOf<34, 69, Cam34Gate>;
  t[35] = GatedMaskOf<35, 66, Enabled<62, 2086>>;
  t[36] = GatedMaskOf<36, 70, Enabled<62, 2086>>;
  t[37] = RangeOf<37, 56, 57, Enabled<62, 2086>>;
  t[38] = GatedMaskOf<38, 67, Enabled<63, 2087>>;
  t[39] = GatedMaskOf<39, 71, Enabled<63, 2087>>;
  t[40] = RangeOf<40, 58, 59, Enabled<63, 2087>>;
  t[41] = TextOf<41>;
  t[81] = TextOf<81>;
  t[82] = TextOf<82>;
  t[42] = FeatureModeOf<42, 72, 2101, 73, 80, 79>;
  t[43] = GatedMaskOf<43, 74, Enabled<72, 2101>>;
  t[77] = GatedMaskOf<77, 101, Enabled<72, 2101>>;
  t[44] = RangeOf<44, 75, 76, Enabled<72, 2101>>;
  t[78] = RangeOf<78, 102, 103, Enabled<72, 2101>>;
  t[45] = GatedMaskOf<45, 78, Enabled<77, 2103>>;
  t[46] = GatedMaskOf<46, 79, Enabled<77, 2103>>;
  t[47] = RangeOf<47, 80, 81, Enabled<77, 2103>>;
  t[48] = RangeOf<48, 82, 83, Enabled<77, 2103>>;
  t[49] = Cam49;
  t[50] = Cam50;
  t[51] = SignalFlagsOf<51>;
  t[52] = SignalFlagsOf<52>;
  t[53] = SignalFlagsOf<53>;
  t[54] = SignalFlagsOf<54>;
  t[55] = SignalFlagsOf<55>;
  t[56] = SignalFlagsOf<56>;
  t[57] = SignalFlagsOf<57>;
  t[58] = SignalFlagsOf<58>;
  t[100] = SignalFlagsOf<100>;
  t[101] = SignalFlagsOf<101>;
  t[102] = SignalFlagsOf<102>;
  t[103] = SignalFlagsOf<103>;
  t[104] = SignalFlagsOf<104>;
  t[105] = SignalFlagsOf<105>;
  t[106] = SignalFlagsOf<106>;
  t[107] = SignalFlagsOf<107>;
  t[60] = GatedMaskOf<60, 89, Cam0Not1>;
  t[62] = GatedMaskOf<62, 91, CapSet<90>>;
  t[63] = OrderedOf<63, 63, 64>;
  t[64] = OrderedOf<64, 63, 64>;
  t[65] = OrderedOf<65, 65, 66>;
  t[66] = OrderedOf<66, 65, 66>;
  t[83] = OrderedOf<83, 83, 84>;
  t[84] = OrderedOf<84, 83, 84>;
  t[70] = GatedMaskOf<70, 92, Cam70Gate>;
  t[71] = RangeOf<71, 93, 94, Enabled<61, 2084>>;
  t[75] = RangeOf<75, 97, 98, Enabled<61, 2084>>;
  t[72] = RangeOf<72, 95, 96, Cam72Gate>;
  t[76] = RangeOf<76, 99, 100, Cam76Gate>;
  t[79] = RangeOf<79, 104, 105, Cam79Gate>;
  t[80] = RangeOf<80, 106, 107, Cam80Gate>;
  t[85] = ControlLineOf<85>;
  t[86] = ControlLineOf<86>;
  t[87] = ControlLineOf<87>;
  t[88] = MaskOf<88, 108>;
  t[95] = Cam95;
  t[96] = GatedMaskOf<96, 110, Enabled<109, 95>>;
  t[99] = GatedMaskOf<99, 112, Enabled<111, 2142>>;
  t[108] = MaskOf<108, 113>;
  t[109] = GatedMaskOf<109, 114, Enabled<114, 2151>>;
  t[110] = Cam110;
  t[113] = Cam113;
  t[114] = MaximumOf<114, 122>;
  t[116] = MaximumOf<116, 124>;
  t[117] = MaximumOf<117, 125>;
  t[115] = Cam115;
  t[118] = Cam118;
  // No entry (no check, the bit stays): 67, 68, 69, 74, 97, 98, 111, 112, 119.
  return t;
}

}  // namespace

constexpr std::array<AcqValidator, kAcqCamPrmCount> CamPrmValidatorTable = BuildCamTable();

QelStatus InstallCamValidatorTable(othStruct* table) {
  if (table != nullptr) table->camValidators = CamPrmValidatorTable.data();
  return 0;
}
