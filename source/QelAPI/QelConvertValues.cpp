#include <array>
#include <cstdint>
#include <initializer_list>
#include <utility>

#include "source/QelAPI/QelConvert.h"

namespace {

using Pair = std::pair<std::uint32_t, std::uint32_t>;

std::uint32_t Lookup(std::uint32_t value, std::initializer_list<Pair> pairs, std::uint32_t otherwise) {
  for (const Pair& pair : pairs)
    if (pair.first == value) return pair.second;
  return otherwise;
}

constexpr std::array<Pair, 23> kDataFormats = {{
    {0x01010800, 1},  {0x01021000, 10}, {0x01042000, 14}, {0x03010800, 15}, {0x03021000, 16},
    {0x03810800, 24}, {0x03821000, 25}, {0x03C10800, 18}, {0x61061000, 7},  {0x61071000, 8},
    {0x61081800, 5},  {0x61092000, 6},  {0x610A2000, 11}, {0x610B3000, 21}, {0x610C2000, 19},
    {0x610D1000, 2},  {0x610E1000, 3},  {0x61101000, 3},  {0x61192000, 17}, {0x611B4000, 22},
    {0x611C2000, 23}, {0x611D4000, 26}, {0x611E2000, 27},
}};

}  // namespace

std::uint32_t ConvDataFormatToHw(std::uint32_t format) {
  for (const Pair& pair : kDataFormats)
    if (pair.first == format) return pair.second;
  return 1;
}

std::uint32_t ConvEnum123To124(std::uint32_t value) { return Lookup(value, {{1, 1}, {2, 2}, {3, 4}}, 2); }

std::uint32_t ConvEnum1248To1234(std::uint32_t value) {
  return Lookup(value, {{1, 1}, {2, 2}, {4, 3}, {8, 4}}, 1);
}
std::uint32_t ConvGpioConnectorToHw(std::uint32_t value) { return ConvEnum1248To1234(value); }
std::uint32_t ConvInputLevelToHw(std::uint32_t value) { return ConvEnum1248To1234(value); }
std::uint32_t ConvAcqEnum1248To1234(std::uint32_t value) { return ConvEnum1248To1234(value); }

std::uint32_t ConvDmaCycleModeToHw(std::uint32_t value) { return value <= 5 ? value + 1 : 4; }

std::uint32_t ConvEnumPow2To12345(std::uint32_t value) {
  return Lookup(value, {{1, 1}, {2, 2}, {4, 3}, {8, 4}, {16, 5}}, 1);
}

std::uint32_t ConvEnum1816To132(std::uint32_t value) { return Lookup(value, {{1, 1}, {8, 3}, {16, 2}}, 1); }

std::uint32_t ConvEnum12To12(std::uint32_t value) { return Lookup(value, {{1, 1}, {2, 2}}, 1); }

std::uint32_t ConvTriggerDetectionToHw(std::uint32_t value) {
  return Lookup(value, {{1, 1}, {2, 2}, {4, 4}}, 0);
}

std::uint32_t ConvOutputTypeToHw(std::uint32_t value) { return Lookup(value, {{1, 1}, {2, 2}, {4, 3}}, 0); }

std::uint32_t ConvBitFlagsToHw(std::uint32_t value) {
  if (value == 0) return 8;
  if (value & 0x1) return 1;
  if (value & 0x20) return 2;
  if (value & 0x6) return 4;
  return 1;
}

std::uint32_t ConvEnum15ToHw(std::uint32_t value) {
  return Lookup(value, {{1, 1}, {16, 9}, {22, 9}, {19, 7}, {25, 6}}, 0);
}

std::uint32_t ConvPolarityToHw(std::uint32_t value) { return Lookup(value, {{1, 1}, {2, 2}}, 1); }

std::uint32_t ConvMask7ToHw(std::uint32_t value) { return value & 0x7Fu; }

std::uint32_t ConvEnum124To123(std::uint32_t value) { return Lookup(value, {{1, 1}, {2, 2}, {4, 3}}, 2); }

std::uint32_t ConvTimeBaseToHw(std::uint32_t value) {
  return Lookup(value, {{4, 2}, {8, 4}, {16, 3}, {32, 7}, {64, 8}}, 1);
}

std::uint32_t ConvEnumPow2To1To7(std::uint32_t value) {
  return Lookup(value, {{1, 1}, {4, 3}, {8, 4}, {16, 5}, {32, 6}, {64, 7}}, 2);
}

std::uint32_t ConvEnum1248To4123(std::uint32_t value) {
  return Lookup(value, {{1, 4}, {2, 1}, {4, 2}, {8, 3}}, 1);
}

std::uint32_t ConvEnum12816To5667(std::uint32_t value) {
  return Lookup(value, {{1, 5}, {2, 6}, {8, 6}, {16, 7}}, 5);
}
