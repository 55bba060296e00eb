// Parameter and capability identifiers of acquisition devices, and the word
// tables that place every parameter and capability in its block.
//
// An id is (index << 16) | size in bytes. Camera (CAM) parameters have the
// indexes 0-119, video-input (VIC) parameters 2048-2177, acquisition-level
// parameters 0x700-0x70d. CAM capabilities are 0-127, VIC capabilities
// 2048-2263, acquisition-level capabilities 0x700-0x70f. The CAM and VIC
// ranges never overlap, so one index tells both the kind and the entry.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>

using AcqPrmId = std::uint32_t;

constexpr std::uint32_t AcqPrmIndex(AcqPrmId id) { return id >> 16; }
constexpr std::uint32_t AcqPrmSize(AcqPrmId id) { return id & 0xFFFFu; }
constexpr AcqPrmId AcqMakePrmId(std::uint32_t index, std::uint32_t size) { return (index << 16) | size; }

inline constexpr std::uint32_t kAcqCamPrmCount = 120;
inline constexpr std::uint32_t kAcqVicPrmFirst = 2048;
inline constexpr std::uint32_t kAcqVicPrmCount = 130;
inline constexpr std::uint32_t kAcqCamPrmWords = 467;
inline constexpr std::uint32_t kAcqVicPrmWords = 173;

inline constexpr std::uint32_t kAcqCamCapCount = 128;
inline constexpr std::uint32_t kAcqVicCapFirst = 2048;
inline constexpr std::uint32_t kAcqVicCapCount = 216;  // 2048-2263
inline constexpr std::uint32_t kAcqCamCapWords = 276;
inline constexpr std::uint32_t kAcqVicCapWords = 279;
inline constexpr std::uint32_t kAcqLevelFirst = 0x700;
inline constexpr std::uint32_t kAcqLevelCapCount = 16;

constexpr bool AcqIsCamPrm(std::uint32_t index) { return index < kAcqCamPrmCount; }
constexpr bool AcqIsVicPrm(std::uint32_t index) {
  return index >= kAcqVicPrmFirst && index < kAcqVicPrmFirst + kAcqVicPrmCount;
}
constexpr bool AcqIsCamCap(std::uint32_t index) { return index < kAcqCamCapCount; }
constexpr bool AcqIsVicCap(std::uint32_t index) {
  return index >= kAcqVicCapFirst && index < kAcqVicCapFirst + kAcqVicCapCount;
}

namespace acq_layout {

struct Span {
  std::uint32_t entry;  // entry number in its table (index - first index)
  std::uint32_t words;
};

// Word offsets of N entries (and the end entry): one word each except the spans.
template <std::size_t N>
constexpr std::array<std::uint32_t, N + 1> Offsets(std::initializer_list<Span> spans) {
  std::array<std::uint32_t, N + 1> table{};
  std::uint32_t word = 0;
  for (std::size_t entry = 0; entry < N; ++entry) {
    table[entry] = word;
    std::uint32_t words = 1;
    for (const Span& span : spans)
      if (span.entry == entry) words = span.words;
    word += words;
  }
  table[N] = word;
  return table;
}

}  // namespace acq_layout

// Parameter value words: entry i spans table[i + 1] - table[i] words.
inline constexpr std::array<std::uint32_t, kAcqCamPrmCount + 1> CamPrmOffsetTable =
    acq_layout::Offsets<kAcqCamPrmCount>({{41, 16}, {73, 288}, {81, 8}, {82, 8}, {94, 32}});
inline constexpr std::array<std::uint32_t, kAcqVicPrmCount + 1> VicPrmOffsetTable =
    acq_layout::Offsets<kAcqVicPrmCount>({{2093 - 2048, 16}, {2164 - 2048, 8}, {2165 - 2048, 8},
                                          {2166 - 2048, 8}, {2175 - 2048, 8}});

// Capability words: CAM capability 6 is the data-format list, VIC capability
// 2128 the output-format list.
inline constexpr std::array<std::uint32_t, kAcqCamCapCount + 1> CamCapOffsetTable =
    acq_layout::Offsets<kAcqCamCapCount>({{6, 128}, {117, 12}, {118, 4}, {119, 8}});
inline constexpr std::array<std::uint32_t, kAcqVicCapCount + 1> VicCapOffsetTable =
    acq_layout::Offsets<kAcqVicCapCount>({{2128 - 2048, 64}});

static_assert(CamPrmOffsetTable[42] == 57 && CamPrmOffsetTable[73] == 88 && CamPrmOffsetTable[74] == 376);
static_assert(CamPrmOffsetTable[81] == 383 && CamPrmOffsetTable[82] == 391 && CamPrmOffsetTable[83] == 399);
static_assert(CamPrmOffsetTable[94] == 410 && CamPrmOffsetTable[95] == 442 && CamPrmOffsetTable[119] == 466);
static_assert(CamPrmOffsetTable[120] == kAcqCamPrmWords);
static_assert(VicPrmOffsetTable[2094 - 2048] == 61 && VicPrmOffsetTable[2164 - 2048] == 131);
static_assert(VicPrmOffsetTable[2165 - 2048] == 139 && VicPrmOffsetTable[2166 - 2048] == 147);
static_assert(VicPrmOffsetTable[2167 - 2048] == 155 && VicPrmOffsetTable[2175 - 2048] == 163);
static_assert(VicPrmOffsetTable[2176 - 2048] == 171 && VicPrmOffsetTable[2177 - 2048] == 172);
static_assert(VicPrmOffsetTable[130] == kAcqVicPrmWords);
static_assert(CamCapOffsetTable[7] == 134 && CamCapOffsetTable[117] == 244 && CamCapOffsetTable[118] == 256);
static_assert(CamCapOffsetTable[119] == 260 && CamCapOffsetTable[120] == 268);
static_assert(CamCapOffsetTable[128] == kAcqCamCapWords);
static_assert(VicCapOffsetTable[2129 - 2048] == 144 && VicCapOffsetTable[2263 - 2048] == 278);
static_assert(VicCapOffsetTable[216] == kAcqVicCapWords);

// Span of a parameter in words; 0 for an index that names no parameter.
constexpr std::uint32_t AcqPrmSpanWords(std::uint32_t index) {
  if (AcqIsCamPrm(index)) return CamPrmOffsetTable[index + 1] - CamPrmOffsetTable[index];
  if (AcqIsVicPrm(index)) {
    const std::uint32_t entry = index - kAcqVicPrmFirst;
    return VicPrmOffsetTable[entry + 1] - VicPrmOffsetTable[entry];
  }
  return 0;
}

// The id of a CAM or VIC parameter with its own size.
constexpr AcqPrmId AcqPrmIdOf(std::uint32_t index) { return AcqMakePrmId(index, 4 * AcqPrmSpanWords(index)); }

// Checks a CAM or VIC parameter id: 0 when its index names a parameter and its
// size field equals the parameter's span; else the detail of an undefined
// parameter, ((index & 0xFFF) << 8) | 0x28, to which the caller adds its
// module part. A size that differs is refused rather than trusted, so that no
// copy ever runs past the caller's buffer or the parameter.
constexpr std::uint32_t AcqCheckPrmId(AcqPrmId id) {
  const std::uint32_t index = AcqPrmIndex(id);
  const std::uint32_t span = AcqPrmSpanWords(index);
  if (span != 0 && AcqPrmSize(id) == 4 * span) return 0;
  return ((index & 0xFFFu) << 8) | 0x28u;
}
