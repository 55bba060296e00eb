// The video-input (VIC) parameter validators, entry i for VIC parameter
// 2048 + i. Refusals name the full index (VIC 2105: 0x8392B).
#include <array>
#include <cstdint>

#include "qellib/QelLog.h"
#include "source/QelAcq/AcqGeometry.h"
#include "source/QelAcq/AcqValidatorKit.h"
#include "source/QelAcq/AcqValidators.h"

namespace {

using namespace acq_rules;
using Ctx = AcqValidationContext;
using Exc = Exclusions;

// The module's log lines name this source.
constexpr const char kLogSource[] = "acqchdec";

template <std::uint32_t Cap>
bool CapSet(const View& v) {
  return v.cap(Cap) != 0;
}
template <std::uint32_t Prm>
bool NonZero(const View& v) {
  return v.prm(Prm) != 0;
}
bool Area8(const View& v) { return v.cap(2132) != 0 && v.prm(2092) == 8; }
bool Vic2096Gate(const View& v) { return v.cap(2053) != 0 && v.prm(2050) == 2; }
bool Vic2137Gate(const View& v) { return Area8(v) && (v.cap(2204) != 0 || v.cap(2205) != 0); }
bool Vic2145Gate(const View& v) { return v.cap(2214) != 0 && (v.prm(2106) != 0 || v.prm(2123) != 0); }
bool Vic2146Gate(const View& v) { return v.cap(2215) != 0 && v.prm(2092) == 8; }
bool Vic2149Gate(const View& v) { return v.prm(2104) != 0 || v.prm(2092) == 8; }
bool Vic2150Gate(const View& v) { return Vic2149Gate(v) && v.cap(2222) != 0; }
template <std::uint32_t MaxCap>
bool Vic2151Range(const View& v) {
  return v.prm(2151) != 0 && v.cap(MaxCap) != 0;
}

std::uint32_t Slot(const Ctx* c) { return c->record == nullptr ? 0xFFFFFFFFu : c->record->slotIndex; }

// Below the limit CAM 5 selects; other CAM 5 values select none and accept.
Detail BelowModeLimit(const OwnPrm& p) {
  bool selected = false;
  const std::uint32_t limit = ModeLimit(p, &selected);
  return selected ? Below(p, limit) : 0;
}

Detail Vic2048(Ctx* c) {
  OwnPrm p(c, 2048);
  return BelowModeLimit(p);
}

// Below 2 to the power of the pixel depth; a depth of 0 has no such limit and
// is refused.
Detail Vic2049(Ctx* c) {
  OwnPrm p(c, 2049);
  const std::uint32_t depth = p.prm(6);
  if (p.cap(2052) == 0 || depth > 31) return 0;
  if (depth == 0) return p.refuse(kQelKindOutOfRange);
  return Below(p, 1u << depth);
}

Detail Vic2050(Ctx* c) {
  OwnPrm p(c, 2050);
  if (p.cap(2053) == 0) return 0;
  if ((p.v() & p.cap(2142)) == 0) return p.refuse(kAcqKindNotSupported);
  return Run(c, {2096, 2097});
}

Detail Vic2073(Ctx* c) {
  OwnPrm p(c, 2073);
  if (p.cap(2164) == 0) return 0;
  if ((p.v() & p.cap(2125)) == 0) return p.refuse(kAcqKindNotSupported);
  const bool interlaced = p.prm(1) == 1;
  switch (p.v()) {
    case 2: return interlaced ? Run(c, 2074) : p.refuse(kAcqKindNotSupported);
    case 4: return Run(c, 2074);
    case 8:
    case 16: return interlaced ? 0 : p.refuse(kAcqKindNotSupported);
    default: return 0;
  }
}

// Below the camera's frame rate (twice it for field mode); a camera whose
// timing totals are 0 has a rate of 0, below which nothing lies.
Detail Vic2074(Ctx* c) {
  OwnPrm p(c, 2074);
  if (p.cap(2164) == 0) return 0;
  const std::uint64_t rate = AcqComputeCameraFrameRate(c->camNew);
  const std::uint32_t mode = p.prm(2073);
  if ((mode & 2) != 0) return p.v() < 2 * rate ? 0 : p.refuse(kQelKindOutOfRange);
  if ((mode & 4) != 0) return p.v() < rate ? 0 : p.refuse(kQelKindOutOfRange);
  return 0;
}

Detail Vic2076(Ctx* c) {
  OwnPrm p(c, 2076);
  if (p.cap(2126) == 0) return 0;
  std::uint32_t limit = p.prm(2094);
  const othStruct* row = AcqGetOthStructOf(c->record);
  if (row != nullptr && row->vic2076Limit != nullptr) {
    limit = 0;
    const QelStatus status = row->vic2076Limit(c, &limit);
    if (status != 0) return status;
  }
  return limit != 0 ? Below(p, limit) : 0;
}

Detail Vic2083(Ctx* c) {
  OwnPrm p(c, 2083);
  if (!Enabled<60, 2082>(p)) return 0;
  return p.v() >= 1 && p.v() <= p.cap(2147) ? 0 : p.refuse(kQelKindOutOfRange);
}

Detail Vic2085(Ctx* c) {
  OwnPrm p(c, 2085);
  if (!Enabled<61, 2084>(p)) return 0;
  const std::uint32_t v = p.v();
  const bool inside = v >= p.cap(2140) && v <= p.cap(2141) && v >= p.prm(65) && v <= p.prm(66);
  return inside ? 0 : p.refuse(kQelKindOutOfRange);
}

// Output format: one of the capability's list (64 words, ended by 0).
Detail Vic2088(Ctx* c) {
  OwnPrm p(c, 2088);
  const std::uint32_t* list = p.capWords(2128);
  bool found = false;
  for (std::uint32_t word = 0; list != nullptr && word < 64 && list[word] != 0 && !found; ++word)
    found = list[word] == p.v();
  return found ? Run(c, 2076) : p.refuse(kAcqKindNotSupported);
}

Detail Vic2090(Ctx* c) {
  OwnPrm p(c, 2090);
  if (p.cap(2130) == 0) return 0;
  const Detail detail = BelowModeLimit(p);
  if (detail != 0) return detail;
  return p.v() <= p.prm(2091) ? 0 : p.refuse(kAcqKindNotSupported);
}

Detail Vic2091(Ctx* c) {
  OwnPrm p(c, 2091);
  if (p.cap(2130) != 0) {
    const Detail detail = BelowModeLimit(p);
    if (detail != 0) return detail;
  }
  return p.prm(2090) <= p.v() ? 0 : p.refuse(kAcqKindNotSupported);
}

Detail Vic2092(Ctx* c) {
  OwnPrm p(c, 2092);
  if (p.v() != 8) return 0;
  if (p.cap(2132) == 0) return p.refuse(kAcqKindNotSupported);
  return Run(c, {2095, 2113, 2124, 2137, 2146, 2149, 2150, 2161});
}

// Trigger window: the range the device gives (kept in VIC 2117 and 2118), or
// any non-zero value; also within [CAM 63, CAM 64], and only with a clock.
Detail Vic2110(Ctx* c) {
  OwnPrm p(c, 2110);
  std::uint32_t minimum = 1, maximum = 0xFFFFFFFFu;
  const othStruct* row = AcqGetOthStructOf(c->record);
  if (row != nullptr && row->vic2110Range != nullptr) {
    row->vic2110Range(c, &minimum, &maximum);
    if (std::uint32_t* words = AcqPrmWords(c->vicNew, 2117)) *words = minimum;
    if (std::uint32_t* words = AcqPrmWords(c->vicNew, 2118)) *words = maximum;
  }
  if (!Enabled<2173, 2109>(p)) return 0;
  if (p.prm(27) == 0) return p.refuse(kAcqKindNotAvailable);
  const std::uint32_t v = p.v();
  if (v == 0) return p.refuse(kAcqKindNotSupported);
  const bool inside = v >= minimum && v <= maximum && v >= p.prm(63) && v <= p.prm(64);
  return inside ? 0 : p.refuse(kQelKindOutOfRange);
}

Detail Vic2111(Ctx* c) {
  OwnPrm p(c, 2111);
  if (p.cap(90) != 0 && p.prm(61) != 0) return 0;
  return p.v() == 2 ? p.refuse(kAcqKindNotSupported) : 0;
}

Detail Vic2119(Ctx* c) {
  OwnPrm p(c, 2119);
  const Detail detail = Mask(p, p.cap(2180));
  if (detail != 0 || p.v() == 0) return detail;
  return Run(c, {2120, 2121});
}

Detail Vic2126(Ctx* c) {
  OwnPrm p(c, 2126);
  if (!Enabled<2188, 2125>(p)) return 0;
  if (p.v() == 0) return p.refuse(kAcqKindNotSupported);
  std::uint32_t minimum = p.cap(2189), maximum = p.cap(2190);
  const othStruct* row = AcqGetOthStructOf(c->record);
  if (row != nullptr && row->vic2126Range != nullptr) {
    minimum = 1;
    maximum = 0xFFFFFFFFu;
    row->vic2126Range(c, &minimum, &maximum, 0);
  }
  return Range(p, minimum, maximum);
}

// A reference to another device (0xFFFFFFFF none, or this device's own index)
// needs the capability that allows it.
template <std::uint32_t I>
Detail DeviceRefOf(Ctx* c) {
  OwnPrm p(c, I);
  const bool elsewhere = p.v() != 0xFFFFFFFFu && p.v() != Slot(c);
  return elsewhere && p.cap(I + 64) == 0 ? p.refuse(kAcqKindNotAvailable) : 0;
}

Detail Vic2134(Ctx* c) {
  OwnPrm p(c, 2134);
  return (p.v() & p.cap(2199)) != 0 ? 0 : p.refuse(kAcqKindNotSupported);
}

Detail Vic2147(Ctx* c) {
  OwnPrm p(c, 2147);
  if (p.cap(2216) == 0 || p.prm(2123) == 0 || p.v() == 0) return 0;
  const std::uint32_t first = p.cap(2217), last = p.cap(2218), factor = p.cap(2219);
  if (p.v() < first || p.v() > last) return p.refuse(kQelKindOutOfRange);
  if ((factor & (1u << 29)) != 0 && !IsGeometricStep(p.v(), first, last, factor & 0x0FFFFFFFu))
    return p.refuse(kQelKindOutOfRange);
  return 0;
}

Detail Vic2148(Ctx* c) {
  OwnPrm p(c, 2148);
  if (p.v() != 0 && p.cap(2220) == 0) return p.refuse(kAcqKindNotAvailable);
  const std::uint32_t shift = AcqGetModeLimit(c) % 32;
  return (p.v() & (0xFFFFFFFFu << shift)) == 0 ? 0 : p.refuse(kQelKindOutOfRange);
}

template <std::uint32_t I, std::uint32_t Cap>
Detail SingleFlagOf(Ctx* c) {
  OwnPrm p(c, I);
  return p.v() == 1 && (p.cap(Cap) & 1) == 0 ? p.refuse(kAcqKindNotSupported) : 0;
}

Detail Vic2174(Ctx* c) {
  OwnPrm p(c, 2174);
  if (p.prm(2123) == 0 || p.v() == 0) return 0;
  return p.v() < p.cap(2262) ? 0 : p.refuse(kAcqKindNotSupported);
}

Detail Vic2176(Ctx* c) {
  OwnPrm p(c, 2176);
  if (p.cap(2261) == 0 || p.prm(2123) == 0 || p.v() == 0) return 0;
  return (p.v() & p.cap(2261)) != 0 ? 0 : p.refuse(kAcqKindNotSupported);
}

Detail Untouched(Ctx*) { return 0; }

template <std::uint32_t I, std::uint32_t Cap, Exc Order = Exc::afterCapability>
Detail FeatureOf(Ctx* c, std::initializer_list<std::uint32_t> excluded, std::initializer_list<std::uint32_t> chain) {
  OwnPrm p(c, I);
  return Feature(p, p.cap(Cap), excluded, Order, chain);
}

constexpr std::array<AcqValidator, kAcqVicPrmCount> BuildVicTable() {
  std::array<AcqValidator, kAcqVicPrmCount> table{};
  const auto set = [&table](std::uint32_t index, AcqValidator validator) { table[index - 2048] = validator; };
  set(2048, Vic2048);
  set(2049, Vic2049);
  set(2050, Vic2050);
  set(2051, SignedRangeOf<2051, 2055, 2056, CapSet<2054>>);
  set(2052, SignedRangeOf<2052, 2059, 2060, CapSet<2058>>);
  set(2053, SignedRangeOf<2053, 2063, 2064, CapSet<2062>>);
  set(2054, SignedRangeOf<2054, 2067, 2068, CapSet<2066>>);
  set(2055, RangeOf<2055, 2071, 2072, CapSet<2070>>);
  set(2056, RangeOf<2056, 2075, 2076, CapSet<2074>>);
  set(2057, RangeOf<2057, 2079, 2080, CapSet<2078>>);
  set(2058, RangeOf<2058, 2083, 2084, CapSet<2082>>);
  set(2059, SignedRangeOf<2059, 2087, 2088, CapSet<2086>>);
  set(2060, RangeOf<2060, 2091, 2092, CapSet<2090>>);
  set(2061, AvailableOf<2061, 2094>);
  set(2063, AvailableOf<2063, 2096>);
  set(2075, AvailableOf<2075, 2126>);
  set(2089, AvailableOf<2089, 2130>);
  set(2172, AvailableOf<2172, 2257>);
  set(2062, BelowOf<2062, 2095, Enabled<2094, 2061>>);
  set(2064, RangeOf<2064, 2097, 2098, Enabled<2096, 2063>>);
  for (std::uint32_t index : {2065, 2067, 2069, 2071, 2099}) set(index, AcqCheckFrameGeometry);
  for (std::uint32_t index : {2066, 2068, 2070, 2072, 2100}) set(index, AcqValidateVerticalGroup);
  set(2073, Vic2073);
  set(2074, Vic2074);
  set(2076, Vic2076);
  set(2077, [](Ctx* c) { return FeatureOf<2077, 2134>(c, {}, {2078, 2080, 2081, 2133, 2079, 2114}); });
  set(2078, GatedMaskOf<2078, 2127, Enabled<2134, 2077>>);
  set(2079, GatedMaskOf<2079, 2135, Enabled<2134, 2077>>);
  set(2114, GatedMaskOf<2114, 2177, Enabled<2134, 2077>>);
  set(2080, RangeOf<2080, 2136, 2137, Enabled<2134, 2077>>);
  set(2081, RangeOf<2081, 2138, 2139, Enabled<2134, 2077>>);
  set(2133, RangeOf<2133, 2197, 2198, Enabled<2134, 2077>>);
  set(2082, [](Ctx* c) { return FeatureOf<2082, 60, Exc::first>(c, {2084, 2086, 2087}, {31, 2083, 32}); });
  set(2083, Vic2083);
  set(2084, [](Ctx* c) {
    return FeatureOf<2084, 61>(c, {2082, 2086, 2087}, {33, 2085, 34, 75, 76, 70, 71, 72, 110});
  });
  set(2085, Vic2085);
  set(2086, [](Ctx* c) { return FeatureOf<2086, 62, Exc::first>(c, {2082, 2084, 2087}, {35, 36, 37, 110}); });
  set(2087, [](Ctx* c) { return FeatureOf<2087, 63, Exc::first>(c, {2082, 2086, 2084}, {38, 39, 40, 110}); });
  set(2088, Vic2088);
  set(2090, Vic2090);
  set(2091, Vic2091);
  set(2092, Vic2092);
  set(2093, TextOf<2093>);
  set(2094, NoCheckOf<2094>);
  set(2117, NoCheckOf<2117>);
  set(2118, NoCheckOf<2118>);
  set(2095, GatedMaskOf<2095, 2133, Area8>);
  set(2113, GatedMaskOf<2113, 2176, Area8>);
  set(2096, RangeOf<2096, 2143, 2144, Vic2096Gate>);
  set(2097, RangeOf<2097, 2145, 2146, Vic2096Gate>);
  set(2098, Untouched);
  set(2143, Untouched);
  set(2101, [](Ctx* c) { return FeatureOf<2101, 72>(c, {2103}, {42, 2102, 44, 80, 43, 78, 79, 77}); });
  set(2102, RangeOf<2102, 2166, 2167, Enabled<72, 2101>>);
  set(2103, [](Ctx* c) { return FeatureOf<2103, 77>(c, {2101}, {45, 46, 47, 48}); });
  set(2104, [](Ctx* c) { return FeatureOf<2104, 2168>(c, {}, {2105, 2115, 2144, 2149, 2150}); });
  set(2105, GatedMaskOf<2105, 2169, Enabled<2168, 2104>>);
  set(2115, GatedMaskOf<2115, 2178, Enabled<2168, 2104>>);
  set(2106, [](Ctx* c) { return FeatureOf<2106, 2170>(c, {2109, 2123}, {2107, 2116, 2145}); });
  set(2107, GatedMaskOf<2107, 2171, Enabled<2170, 2106>>);
  set(2116, GatedMaskOf<2116, 2179, Enabled<2170, 2106>>);
  set(2108, CheckSnapCount);
  set(2109, [](Ctx* c) { return FeatureOf<2109, 2173>(c, {2106, 2123}, {2110}); });
  set(2110, Vic2110);
  set(2111, Vic2111);
  set(2112, MaskOf<2112, 2174>);
  set(2162, MaskOf<2162, 2235>);
  set(2163, MaskOf<2163, 2236>);
  set(2119, Vic2119);
  set(2120, GatedMaskOf<2120, 2181, NonZero<2119>>);
  set(2121, GatedMaskOf<2121, 2182, NonZero<2119>>);
  set(2122, RangeOf<2122, 2184, 2185, Enabled<2183, 2123>>);
  set(2123, [](Ctx* c) { return FeatureOf<2123, 2186>(c, {2106, 2109}, {2122, 2141, 2145}); });
  set(2124, CheckExtTriggerFrameCount);
  set(2125, [](Ctx* c) { return FeatureOf<2125, 2188>(c, {}, {2126}); });
  set(2126, Vic2126);
  set(2127, DeviceRefOf<2127>);
  set(2128, DeviceRefOf<2128>);
  set(2129, DeviceRefOf<2129>);
  set(2130, DeviceRefOf<2130>);
  set(2131, DeviceRefOf<2131>);
  set(2132, DeviceRefOf<2132>);
  set(2134, Vic2134);
  set(2135, StrictMaskOf<2135, 2200>);
  set(2173, StrictMaskOf<2173, 2258>);
  set(2177, StrictMaskOf<2177, 2263>);
  set(2136, SignedRangeOf<2136, 2202, 2203, CapSet<2201>>);
  set(2137, RangeOf<2137, 2204, 2205, Vic2137Gate>);
  set(2138, RangeOf<2138, 2206, 2207, Enabled<61, 2084>>);
  set(2139, RangeOf<2139, 2208, 2209, Enabled<63, 2087>>);
  set(2140, RangeOf<2140, 2210, 2211, Enabled<62, 2086>>);
  set(2141, GatedMaskOf<2141, 2212, Enabled<2186, 2123>>);
  set(2142, [](Ctx* c) { return FeatureOf<2142, 111>(c, {}, {99}); });
  set(2144, BelowOf<2144, 2213, Enabled<2213, 2104>>);
  set(2145, BelowOf<2145, 2214, Vic2145Gate>);
  set(2146, BelowOf<2146, 2215, Vic2146Gate>);
  set(2147, Vic2147);
  set(2148, Vic2148);
  set(2149, RangeOf<2149, 2221, 2222, Vic2149Gate>);
  set(2150, GatedMaskOf<2150, 2223, Vic2150Gate>);
  set(2151, [](Ctx* c) { return FeatureOf<2151, 2224>(c, {}, {2152, 2153, 2154, 2155}); });
  set(2152, GatedMaskOf<2152, 2225, Enabled<2224, 2151>>);
  set(2153, SignedRangeOf<2153, 2226, 2227, Vic2151Range<2227>>);
  set(2154, SignedRangeOf<2154, 2226, 2227, Vic2151Range<2227>>);
  set(2155, SignedRangeOf<2155, 2226, 2227, Vic2151Range<2227>>);
  set(2156, SignedRangeOf<2156, 2228, 2229, CapSet<2229>>);
  set(2157, SignedRangeOf<2157, 2228, 2229, CapSet<2229>>);
  set(2158, SignedRangeOf<2158, 2228, 2229, CapSet<2229>>);
  set(2159, SingleFlagOf<2159, 2231>);
  set(2160, SingleFlagOf<2160, 2232>);
  set(2161, RangeOf<2161, 2233, 2234, Equals<2092, 8>>);
  set(2167, RangeOf<2167, 2237, 2238, Always>);
  set(2168, SignedRangeOf<2168, 2254, 2255, Vic2151Range<2255>>);
  set(2169, SignedRangeOf<2169, 2245, 2246, Vic2151Range<2246>>);
  set(2170, SignedRangeOf<2170, 2248, 2249, Vic2151Range<2249>>);
  set(2171, SignedRangeOf<2171, 2251, 2252, Vic2151Range<2252>>);
  set(2174, Vic2174);
  set(2176, Vic2176);
  // No entry (no check, the bit stays): 2164, 2165, 2166, 2175.
  return table;
}

}  // namespace

constexpr std::array<AcqValidator, kAcqVicPrmCount> VicPrmValidatorTable = BuildVicTable();

QelStatus InstallVicValidatorTable(othStruct* table) {
  if (table != nullptr) table->vicValidators = VicPrmValidatorTable.data();
  return 0;
}

std::uint32_t CheckSnapCount(AcqValidationContext* context) {
  OwnPrm p(context, 2108);
  if (p.cap(2172) == 0) return 0;
  const std::uint32_t maximum = p.cap(2259);
  if (maximum == 0) {
    LogPutLog(kQelLogWarning, kLogSource, __LINE__, "CheckSnapCount: QELACQ_CAP_SNAP_COUNT_MAX is not initialized.");
    return CapNotInitialised(2259);
  }
  return p.v() >= 1 && p.v() <= maximum ? 0 : p.refuse(kQelKindOutOfRange);
}

std::uint32_t CheckExtTriggerFrameCount(AcqValidationContext* context) {
  OwnPrm p(context, 2124);
  const std::uint32_t maximum = p.cap(2260);
  if (p.cap(2187) != 0 && maximum == 0) {
    LogPutLog(kQelLogWarning, kLogSource, __LINE__,
              "CheckExtTriggerFrameCount: QELACQ_CAP_EXT_TRIGGER_FRAME_COUNT_MAX is not initialized.");
    return CapNotInitialised(2260);
  }
  if (!Area8(p) || p.cap(2187) == 0 || p.v() == 0xFFFFFFFFu) return 0;
  return p.v() >= 1 && p.v() <= maximum ? 0 : p.refuse(kQelKindOutOfRange);
}
