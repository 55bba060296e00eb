// A device record for the parameter-model tests, and a reference device: a
// monochrome area-scan camera (640 x 480, one tap, 40 MHz) on a board without
// options, with the capability words and the default parameter sets of such a
// device. The capability maxima of CAM 18 and CAM 19 (caps 29 and 32) are the
// widest the board takes rather than 0, so that the defaults pass their own
// validators.
#pragma once

#include <cctype>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>

#include "source/QelAcq/AcqBlocks.h"
#include "source/QelAcq/AcqDeviceRecord.h"
#include "source/QelAcq/AcqPrmAccess.h"
#include "source/QelAcq/AcqValidationContext.h"

namespace acq_test {

using Words = std::initializer_list<std::pair<std::uint32_t, std::uint32_t>>;

class Device {
 public:
  Device() : record_(std::make_unique<AcqDeviceRecord>()) {
    std::memset(record_.get(), 0, sizeof(AcqDeviceRecord));
    AcqInitRecordHeaders(record_.get(), 0, 0, 1);
  }

  AcqDeviceRecord& record() { return *record_; }
  AcqValidationContext context() { return AcqRecordContext(record_.get()); }

  // A CAM (0-127) or VIC (2048-2263) capability word.
  void cap(std::uint32_t index, std::uint32_t value) { *capWords(index) = value; }
  void caps(Words words) {
    for (const auto& [index, value] : words) cap(index, value);
  }
  // Capability words first .. last, all one value.
  void capRange(std::uint32_t first, std::uint32_t last, std::uint32_t value) {
    for (std::uint32_t index = first; index <= last; ++index) cap(index, value);
  }
  std::uint32_t* capWords(std::uint32_t index) {
    return AcqIsCamCap(index) ? AcqCapWords(&record_->camCaps, index) : AcqCapWords(&record_->vicCaps, index);
  }

  // A parameter's first word, marked modified as an object's set would mark it.
  void prm(std::uint32_t index, std::uint32_t value) {
    *prmWords(index) = value;
    mark(index);
  }
  void prms(Words words) {
    for (const auto& [index, value] : words) prm(index, value);
  }
  void prmRange(std::uint32_t first, std::uint32_t last, std::uint32_t value) {
    for (std::uint32_t index = first; index <= last; ++index) prm(index, value);
  }
  void text(std::uint32_t index, const std::string& value) {
    const std::size_t size = 4 * AcqPrmSpanWords(index);
    std::memset(prmWords(index), 0, size);
    std::memcpy(prmWords(index), value.data(), std::min(size, value.size()));
    mark(index);
  }
  std::uint32_t value(std::uint32_t index) { return *prmWords(index); }
  std::uint32_t* prmWords(std::uint32_t index) {
    return AcqIsCamPrm(index) ? AcqPrmWords(&record_->cam, index) : AcqPrmWords(&record_->vic, index);
  }

  void mark(std::uint32_t index) {
    if (AcqIsCamPrm(index))
      AcqMarkModified(&record_->cam, index);
    else
      AcqMarkModified(&record_->vic, index);
  }
  bool marked(std::uint32_t index) const {
    return AcqIsCamPrm(index) ? AcqIsModified(&record_->cam, index) : AcqIsModified(&record_->vic, index);
  }
  void markAll() {
    AcqMarkAllModified(&record_->cam);
    AcqMarkAllModified(&record_->vic);
  }
  void clearMarks() {
    std::memset(record_->cam.modified.words, 0, sizeof record_->cam.modified.words);
    std::memset(record_->vic.modified.words, 0, sizeof record_->vic.modified.words);
  }

 private:
  std::unique_ptr<AcqDeviceRecord> record_;
};

inline void ReferenceCapabilities(Device& d) {
  d.caps({{0, 3},         {1, 2},      {2, 2},         {3, 3},           {4, 2},         {5, 1},
          {7, 1},         {9, 4},      {10, 1},        {11, 0xFFFFFF},   {12, 1},        {13, 1},
          {14, 0xFFFFFFFF}, {15, 1},   {16, 1},        {17, 0xFFFFFF},   {18, 1},        {20, 0xFFFFFFFF},
          {21, 1},        {24, 1},     {27, 1},        {29, 0xFFFFFF},   {30, 1},        {32, 0xFFFFFF},
          {33, 1},        {35, 0xFFFFFF}, {36, 1},     {38, 0xFFFFFF},   {39, 1},        {41, 0xFFFFFF},
          {42, 1},        {44, 0xFFFFFF}, {45, 1},     {46, 2},          {47, 20000000}, {48, 66000000},
          {49, 20000000}, {50, 66000000}, {52, 4},     {53, 1},          {54, 1},        {55, 3},
          {56, 1},        {57, 0xFFFFFFFE}, {58, 1},   {59, 0xFFFFFFFE}, {61, 1},        {62, 1},
          {63, 1},        {65, 511},   {66, 3},        {67, 1},          {69, 3},        {70, 3},
          {71, 3},        {72, 1},     {73, 79},       {74, 3},          {76, 65535},    {77, 1},
          {78, 1},        {79, 3},     {81, 65535},    {83, 65535},      {84, 10},       {85, 8},
          {86, 7},        {87, 127},   {88, 4},        {89, 1},          {91, 3},        {92, 3},
          {94, 0xFFFFFFFE}, {96, 0xFFFFFFFE}, {98, 0xFFFFFFFE}, {99, 1}, {100, 0xFFFFFFFE}, {101, 3},
          {103, 0xFFFFFFFE}, {104, 1}, {105, 0xFFFFFFFE}, {106, 1},      {107, 0xFFFFFFFE}, {110, 2},
          {113, 1},       {115, 1}});
  // Data formats: (depth, LUT present, format) triples, ended by zeros.
  const std::uint32_t formats[] = {8,  1, 0x1010800, 10, 1, 0x1000A00, 10, 1, 0x1010800, 12, 1,
                                   0x1000C00, 12, 1, 0x1010800, 14, 0, 0x1000E00, 16, 0, 0x1021000};
  std::memcpy(d.capWords(6), formats, sizeof formats);

  d.caps({{2048, 1}, {2057, 1}, {2061, 1}, {2065, 1}, {2069, 1}, {2073, 1}, {2075, 100000}, {2076, 100000},
          {2077, 1}, {2079, 100000}, {2080, 100000}, {2081, 1}, {2083, 100000}, {2084, 100000}, {2085, 1},
          {2099, 1}, {2103, 1}, {2113, 1}, {2119, 1}, {2125, 1}, {2131, 9}, {2132, 1}, {2133, 15},
          {2135, 3}, {2137, 0xFFFFFFFE}, {2139, 0xFFFFFFFE}, {2140, 1}, {2141, 0xFFFFFFFE}, {2142, 1},
          {2148, 2}, {2149, 2}, {2151, 0xFFFFFF}, {2152, 1}, {2154, 0xFFFFFF}, {2155, 1}, {2157, 0xFFFFFF},
          {2158, 1}, {2160, 0xFFFFFF}, {2161, 1}, {2165, 4}, {2166, 1}, {2167, 0xFFFFFF}, {2168, 1},
          {2169, 111}, {2170, 1}, {2171, 4}, {2172, 1}, {2173, 1}, {2174, 1}, {2177, 1}, {2179, 2},
          {2181, 1}, {2182, 1}, {2183, 1}, {2185, 255}, {2186, 1}, {2187, 1}, {2188, 1}, {2189, 1},
          {2190, 0x3FFFFFFF}, {2198, 0xFFFFFFFE}, {2199, 3}, {2205, 255}, {2207, 0xFFFFFFFE},
          {2211, 0xFFFFFFFE}, {2212, 2}, {2216, 1}, {2217, 1}, {2218, 32}, {2219, 0x20000002},
          {2234, 65535000}, {2238, 16383000}, {2259, 65535}, {2260, 65534}, {2261, 3}, {2263, 2}});
  // Output formats, ended by 0.
  d.caps({{2128, 0x1010800}});
  d.capWords(2128)[1] = 0x1021000;
  // The acquisition window of the board.
  d.caps({{2101, 0xFFFF}, {2102, 1}, {2105, 0xFFFF}, {2106, 1}, {2107, 56}, {2108, 0xFFFF}, {2109, 8},
          {2110, 1}, {2111, 0xFFFF}, {2112, 1}, {2114, 1}, {2115, 0xFFFF}, {2116, 1}, {2117, 0x10000},
          {2118, 0x10000}, {2120, 1}, {2121, 0xFFFF}, {2122, 1}, {2123, 0x10000}, {2124, 0x10000}});
}

inline void ReferenceDefaults(Device& d) {
  d.text(41, "Default Area Scan 1 tap Mono");
  d.text(81, "No Name");
  d.text(82, "No Name");
  d.prms({{0, 1}, {1, 2}, {2, 2}, {3, 1}, {4, 2}, {5, 1}, {6, 8}, {7, 1}, {9, 4}, {10, 640}, {11, 160},
          {12, 480}, {13, 45}, {14, 0}, {15, 0}, {16, 0}, {17, 1}, {18, 2}, {19, 3}, {20, 0}, {21, 0},
          {22, 0}, {23, 0}, {24, 2}, {25, 40000000}, {26, 40000000}, {27, 40000000}, {28, 4}, {29, 1},
          {30, 1}, {31, 0}, {32, 0}, {33, 0}, {34, 0}, {35, 0}, {36, 0}, {37, 0}, {38, 0}, {39, 1},
          {40, 1}, {42, 0}, {43, 1}, {44, 0}, {45, 0}, {46, 1}, {47, 0}, {48, 1}, {49, 1}, {50, 2},
          {59, 4}, {60, 1}, {61, 0}, {62, 2}, {63, 1}, {64, 0xFFFFFF}, {65, 1}, {66, 0xFFFFFFFE},
          {67, 0}, {68, 0}, {69, 0}, {70, 0}, {71, 0}, {72, 1}, {74, 0}, {75, 0}, {76, 1}, {77, 1},
          {78, 0}, {79, 1}, {80, 1}, {83, 0}, {84, 0}, {85, 0}, {86, 0x1020001}, {87, 0}, {88, 0},
          {89, 64}, {90, 16}, {91, 1}, {92, 1}, {93, 1}, {95, 0}, {96, 2}, {97, 0}, {98, 0}, {99, 0},
          {108, 1}, {109, 0}, {110, 0}, {113, 0}, {114, 0}, {115, 0}, {116, 0}, {117, 0}, {118, 0}});
  d.prmRange(51, 58, 21);
  d.prmRange(100, 107, 21);
  d.mark(73);
  d.mark(94);

  d.text(2093, "Default Area Scan 1 tap Mono");
  d.prms({{2048, 0}, {2049, 255}, {2050, 1}, {2059, 0}, {2060, 100000}, {2064, 5500000}, {2065, 0},
          {2066, 0}, {2067, 640}, {2068, 480}, {2069, 640}, {2070, 480}, {2079, 1}, {2083, 1},
          {2088, 0x1010800}, {2092, 1}, {2094, 1}, {2095, 4}, {2098, 0x1010800}, {2099, 2}, {2100, 2},
          {2102, 1}, {2105, 8}, {2107, 4}, {2108, 1}, {2110, 5000}, {2111, 1}, {2112, 1}, {2113, 2},
          {2114, 1}, {2115, 2}, {2116, 2}, {2117, 245}, {2118, 500000}, {2120, 1}, {2121, 1}, {2124, 1},
          {2126, 30000}, {2134, 1}, {2141, 2}, {2147, 1}, {2150, 4}, {2152, 1}, {2172, 0}});
  d.prmRange(2051, 2054, 0);
  d.prmRange(2055, 2058, 100000);
  d.prmRange(2061, 2063, 0);
  d.prmRange(2071, 2073, 1);
  d.prmRange(2074, 2078, 0);
  d.prmRange(2080, 2082, 0);
  d.prmRange(2084, 2087, 0);
  d.prmRange(2089, 2091, 0);
  d.prmRange(2096, 2097, 0);
  d.prmRange(2101, 2101, 0);
  d.prmRange(2103, 2104, 0);
  d.prmRange(2106, 2106, 0);
  d.prmRange(2109, 2109, 0);
  d.prmRange(2119, 2119, 0);
  d.prmRange(2122, 2123, 0);
  d.prmRange(2125, 2125, 0);
  d.prmRange(2127, 2132, 0xFFFFFFFF);
  d.prmRange(2133, 2133, 0);
  d.prmRange(2135, 2140, 0);
  d.prmRange(2142, 2146, 0);
  d.prmRange(2148, 2149, 0);
  d.prmRange(2151, 2151, 0);
  d.prmRange(2153, 2155, 100000);
  d.prmRange(2156, 2171, 0);
  d.prmRange(2173, 2177, 0);
}

// A case's description as a test name: letters and digits, '_' for the rest.
inline std::string CaseName(const char* description) {
  std::string name;
  for (const char* c = description; *c != 0; ++c) name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
  return name;
}

// The reference device with every parameter of its default sets marked.
inline std::unique_ptr<Device> ReferenceDevice() {
  auto d = std::make_unique<Device>();
  ReferenceCapabilities(*d);
  ReferenceDefaults(*d);
  d->markAll();
  return d;
}

}  // namespace acq_test
