// The arbitration record of a camera slot: per list entry the lanes the
// arbitrator takes, the DMA channel it hands the word to, and the byte
// selectors that order the word's bytes.
#include <algorithm>
#include <array>

#include "driver/user/YatLibrary.h"
#include "driver/user/YatPackerArbiter.h"
#include "qellib/QelLog.h"

namespace {

constexpr QelHwStatus kSoftwareError = -14;

struct WordShape {
  std::uint32_t lanes;    // L
  std::uint32_t bits;     // B, bits per word
  std::uint32_t entries;  // E
  std::uint32_t mode;     // Q
};

struct EntryContext {
  const YatPackerTarget& target;
  const YatPackerPlan& plan;
  const WordShape& shape;
  std::span<const std::uint32_t> channels;
};

bool Colour(const YatPackerFormat& f) { return f.colourKind == YAT_COLOUR_KIND; }

std::uint32_t Selector(const YatPackerPlan& plan, std::uint32_t k) {
  return k < YAT_PACKER_LANES ? plan.laneMap[k] : YAT_PACKER_NO_LANE;
}

std::uint32_t LaneBit(std::uint32_t selector) { return selector >= YAT_PACKER_EMPTY_SLOT ? 1u : 1u << selector; }

std::uint32_t Channel(std::span<const std::uint32_t> channels, std::uint32_t n) {
  if (channels.empty()) return 0;
  return channels[std::min<std::size_t>(n, channels.size() - 1)] & 0xF;
}

WordShape ShapeOf(const YatPackerPlan& plan, std::uint32_t entries) {
  const YatPackerFormat& f = plan.format;
  std::uint32_t lanes = std::max<std::uint32_t>(f.taps, 1);
  if (f.tapMultiplier >= 2) lanes = f.taps * f.tapMultiplier * (f.modeWord == 1 ? 2 : 1);
  std::uint32_t depth = f.depth;
  if (f.geometry == YAT_GEOMETRY_INTERLEAVED && lanes >= 2 && f.depth == 8) {
    lanes /= 2;
    depth *= 2;
  }
  if (Colour(f)) depth = f.depth < 16 && plan.code != 22 ? 32 : 64;
  if (f.geometry == YAT_GEOMETRY_PACKED) {
    depth *= lanes;
    lanes = 1;
  }
  return {lanes, (depth + 7) / 8 * 8, entries, plan.mode};
}

std::uint32_t Nibbles(const std::array<std::uint32_t, 8>& values) {
  std::uint32_t word = 0;
  for (std::uint32_t v : values) word = (word << 4) | (v & 0xF);
  return word;
}

// Each listed nibble (from the top position down) is taken from the word as it came.
std::uint32_t Reorder(std::uint32_t word, const std::array<std::uint32_t, 8>& from) {
  std::array<std::uint32_t, 8> values{};
  for (std::size_t i = 0; i < 8; ++i) values[i] = (word >> (4 * from[i])) & 0xF;
  return Nibbles(values);
}

constexpr std::array<std::uint32_t, 8> kSame = {7, 6, 5, 4, 3, 2, 1, 0};
constexpr std::array<std::uint32_t, 8> kHalvesSwapped = {3, 2, 1, 0, 7, 6, 5, 4};
constexpr std::array<std::uint32_t, 8> kPairsSwapped = {6, 7, 4, 5, 2, 3, 0, 1};
constexpr std::array<std::uint32_t, 8> kHalvesReversed = {4, 5, 6, 7, 0, 1, 2, 3};
constexpr std::array<std::uint32_t, 8> kTopThreeReversed = {5, 6, 7, 4, 3, 2, 1, 0};
constexpr std::array<std::uint32_t, 8> kBytesSwapped = {5, 4, 7, 6, 1, 0, 3, 2};

// How a tap of the other polarity orders its bytes.
const std::array<std::uint32_t, 8>& Rearrangement(const YatPackerPlan& plan, bool o, bool bit23) {
  const YatPackerFormat& f = plan.format;
  const bool interleaved = f.geometry == YAT_GEOMETRY_INTERLEAVED;
  const std::uint32_t d = f.depth * (interleaved ? 2 : 1);
  if (Colour(f) && !(f.depth < 9 && f.taps == 1)) return f.taps == 1 ? kSame : kHalvesSwapped;
  if (d >= 20) {
    if (plan.code == 10) return interleaved && o ? kPairsSwapped : kHalvesReversed;
    return interleaved && o ? kSame : kPairsSwapped;
  }
  if (d <= 9) return kHalvesReversed;
  if (d <= 15) return plan.code == 10 || f.colourKind == 7 ? kPairsSwapped : kHalvesReversed;
  if (Colour(f)) return kTopThreeReversed;
  if (interleaved && o) return bit23 ? kSame : kBytesSwapped;
  return kPairsSwapped;
}

// The selector word the format fixes whatever the lanes, if any.
bool FixedSelectors(const YatPackerPlan& plan, std::uint32_t* word) {
  const YatPackerFormat& f = plan.format;
  if (f.colourKind == 5 && f.depth >= 10 && f.geometry == YAT_GEOMETRY_PACKED && f.taps == 4 && plan.code == 1) {
    *word = 0x02460246;
    return true;
  }
  if (Colour(f) && f.depth >= 10 && (plan.code == 11 || plan.code == 22)) {
    *word = plan.code == 11 ? 0x01230123 : 0x23450167;
    return true;
  }
  return false;
}

std::uint32_t WideLaneMask(const EntryContext& c, std::uint32_t e) {
  const YatPackerFormat& f = c.plan.format;
  const std::uint32_t lanes = c.shape.lanes;
  std::uint32_t mask = 0;
  if (lanes >= 9) {
    const std::uint32_t s0 = Selector(c.plan, 0) % YAT_PACKER_LANES;
    for (std::uint32_t i = 0; i < 8; ++i) mask |= 1u << ((s0 + i % lanes) % YAT_PACKER_LANES);
    return mask;
  }
  if (f.geometry != YAT_GEOMETRY_INTERLEAVED && !Colour(f)) {
    if (e != 0) return 0;
    for (std::uint32_t k = 0; k < lanes; ++k) mask |= LaneBit(Selector(c.plan, k));
    return mask;
  }
  const std::uint32_t per = lanes / c.shape.entries;
  for (std::uint32_t k = e * per; k < e * per + per; ++k) {
    std::uint32_t s = Selector(c.plan, k);
    if (k == 1 && (f.depth == 10 || f.depth == 12 || f.depth == 14)) s = f.laneMode == 8 || c.plan.code == 1 ? 3 : 4;
    mask |= LaneBit(s);
  }
  return mask;
}

std::uint32_t WideSelectors(const EntryContext& c, std::uint32_t e, std::uint32_t modulus, std::uint32_t* counter) {
  const YatPackerFormat& f = c.plan.format;
  const auto mod = [&](std::uint32_t s) { return s == YAT_PACKER_EMPTY_SLOT ? s : s % modulus; };
  std::array<std::uint32_t, 8> values{};
  const std::uint32_t step = std::max<std::uint32_t>(c.shape.bits / 8, 1);
  for (std::uint32_t i = 0; i < 8; ++i) {
    if (c.shape.lanes >= 9) {
      values[i] = Selector(c.plan, *counter);
      *counter = (*counter + 1) % step;
    } else if (Colour(f) && c.shape.entries == 1) {
      values[i] = mod(Selector(c.plan, e + i));
    } else if (Colour(f)) {
      values[i] = mod(Selector(c.plan, 4 * e + i % 4));
    } else {
      const std::uint32_t s = Selector(c.plan, e);
      values[i] = s == YAT_PACKER_EMPTY_SLOT ? s : s + i;
    }
  }
  return Nibbles(values);
}

struct Entry {
  std::uint32_t control;
  std::uint32_t selector;
  std::uint32_t tap;
};

Entry WideEntry(const EntryContext& c, std::uint32_t e, std::uint32_t* counter) {
  const YatPackerFormat& f = c.plan.format;
  const WordShape& w = c.shape;
  const std::uint32_t step = w.bits / 8;
  std::uint32_t mode = w.entries == 1 ? 2 : step < 5 ? 1 : 3;
  std::uint32_t modulus = 4;
  if (w.lanes < 9) mode = 2;
  const bool packedWide = w.lanes * w.bits > 32 && (f.geometry == YAT_GEOMETRY_PACKED || (Colour(f) && w.entries == 1));
  if (packedWide) {
    modulus = 8;
    mode = 3;
  }
  if (Colour(f) && w.entries >= 2) modulus = 8;
  const std::uint32_t control = WideLaneMask(c, e) | (w.lanes != 10 ? 1u << 10 : 0) | (1u << 12) |
                                Channel(c.channels, e) << 13 | mode << 17;
  return {control, WideSelectors(c, e, modulus, counter), e};
}

bool NarrowEntry(const EntryContext& c, std::uint32_t e, Entry* entry) {
  const std::uint32_t ratio = c.shape.entries / c.shape.lanes;
  if (ratio == 0) return false;
  const std::uint32_t q = (e / ratio) % c.shape.lanes;
  const std::uint32_t s = Selector(c.plan, q);
  std::array<std::uint32_t, 8> values{};
  for (std::uint32_t i = 0; i < 8; ++i) values[i] = (s + i % 4) % 8;
  entry->control = LaneBit(s) | (1u << 10) | Channel(c.channels, q) << 13 | 2u << 17;
  entry->selector = Nibbles(values);
  entry->tap = q;
  return true;
}

void ApplyPolarity(const EntryContext& c, Entry* entry) {
  const YatPackerFormat& f = c.plan.format;
  const bool o = (f.optionWord & 1) != 0;
  const bool wide = c.shape.bits > 16;
  const bool interleaved = f.geometry == YAT_GEOMETRY_INTERLEAVED;
  const bool mono = !Colour(f);
  std::uint32_t fixed = 0;
  if (FixedSelectors(c.plan, &fixed)) {
    entry->selector = fixed;
    if (mono) entry->control = (entry->control & ~(3u << 17)) | 2u << 17;
  } else {
    const std::uint32_t tap = entry->tap * (interleaved && f.taps >= 2 ? 2 : 1);
    const bool t = (f.tapFlags[std::min<std::uint32_t>(tap, 7)] & 2) != 0;
    if (t != o && (!wide || t || mono)) {
      entry->control |= 1u << 23;
      entry->selector = Reorder(entry->selector, Rearrangement(c.plan, o, true));
    } else if (t && o && (c.shape.mode & 0xC0000000) != 0) {
      entry->selector = Reorder(entry->selector, Rearrangement(c.plan, o, false));
    }
  }
  if (o && interleaved && ((mono && f.depth >= 10) || (!mono && f.depth == 8))) entry->control |= 1u << 24;
}

}  // namespace

QelHwStatus Yat_Packer_Arbitration(const YatPackerTarget& target, const YatPackerPlan& plan,
                                   std::span<const std::uint32_t> channels, PackerArbitration* record) {
  if (record == nullptr) return QELHW_ERROR_ARG_INVALID;
  std::uint32_t entries = 0;
  const QelHwStatus status = Yat_Packer_EntryCount(plan.format, plan.code, &entries);
  if (status != QELHW_OK) return status;
  const WordShape shape = ShapeOf(plan, entries);
  const EntryContext context{target, plan, shape, channels};
  const std::uint8_t active = record->active;
  *record = PackerArbitration{};
  record->active = active;
  record->entryCount = entries;
  std::uint32_t counter = 0;
  for (std::uint32_t e = 0; e < entries; ++e) {
    Entry entry{};
    if (shape.bits > 16) {
      entry = WideEntry(context, e, &counter);
    } else if (!NarrowEntry(context, e, &entry)) {
      LogPutLog(kQelLogError, __FILE__, __LINE__, "%s,Yat_FPGA_Packer_ComputeArbitrator: Error", kPardowLabel);
      return kSoftwareError;
    }
    entry.control |= (e + 1 == entries ? YAT_ARBITER_LAST_ENTRY : 0) | (target.camera & 0xF) << 19;
    ApplyPolarity(context, &entry);
    record->entries[e] = {entry.control, entry.selector};
  }
  return QELHW_OK;
}
