// The default camera (CAM) and video-input (VIC) parameters of a device: the
// board library's standard video format that the board's options select, and
// fixed values. Words the rules leave to us are chosen beside them.
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <span>
#include <utility>

#include "driver/user/Pardow.h"
#include "source/QelAPI/QelConvert.h"
#include "source/QelAcq/AcqBoardInputs.h"
#include "source/QelAcq/AcqCaps.h"
#include "source/QelAcq/AcqCapsTables.h"
#include "source/QelAcq/AcqDeviceOps.h"
#include "source/QelAcq/AcqPrmAccess.h"

namespace {

using Record = std::array<std::uint8_t, kAcqStdVideoFormatSize>;

constexpr std::uint32_t kRegPoclEnable = 0x10028;
constexpr std::uint32_t kMonoFormat8 = 0x1010800;
constexpr std::uint32_t kMonoFormat16 = 0x1021000;
constexpr std::uint32_t kColourFormat = 0x61092000;

std::uint32_t Field(const Record& record, std::uint32_t byte) {
  std::uint32_t value;
  std::memcpy(&value, record.data() + byte, sizeof value);
  return value;
}

void SetField(Record& record, std::uint32_t byte, std::uint32_t value) {
  std::memcpy(record.data() + byte, &value, sizeof value);
}

// The standard the board's options select; 0 when none.
std::uint32_t ChooseStandard(const AcqBoardInputs& in) {
  std::uint32_t standard = 0;
  if (in.option(5) || in.option(15)) {
    standard = 4;
  } else if (in.option(2)) {
    if (in.f(0)) standard = 3;
    else if (in.f(2)) standard = 1;
    else if (in.f(3)) standard = 2;
  }
  if (in.option(0)) {
    if (in.f(0)) standard = 1;
    else if (in.f(1)) standard = 2;
    else if (in.f(14)) standard = 6;
    else if (in.f(12)) standard = 7;
  }
  if (in.option(4)) standard = 5;
  return standard;
}

void FromStandard(AcqValidationContext* c, const Record& r, std::uint32_t standard) {
  for (const auto& [index, byte] : std::to_array<std::pair<std::uint32_t, std::uint32_t>>(
           {{3, 236}, {6, 80}, {10, 24}, {11, 16}, {12, 44}, {13, 32}, {14, 12}, {15, 20}, {18, 28}, {19, 36},
            {25, 8}, {26, 8}, {27, 8}, {49, 84}, {88, 104}, {108, 240}, {2068, 44}, {2069, 24}, {2070, 44}}))
    AcqSetPrm(c, index, Field(r, byte));
  AcqSetPrm(c, 50, ConvEnum123To124(Field(r, 100)));
  if (standard == 4 || standard == 5) AcqSetPrm(c, 88, 0);
}

constexpr auto kFixedCam = std::to_array<AcqCapRun>({
    {0, 0, 1},    {1, 2, 2},    {4, 4, 2},    {5, 5, 1},      {7, 7, 1},        {8, 8, 0},     {16, 16, 0},
    {17, 17, 1},  {20, 23, 0},  {24, 24, 2},  {28, 28, 4},    {29, 30, 1},      {31, 31, 0},   {33, 33, 0},
    {35, 35, 0},  {38, 38, 0},  {42, 42, 0},  {43, 43, 1},    {44, 45, 0},      {46, 46, 1},   {47, 47, 0},
    {48, 48, 1},  {51, 58, 21}, {59, 59, 4},  {60, 60, 1},    {62, 62, 2},      {63, 63, 1},   {64, 64, kAcqWide},
    {65, 65, 1},  {66, 66, kAcqNoLimit}, {67, 69, 0}, {71, 71, 0}, {72, 72, 1}, {74, 75, 0},   {76, 77, 1},
    {78, 78, 0},  {79, 80, 1},  {83, 85, 0},  {86, 86, 0x1020001}, {87, 87, 0}, {89, 89, 64},  {90, 90, 16},
    {91, 93, 1},  {94, 94, 0},  {96, 96, 2},  {97, 99, 0},    {100, 107, 21},   {109, 110, 0}, {114, 118, 0},
});

constexpr auto kFixedVic = std::to_array<AcqCapRun>({
    {2048, 2048, 0},        {2049, 2049, 255},      {2050, 2050, 1},        {2051, 2054, 0},
    {2055, 2058, 100000},   {2059, 2059, 0},        {2060, 2060, 100000},   {2061, 2063, 0},
    {2064, 2064, 5500000},  {2065, 2066, 0},        {2071, 2073, 1},        {2074, 2078, 0},
    {2079, 2079, 1},        {2081, 2082, 0},        {2083, 2083, 1},        {2084, 2084, 0},
    {2086, 2087, 0},        {2089, 2091, 0},        {2092, 2092, 1},        {2095, 2095, 4},
    {2096, 2097, 0},        {2099, 2100, 2},        {2101, 2101, 0},        {2102, 2102, 1},
    {2103, 2104, 0},        {2105, 2105, 8},        {2106, 2106, 0},        {2107, 2107, 4},
    {2108, 2108, 1},        {2109, 2109, 0},        {2110, 2110, 5000},     {2111, 2112, 1},
    {2113, 2113, 2},        {2114, 2114, 1},        {2115, 2116, 2},        {2117, 2117, 245},
    {2118, 2118, 500000},   {2119, 2119, 0},        {2120, 2121, 1},        {2122, 2123, 0},
    {2124, 2124, 1},        {2125, 2125, 0},        {2126, 2126, 30000},    {2127, 2132, kAcqAll},
    {2133, 2133, 0},        {2134, 2134, 1},        {2135, 2140, 0},        {2141, 2141, 2},
    {2142, 2146, 0},        {2147, 2147, 1},        {2148, 2149, 0},        {2150, 2150, 4},
    {2151, 2151, 0},        {2152, 2152, 1},        {2153, 2155, 100000},   {2156, 2171, 0},
    {2173, 2177, 0},
});

void Fixed(AcqValidationContext* c, const AcqBoardInputs& in) {
  for (const auto& runs : {std::span<const AcqCapRun>(kFixedCam), std::span<const AcqCapRun>(kFixedVic)})
    for (const AcqCapRun& run : runs)
      for (std::uint32_t index = run.first; index <= run.last; ++index) AcqSetPrm(c, index, run.value);
  AcqSetPrm(c, 9, in.f(12) ? 16 : 4);
  AcqSetPrm(c, 61, in.option(5) || in.option(15) ? 1 : 0);
  AcqSetPrm(c, 113, in.option(4) ? 5 : 0);
  // The camera-control and data-valid polarities none of the standard formats sets.
  for (std::uint32_t index : {32u, 34u, 36u, 70u, 95u}) AcqSetPrm(c, index, 0);
}

// The window spans the whole line (taps x pixels per tap); the strobe delay
// starts at its minimum; the pulse width of the camera control at the
// smallest value both its capability and CAM 65 allow; the transfer format
// is the output format.
void Derived(AcqValidationContext* c) {
  AcqSetPrm(c, 40, AcqGetCap(c, 58));
  if (AcqGetCap(c, 63) == 0) AcqSetPrm(c, 39, 1);
  else AcqSetDefaultFromCap(c, (71u << 16) | 4, (39u << 16) | 4);
  AcqSetPrm(c, 2067, AcqNewPrm(c, 10) * AcqNewPrm(c, 49));
  AcqSetPrm(c, 2080, AcqGetCap(c, 2136));
  AcqSetPrm(c, 2085, std::max(AcqGetCap(c, 2140), AcqNewPrm(c, 65)));
  AcqSetPrm(c, 2098, AcqNewPrm(c, 2088));
}

QelStatus PowerOverCameraLink(AcqValidationContext* c, const AcqBoardInputs& in) {
  if ((in.byte(12) & 0x20) != 0) {
    AcqSetPrm(c, 2172, 0);
    return 0;
  }
  std::uint32_t value = 0;
  const QelStatus status = TranslateStatus(
      Yat_FPGA_ReadDataReg(AcqBoardOf(c), 0, kRegPoclEnable + 4 * AcqConnectorOf(c), &value));
  AcqSetPrm(c, 2172, value & 1);
  return status;
}

}  // namespace

void AcqSetDefaultFromCap(AcqValidationContext* context, std::uint32_t capId, std::uint32_t prmId) {
  const std::uint32_t cap = AcqGetCap(context, capId >> 16);
  std::uint32_t value = 1;
  if (cap != 0 && (cap & 1) == 0) value = cap & (~cap + 1);
  AcqSetPrm(context, prmId >> 16, value);
}

void BuildDefaultCameraName(AcqValidationContext* c) {
  const std::uint32_t link = AcqGetCap(c, 116), taps = AcqNewPrm(c, 49), format = AcqNewPrm(c, 2088);
  char name[64] = {};
  std::snprintf(name, sizeof name, "Default %s%s%s Scan %d tap%s %s%s",
                link == 8 ? "HS Link " : link == 16 ? "Camera Link HS " : "", AcqNewPrm(c, 5) == 16 ? "Bayer " : "",
                AcqNewPrm(c, 3) == 1 ? "Area" : "Line", static_cast<int>(taps), taps >= 2 ? "s" : "",
                AcqNewPrm(c, 50) == 4 ? "Parallel " : "",
                format == kMonoFormat8 || format == kMonoFormat16 ? "Mono" : "Color");
  std::memcpy(AcqPrmWords(c->camNew, 41), name, sizeof name);
  std::memcpy(AcqPrmWords(c->vicNew, 2093), name, sizeof name);
}

QelStatus InitAcqDefaultPrms(AcqValidationContext* context) {
  if (context == nullptr || context->record == nullptr) return kAcqMissingPointer;
  const std::uint32_t board = AcqBoardOf(context);
  Record record{};
  AcqBoardInputs in;
  AcqGetStdVideoFormat(context, 0, record.data());
  AcqReadLutType(board, &in);
  AcqReadEepromPage0(board, &in);
  AcqReadFirmwareRecord(board, &in);
  const std::uint32_t standard = ChooseStandard(in);
  if (standard != 0) {
    record.fill(0);
    AcqGetStdVideoFormat(context, standard, record.data());
  }
  if (in.option(4) && in.f(9)) {
    SetField(record, 24, 2400);
    SetField(record, 84, 1);
    SetField(record, 244, 1);
  }
  Fixed(context, in);
  FromStandard(context, record, standard);
  AcqSetPrm(context, 2088, Field(record, 80) == 8 ? kMonoFormat8 : kMonoFormat16);
  AcqSetPrm(context, 2094, in.lut10() || in.lut12() ? 1 : 0);
  Derived(context);
  const QelStatus status = PowerOverCameraLink(context, in);
  BuildDefaultCameraName(context);
  return status;
}

QelStatus InitAcqDefaultPrmsColor(AcqValidationContext* context) {
  const QelStatus status = InitAcqDefaultPrms(context);
  if (context == nullptr || context->record == nullptr) return status;
  AcqSetPrm(context, 2088, kColourFormat);
  AcqSetPrm(context, 5, 8);
  AcqSetPrm(context, 2098, kColourFormat);
  BuildDefaultCameraName(context);
  return status;
}

QelStatus InitAcqDefaultPrmsBayer(AcqValidationContext* context) {
  const QelStatus status = InitAcqDefaultPrmsColor(context);
  if (context == nullptr || context->record == nullptr) return status;
  AcqBoardInputs in;
  AcqReadFirmwareRecord(AcqBoardOf(context), &in);
  AcqSetPrm(context, 2152, in.f(12) ? 32 : 1);
  AcqSetPrm(context, 109, in.f(12) ? 1 : 8);
  AcqSetPrm(context, 2088, kColourFormat);
  AcqSetPrm(context, 5, 16);
  AcqSetPrm(context, 2098, kColourFormat);
  AcqSetPrm(context, 2151, 1);
  BuildDefaultCameraName(context);
  return status;
}
