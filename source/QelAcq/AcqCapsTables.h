// The capability words that do not depend on the board, and where the board's
// acquisition window capabilities go. Internal to the capability computation.
//
// Words the rules leave to us, and why each holds what it holds:
// - CAM 29 and 32 (maxima of CAM 18 and CAM 19, the camera's vertical sync
//   and back porch): 0xFFFFFF, the widest the board's 24-bit counters take,
//   as for the other timing maxima; 0 would refuse every standard format,
//   which starts both at 1.
// - CAM 84 (most taps): 16, the most taps of the board library's standard
//   formats (the 16-tap parallel camera); no device's default exceeds it.
// - VIC 2100, 2101 (window X minimum and maximum), 2110, 2111 (window height
//   minimum and maximum), 2114, 2115, 2120, 2122, 2123 (output sizes and
//   ratio of the scalers): from the window capabilities record as mapped
//   below. The board has no scaler (VIC 2162 and 2163 are 0), so the output
//   and ratio words are never consulted by a check.
// - VIC 2127 (strobe methods): 0x1F, every method the strobe record knows;
//   VIC 2134 (strobe output present): 1.
// - VIC 2176 and 2178 (trigger input levels of the frame and line triggers)
//   and VIC 2200 (strobe output types): EEPROM bytes 89 and 88, the board's
//   input-level and output-type capabilities (set by the computation).
// - VIC 2222, 2223 (trigger time-base range and mask): 65535 and 0xF.
// - VIC 2224-2227 (the on-board Bayer decoder and its white-balance gains):
//   absent on mono and colour devices; on Bayer devices present, pattern mask
//   33 (the 1 and 32 the defaults take), gains 100000 to 899609: a gain of
//   100000 is 1 (the defaults' 100000 leave the colours as they are), and
//   the decoder takes gains from 1 to 9 x 256 - 1 in 1/256 units; the Bayer
//   apply divides the gains by the minimum, so a minimum of 0 would hand
//   the decoder gains it refuses.
// - VIC 2126 (the input LUT, whose enable VIC 2075 and index VIC 2076 it
//   announces): 1 when the board's LUT type gives a LUT, else 0.
// - VIC 2257 (Power over Camera Link, announcing VIC 2172): 1 unless EEPROM
//   byte 12 has bit 5, the boards without it (as VIC 2172's default and the
//   acquisition-level capability 0x703 have it).
// - Every other word no rule names (VIC 2175, 2213-2215, 2228-2230,
//   2239-2256; CAM 8, 90, 114, 116, 118-120, 127): 0, the feature absent;
//   no check reads a word of an absent feature.
#pragma once

#include <array>
#include <cstdint>
#include <utility>

using AcqCapWord = std::pair<std::uint32_t, std::uint32_t>;

inline constexpr std::uint32_t kAcqWide = 0xFFFFFF;
inline constexpr std::uint32_t kAcqNoLimit = 0xFFFFFFFE;  // -2
inline constexpr std::uint32_t kAcqAll = 0xFFFFFFFF;      // -1

inline constexpr auto kAcqCommonCamCaps = std::to_array<AcqCapWord>({
    {0, 3},           {1, 2},          {2, 2},          {3, 3},          {4, 2},          {5, 1},
    {7, 1},           {10, 1},         {11, kAcqWide},  {12, 1},         {13, 1},         {14, kAcqAll},
    {15, 1},          {16, 1},         {17, kAcqWide},  {18, 1},         {19, 0},         {20, kAcqAll},
    {21, 1},          {22, 0},         {23, 0},         {24, 1},         {25, 0},         {26, 0},
    {27, 1},          {28, 0},         {29, kAcqWide},  {30, 1},         {31, 0},         {32, kAcqWide},
    {33, 1},          {34, 0},         {36, 1},         {37, 0},         {39, 1},         {40, 0},
    {41, kAcqWide},   {42, 1},         {43, 0},         {44, kAcqWide},  {45, 1},         {46, 2},
    {51, 0},          {52, 4},         {53, 1},         {54, 1},         {55, 3},         {56, 1},
    {57, kAcqNoLimit}, {58, 1},        {59, kAcqNoLimit}, {60, 0},       {61, 1},         {62, 1},
    {63, 1},          {64, 0},         {65, 511},       {66, 3},         {67, 1},         {68, 0},
    {69, 3},          {70, 3},         {71, 3},         {72, 1},         {73, 79},        {74, 3},
    {75, 0},          {76, 65535},     {77, 1},         {78, 1},         {79, 3},         {80, 0},
    {81, 65535},      {82, 0},         {83, 65535},     {84, 16},        {85, 8},         {86, 7},
    {87, 127},        {88, 4},         {89, 1},         {91, 3},         {92, 3},         {93, 0},
    {94, kAcqNoLimit}, {95, 0},        {96, kAcqNoLimit}, {97, 0},       {98, kAcqNoLimit}, {99, 1},
    {100, kAcqNoLimit}, {101, 3},      {102, 0},        {103, kAcqNoLimit}, {104, 1},     {105, kAcqNoLimit},
    {106, 1},         {107, kAcqNoLimit}, {110, 2},     {111, 0},        {112, 0},        {113, 1},
    {115, 1},         {117, 0},        {122, 0},        {123, 0},        {124, 0},        {125, 0},
    {126, 0},
});

// Runs of VIC capabilities with one value, then single words.
struct AcqCapRun {
  std::uint32_t first, last, value;
};
inline constexpr auto kAcqCommonVicRuns = std::to_array<AcqCapRun>({
    {2048, 2048, 1},        {2049, 2056, 0},        {2057, 2057, 1},        {2058, 2060, 0},
    {2061, 2061, 1},        {2062, 2064, 0},        {2065, 2065, 1},        {2066, 2068, 0},
    {2069, 2069, 1},        {2070, 2072, 0},        {2073, 2073, 1},        {2074, 2074, 0},
    {2075, 2076, 100000},   {2077, 2077, 1},        {2078, 2078, 0},        {2079, 2080, 100000},
    {2081, 2081, 1},        {2082, 2082, 0},        {2083, 2084, 100000},   {2085, 2085, 1},
    {2086, 2098, 0},        {2099, 2099, 1},        {2103, 2103, 1},        {2113, 2113, 1},
    {2119, 2119, 1},        {2125, 2125, 1},        {2127, 2127, 0x1F},     {2130, 2130, 0},
    {2131, 2131, 9},        {2132, 2132, 1},        {2133, 2133, 15},       {2134, 2134, 1},
    {2135, 2135, 3},        {2136, 2136, 0},        {2137, 2137, kAcqNoLimit}, {2138, 2138, 0},
    {2139, 2139, kAcqNoLimit}, {2140, 2140, 1},     {2141, 2141, kAcqNoLimit}, {2142, 2142, 1},
    {2143, 2147, 0},        {2148, 2149, 2},        {2150, 2150, 0},        {2151, 2151, kAcqWide},
    {2152, 2152, 1},        {2153, 2153, 0},        {2154, 2154, kAcqWide}, {2155, 2155, 1},
    {2156, 2156, 0},        {2157, 2157, kAcqWide}, {2158, 2158, 1},        {2159, 2159, 0},
    {2160, 2160, kAcqWide}, {2161, 2161, 1},        {2162, 2164, 0},        {2165, 2165, 4},
    {2166, 2166, 1},        {2167, 2167, kAcqWide}, {2168, 2168, 1},        {2169, 2169, 111},
    {2170, 2170, 1},        {2171, 2171, 4},        {2172, 2174, 1},        {2177, 2177, 1},
    {2179, 2179, 2},        {2180, 2180, 0},        {2181, 2183, 1},        {2184, 2184, 0},
    {2185, 2185, 255},      {2186, 2189, 1},        {2190, 2190, 0x3FFFFFFF}, {2191, 2197, 0},
    {2198, 2198, kAcqNoLimit}, {2199, 2199, 3},     {2200, 2204, 0},        {2205, 2205, 255},
    {2206, 2206, 0},        {2207, 2207, kAcqNoLimit}, {2208, 2210, 0},     {2211, 2211, kAcqNoLimit},
    {2212, 2212, 2},        {2216, 2217, 1},        {2218, 2218, 32},       {2219, 2219, 0x20000002},
    {2220, 2221, 0},        {2222, 2222, 65535},    {2223, 2223, 0xF},      {2231, 2233, 0},
    {2234, 2234, 65535000}, {2235, 2237, 0},        {2238, 2238, 16383000}, {2257, 2258, 0},
    {2259, 2259, 65535},    {2260, 2260, 65534},    {2261, 2261, 3},        {2262, 2262, 0},
    {2263, 2263, 2},
});

// The board's acquisition window capabilities record (Yat_Digital_GetAcqWindowCaps,
// 23 words after its size word) as this module reads it: w1 the horizontal
// alignment (the internal bus width in pixels); w2-w4 X minimum, maximum and
// step; w5, w6 Y minimum and maximum; w7, w8 the width's minimum unit and
// step (the alignment), w9 its maximum; w10 Y step; w11, w12 the height's
// minimum and maximum, w13 its alignment, w14 its step; w15-w17 the
// horizontal output step and the scaling ratio's lower and upper bounds in
// hundredths; w18-w22 the vertical output minimum and alignment, its step
// and the ratio bounds. Each VIC word takes record word `word` / `divisor`,
// and at least `floor`.
struct AcqWindowCapWord {
  std::uint32_t index, word, divisor, floor;
};
inline constexpr auto kAcqWindowCapWords = std::to_array<AcqWindowCapWord>({
    {2100, 2, 1, 0},    {2101, 3, 1, 0},   {2102, 4, 1, 1},   {2104, 5, 1, 0},   {2105, 6, 1, 0},
    {2106, 10, 1, 1},   {2107, 7, 1, 56},  {2108, 9, 1, 0},   {2109, 8, 1, 1},   {2110, 11, 1, 1},
    {2111, 12, 1, 0},   {2112, 14, 1, 1},  {2114, 18, 1, 1},  {2115, 9, 1, 0},   {2116, 15, 1, 1},
    {2117, 16, 100, 0}, {2118, 17, 100, 0}, {2120, 18, 1, 1}, {2121, 12, 1, 0},  {2122, 20, 1, 1},
    {2123, 21, 100, 0}, {2124, 22, 100, 0},
});

inline constexpr std::array<std::uint32_t, 2> kAcqMonoOutputFormats = {0x1010800, 0x1021000};
// Colour devices: the packed colour formats first, then the planar ones.
inline constexpr std::array<std::uint32_t, 4> kAcqColourOutputFormats = {0x61092000, 0x610A2000, 0x3010800,
                                                                         0x3021000};
inline constexpr std::uint32_t kAcqBinaryOutputFormat = 0x1180100;

inline constexpr auto kAcqBayerVicCaps = std::to_array<AcqCapWord>({
    {2224, 1}, {2225, 33}, {2226, 100000}, {2227, 899609},
});
