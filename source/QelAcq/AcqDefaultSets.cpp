#include "source/QelAcq/AcqDefaultSets.h"

#include <array>
#include <cstring>
#include <initializer_list>

#include "source/QelAcq/AcqPrmId.h"

namespace {

struct Run {
  std::uint32_t first, last, value;
};

constexpr char kNoName[] = "No Name";

constexpr auto kCamRuns = std::to_array<Run>({
    {0, 5, 1},     {6, 6, 8},     {7, 7, 2},     {9, 9, 1},       {10, 15, 0},   {16, 17, 1},  {18, 23, 0},
    {24, 24, 1},   {25, 26, 0},   {27, 28, 1},   {29, 33, 0},     {34, 34, 1},   {35, 40, 0},  {42, 42, 0},
    {43, 43, 1},   {44, 45, 0},   {46, 46, 1},   {47, 48, 0},     {49, 49, 1},   {50, 50, 2},  {51, 58, 1},
    {59, 59, 4},   {60, 60, 1},   {61, 61, 0},   {62, 62, 2},     {63, 63, 0},   {64, 64, 0xFFFFFFFF},
    {65, 65, 0},   {66, 66, 0xFFFFFFFF}, {67, 69, 0}, {70, 70, 1},  {71, 72, 0},   {74, 76, 0},  {77, 77, 1},
    {78, 80, 0},   {83, 83, 53550}, {84, 84, 714000}, {85, 93, 0},  {95, 95, 0},   {96, 96, 2},  {97, 98, 0},
    {99, 99, 1},   {100, 108, 1}, {109, 109, 8}, {110, 110, 0},   {113, 118, 0},
});

constexpr auto kVicRuns = std::to_array<Run>({
    {2048, 2048, 0},      {2049, 2049, 255},    {2050, 2050, 1},      {2051, 2054, 0},
    {2055, 2058, 100000}, {2059, 2059, 0},      {2060, 2060, 100000}, {2061, 2070, 0},
    {2071, 2073, 1},      {2074, 2078, 0},      {2079, 2079, 1},      {2080, 2087, 0},
    {2088, 2088, 0x01010800}, {2089, 2091, 0},  {2092, 2092, 1},      {2095, 2095, 4},
    {2096, 2097, 0},      {2099, 2100, 1},      {2101, 2107, 0},      {2108, 2108, 1},
    {2109, 2110, 0},      {2111, 2116, 1},      {2119, 2119, 0},      {2120, 2121, 1},
    {2122, 2123, 0},      {2124, 2124, 1},      {2125, 2125, 0},      {2126, 2126, 60},
    {2127, 2132, 0xFFFFFFFF}, {2133, 2133, 0},  {2134, 2134, 1},      {2135, 2140, 0},
    {2141, 2141, 2},      {2142, 2142, 0},      {2144, 2146, 0},      {2147, 2147, 1},
    {2148, 2149, 0},      {2150, 2150, 4},      {2151, 2163, 0},      {2167, 2174, 0},
    {2176, 2177, 0},
});

// One parameter: its value in the first word, the rest of its span zero.
QelStatus WriteWord(const AcqDefaultWriter& write, std::uint32_t index, std::uint32_t value) {
  std::array<std::uint32_t, 288> words{};
  words[0] = value;
  return write(index, words.data());
}

QelStatus WriteText(const AcqDefaultWriter& write, std::uint32_t index, const char* text) {
  std::array<char, 4 * 288> bytes{};
  std::memcpy(bytes.data(), text, std::strlen(text));
  return write(index, bytes.data());
}

template <std::size_t N>
QelStatus WriteRuns(const AcqDefaultWriter& write, const std::array<Run, N>& runs) {
  for (const Run& run : runs)
    for (std::uint32_t index = run.first; index <= run.last; ++index) {
      const QelStatus status = WriteWord(write, index, run.value);
      if (status != 0) return status;
    }
  return 0;
}

}  // namespace

QelStatus AcqWriteCamDefaultSet(const AcqDefaultWriter& write) {
  for (std::uint32_t index : {41u, 81u, 82u}) {
    const QelStatus status = WriteText(write, index, kNoName);
    if (status != 0) return status;
  }
  for (std::uint32_t index : {73u, 94u}) {
    const QelStatus status = WriteWord(write, index, 0);
    if (status != 0) return status;
  }
  return WriteRuns(write, kCamRuns);
}

QelStatus AcqWriteVicDefaultSet(const AcqDefaultWriter& write) {
  const QelStatus status = WriteText(write, 2093, kNoName);
  return status != 0 ? status : WriteRuns(write, kVicRuns);
}
