// The buffer data-format table: a format code's position is its data-format
// index; the pixel-depth range of each format number; the format names.
#include <array>
#include <cstdio>

#include "source/QelAPI/QelApi.h"

namespace {

constexpr std::uint32_t kNone = 0xFFFFFFFFu;

constexpr std::array<std::uint32_t, 30> kFormatCodes{
    kNone,      kNone,      kNone,      kNone,      kNone,      kNone,  // 0-5
    0x11010800, 0x11021000, 0x11042000, kNone,                          // 6-9
    0x01010800, 0x01021000, 0x01042000,                                 // 10-12
    kNone,      kNone,      kNone,      kNone,                          // 13-16
    0x11142000, kNone,                                                  // 17-18
    0x61092000, 0x610C2000, 0x61132000, 0x03010800,                     // 19-22
    0x11154000, 0x11164000,                                             // 23-24
    kNone,      kNone,      kNone,                                      // 25-27
    0x01180100, 0x11174000,                                             // 28-29
};

struct DepthRange {
  std::uint8_t min;
  std::uint8_t max;
};

constexpr std::array<DepthRange, 32> kDepths{{
    {0, 0},   {8, 8},   {8, 16},  {24, 24}, {32, 32}, {64, 64}, {5, 5},   {6, 6},    // 0-7
    {8, 8},   {8, 8},   {10, 10}, {8, 16},  {8, 8},   {8, 8},   {8, 8},   {8, 8},    // 8-15
    {8, 8},   {8, 8},   {8, 8},   {8, 8},   {32, 32}, {32, 32}, {32, 32}, {32, 32},  // 16-23
    {1, 1},   {8, 8},   {8, 8},   {8, 16},  {8, 8},   {8, 16},  {10, 10}, {8, 8},    // 24-31
}};

struct FormatName {
  std::uint32_t code;
  const char* name;
};

constexpr std::array<FormatName, 33> kNames{{
    {0x01010800, "MONO8"},    {0x01021000, "MONO16"},    {0x01031800, "MONO24"},     {0x01042000, "MONO32"},
    {0x01054000, "MONO64"},   {0x01180100, "MONO1"},     {0x03010800, "RGBP8"},      {0x03021000, "RGBP16"},
    {0x11010800, "INT8"},     {0x11021000, "INT16"},     {0x11031800, "INT24"},      {0x11042000, "INT32"},
    {0x11054000, "INT64"},    {0x11142000, "FLOAT"},     {0x11154000, "COMPLEX"},    {0x11164000, "POINT"},
    {0x11174000, "FPOINT"},   {0x61061000, "RGB5551"},   {0x61071000, "RGB565"},     {0x61081800, "RGB888"},
    {0x61092000, "RGB8888"},  {0x610A2000, "RGB101010"}, {0x610B3000, "RGB161616"},  {0x610C2000, "HSV"},
    {0x610D1000, "UYVY"},     {0x610E1000, "YUY2"},      {0x610F1000, "YVYU"},       {0x61101000, "YUYV"},
    {0x61110C00, "Y411"},     {0x61120C00, "Y211"},      {0x61132000, "YUV"},        {0x611B4000, "RGB16161616"},
    {0x611F1800, "RGBR888"},
}};

// Format numbers 32-63 have no range.
DepthRange DepthOf(std::uint32_t code) {
  const std::uint32_t number = (code >> 16) & 0x3Fu;
  return number < kDepths.size() ? kDepths[number] : DepthRange{0, 0};
}

}  // namespace

std::uint32_t QelManGetFormatCode(std::uint32_t index) {
  return index < kFormatCodes.size() ? kFormatCodes[index] : kNone;
}

std::uint32_t QelManGetFormatIndex(std::uint32_t code) {
  for (std::uint32_t i = 0; i < kFormatCodes.size(); ++i)
    if (kFormatCodes[i] != kNone && kFormatCodes[i] == code) return i;
  return 0;
}

std::uint32_t QelManGetFormatPixelDepthMin(std::uint32_t code) { return DepthOf(code).min; }
std::uint32_t QelManGetFormatPixelDepthMax(std::uint32_t code) { return DepthOf(code).max; }

bool QelManGetFormatName(std::uint32_t code, char* text, std::uint32_t size) {
  if (text == nullptr) return false;
  const char* name = "(unknown)";
  for (const FormatName& entry : kNames)
    if (entry.code == code) name = entry.name;
  if (size != 0) std::snprintf(text, size, "%s", name);
  return true;
}
