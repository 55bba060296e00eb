// One table of record-builder cases: the words each builder writes into a
// cleared record, and its status.
#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <map>
#include <string>

#include "source/QelAcq/AcqTimerRecords.h"
#include "source/QelAcq/tests/acq_test_device.h"

namespace {

using acq_test::Device;
using Words = std::map<std::string, std::uint32_t>;

struct Outcome {
  QelStatus status = 0;
  Words words;  // every non-zero word, as "w3", "s1", "t8", "summary"
};

void Collect(Words& words, const char* prefix, const std::uint32_t* values, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i)
    if (values[i] != 0) words[prefix + std::to_string(i)] = values[i];
}

Outcome Strobe(AcqValidationContext& context) {
  AcqStrobeRecord record{};
  Outcome out{AcqComputeStrobeTimer(&context, &record), {}};
  Collect(out.words, "w", record.w, 13);
  return out;
}

Outcome FrameTrigger(AcqValidationContext& context) {
  AcqFrameTriggerRecord record{};
  Outcome out{AcqComputeFrameTrigger(&context, &record), {}};
  Collect(out.words, "w", record.w, 36);
  return out;
}

Outcome CameraControl(AcqValidationContext& context) {
  AcqTimerRecordPair records{};
  AcqCameraControlSummary summary{};
  Outcome out{AcqComputeCameraControlTimer(&context, &records, &summary), {}};
  Collect(out.words, "w", records.w, 32);
  const std::uint32_t s[] = {0, summary.s1, summary.s2, summary.s3};
  Collect(out.words, "s", s, 4);
  return out;
}

Outcome DoublePulse(AcqValidationContext& context) {
  AcqTimerRecordPair pulses{};
  std::uint32_t summary = 0;
  AcqDoublePulseControlRecord control{};
  Outcome out{AcqComputeDoublePulseTimers(&context, &pulses, &summary, &control), {}};
  Collect(out.words, "w", pulses.w, 32);
  Collect(out.words, "t", control.t, 17);
  if (summary != 0) out.words["summary"] = summary;
  return out;
}

Outcome LinePeriods(AcqValidationContext& context) {
  std::uint32_t window = 0, pulse = 0;
  Outcome out;
  const QelStatus first = AcqTriggerWindowLinePeriod(&context, &window);
  const QelStatus second = AcqDoublePulseLinePeriod(&context, &pulse);
  out.status = first != 0 ? first : second;
  if (window != 0) out.words["window"] = window;
  if (pulse != 0) out.words["pulse"] = pulse;
  return out;
}

struct BuilderCase {
  const char* name;
  std::function<void(Device&)> change;
  Outcome (*build)(AcqValidationContext&);
  QelStatus status;
  Words words;
};

void LineScanPulses(Device& d) {
  d.prms({{3, 2}, {2101, 1}, {43, 2}, {44, 100}, {2102, 60}, {78, 20}, {79, 200}, {77, 1}, {80, 5}});
}

const Words kStrobeMethod1 = {{"w0", 52}, {"w1", 1},  {"w2", 1},  {"w3", 1},  {"w4", 10}, {"w5", 20}, {"w6", 30},
                              {"w7", 2},  {"w8", 1},  {"w9", 4},  {"w10", 1}, {"w11", 1}, {"w12", 6}};

const BuilderCase kCases[] = {
    {"strobe off", [](Device&) {}, Strobe, 0, {{"w0", 52}}},
    {"strobe method 1", [](Device& d) { d.prms({{2077, 1}, {2078, 1}, {2079, 2}, {2080, 30}, {2081, 10}, {2133, 20}}); },
     Strobe, 0, kStrobeMethod1},
    {"strobe method 2 of an interlaced camera",
     [](Device& d) { d.prms({{1, 1}, {9, 4}, {2077, 1}, {2078, 2}, {2081, 10}}); }, Strobe, 0,
     {{"w0", 52}, {"w1", 1}, {"w3", 2}, {"w4", 10}, {"w7", 1}, {"w8", 2}, {"w9", 3}, {"w10", 1}, {"w11", 1}, {"w12", 6}}},
    {"strobe method 2 with CAM 9 = 8 leaves w9",
     [](Device& d) { d.prms({{1, 1}, {9, 8}, {2077, 1}, {2078, 2}}); }, Strobe, 0,
     {{"w0", 52}, {"w1", 1}, {"w3", 2}, {"w7", 1}, {"w8", 2}, {"w10", 1}, {"w11", 1}, {"w12", 6}}},
    {"strobe method 16", [](Device& d) { d.prms({{2077, 1}, {2078, 16}, {2079, 2}, {2080, 30}, {2081, 10}}); },
     Strobe, 0, {{"w0", 52}, {"w3", 1}, {"w7", 2}, {"w8", 2}, {"w9", 4}, {"w10", 1}, {"w11", 1}, {"w12", 6}}},
    {"strobe method 3", [](Device& d) { d.prms({{2077, 1}, {2078, 3}, {2081, 10}}); }, Strobe, 0, {{"w0", 52}}},

    {"frame trigger of the reference camera", [](Device&) {}, FrameTrigger, 0,
     {{"w3", 3}, {"w4", 2}, {"w8", 1}, {"w9", 1}, {"w12", 33333}, {"w13", 1}, {"w16", 1}, {"w35", 1}}},
    {"frame trigger without a line rate", [](Device& d) { d.prm(2126, 0); }, FrameTrigger, 0,
     {{"w3", 3}, {"w4", 2}, {"w8", 1}, {"w9", 1}, {"w13", 1}, {"w16", 1}, {"w35", 1}}},
    {"frame trigger of a line-scan camera",
     [](Device& d) {
       d.prms({{3, 2}, {2084, 1}, {2104, 1}, {2105, 8}, {2115, 2}, {2144, 7}, {2149, 3}, {2150, 4}, {2125, 5}});
     },
     FrameTrigger, 0,
     {{"w2", 1}, {"w3", 4}, {"w4", 2}, {"w6", 7}, {"w7", 1}, {"w8", 1}, {"w9", 2}, {"w11", 5}, {"w12", 33333},
      {"w13", 1}, {"w15", 1}, {"w16", 1}, {"w23", 1}, {"w31", 1}, {"w32", 2}, {"w33", 3}, {"w35", 1}}},

    // Camera-control mode 2 on the line time base: without a line period the
    // times stay as they are.
    {"camera control mode 2, line period 0",
     [](Device& d) {
       d.prms({{25, 0}, {2084, 1}, {33, 2}, {2119, 1}, {2138, 50}, {72, 100}, {70, 2}, {2085, 30}});
     },
     CameraControl, 0,
     {{"w1", 1},  {"w2", 1},  {"w3", 50}, {"w4", 100}, {"w5", 2},  {"w6", 1},  {"w7", 4},  {"w8", 6},
      {"w9", 1},  {"w10", 15}, {"w11", 1}, {"w12", 6},  {"w13", 1}, {"w17", 1}, {"w19", 80}, {"w20", 100},
      {"w21", 2}, {"w22", 1}, {"w23", 4}, {"w24", 6},  {"w25", 1}, {"w26", 15}, {"w27", 1}, {"w28", 6},
      {"w29", 1}, {"s1", 1},  {"s2", 3},  {"s3", 1}}},
    // Line period (640 + 160) x 100 / (40 MHz / 10000) = 20.
    {"camera control mode 2, in lines",
     [](Device& d) { d.prms({{2084, 1}, {33, 2}, {2119, 1}, {2138, 50}, {72, 100}, {70, 2}, {2085, 30}}); },
     CameraControl, 0,
     {{"w1", 1},  {"w2", 1},  {"w3", 3},  {"w4", 5},  {"w5", 2},  {"w6", 1},  {"w7", 4},  {"w8", 6},
      {"w9", 1},  {"w10", 15}, {"w11", 1}, {"w12", 6}, {"w13", 1}, {"w17", 1}, {"w19", 4},  {"w20", 5},
      {"w21", 2}, {"w22", 1}, {"w23", 4}, {"w24", 6}, {"w25", 1}, {"w26", 15}, {"w27", 1}, {"w28", 6},
      {"w29", 1}, {"s1", 1},  {"s2", 3},  {"s3", 1}}},
    {"camera control line base without line bits",
     [](Device& d) { d.prms({{2160, 1}, {2084, 1}, {33, 1}, {2138, 50}, {2085, 30}, {34, 2}}); }, CameraControl,
     0x8702B,
     {{"w1", 1}, {"w2", 1}, {"w3", 50}, {"w4", 30}, {"w5", 2}, {"w6", 1}, {"w7", 4}, {"w8", 1}, {"w9", 1},
      {"w10", 14}, {"w13", 1}, {"s1", 1}, {"s2", 1}, {"s3", 80}}},
    {"camera control from CAM 38",
     [](Device& d) { d.prms({{2087, 1}, {38, 1}, {2139, 7}, {40, 9}, {39, 1}, {2159, 1}}); }, CameraControl, 0,
     {{"w1", 1}, {"w2", 1}, {"w3", 7}, {"w4", 9}, {"w5", 1}, {"w6", 1}, {"w7", 4}, {"w8", 1}, {"w9", 1},
      {"w10", 14}, {"w11", 1}, {"w12", 2}, {"w13", 1}}},
    {"camera control mode 256",
     [](Device& d) { d.prms({{2084, 1}, {33, 256}, {2138, 50}, {2085, 30}, {34, 1}, {70, 2}, {72, 100}}); },
     CameraControl, 0,
     {{"w1", 1}, {"w3", 50}, {"w4", 30}, {"w5", 1}, {"w6", 3}, {"w7", 4}, {"w8", 1}, {"w9", 1}, {"w10", 14},
      {"w13", 2}, {"w21", 2}, {"w22", 1}, {"w23", 4}, {"w24", 1}, {"w25", 1}, {"w26", 15}, {"w29", 1}}},
    {"camera control mode 32",
     [](Device& d) { d.prms({{2084, 1}, {33, 32}, {2138, 50}, {2085, 30}, {34, 1}, {76, 40}, {72, 10}}); },
     CameraControl, 0,
     {{"w1", 1},  {"w2", 1},  {"w3", 50}, {"w4", 40}, {"w5", 1},  {"w6", 1},  {"w7", 4},  {"w8", 1},
      {"w9", 1},  {"w10", 14}, {"w13", 1}, {"w17", 1}, {"w18", 1}, {"w19", 70}, {"w20", 10}, {"w21", 1},
      {"w22", 1}, {"w23", 4}, {"w24", 1}, {"w25", 1}, {"w26", 15}, {"w29", 1}}},
    {"camera control mode 3", [](Device& d) { d.prms({{2084, 1}, {33, 3}, {2138, 50}}); }, CameraControl, 0, {}},

    {"double pulse of an area-scan camera", [](Device& d) { d.prms({{2101, 1}, {42, 8}}); }, DoublePulse, 0, {}},
    // 40 MHz: a time v is v / 40 clock periods.
    {"double pulse pattern 8",
     [](Device& d) {
       LineScanPulses(d);
       d.prm(42, 8);
     },
     DoublePulse, 0,
     {{"w1", 1},  {"w3", 2},  {"w4", 1},  {"w5", 2},  {"w7", 4},  {"w8", 1},  {"w9", 2},  {"w13", 0x102},
      {"w14", 500}, {"w15", 500}, {"w17", 1}, {"w19", 2}, {"w20", 5}, {"w21", 1}, {"w22", 1}, {"w23", 4},
      {"w24", 1}, {"w25", 2}, {"w26", 1}, {"w29", 0x102}, {"w30", 2}}},
    {"double pulse pattern 64",
     [](Device& d) {
       LineScanPulses(d);
       d.prms({{42, 64}, {80, 40}});
     },
     DoublePulse, 0,
     {{"w1", 1},  {"w3", 2},  {"w4", 1},  {"w5", 2},  {"w7", 4},   {"w8", 1},   {"w9", 2},  {"w10", 1},
      {"w13", 0x202}, {"w14", 500}, {"w17", 1}, {"w20", 5}, {"w21", 1}, {"w22", 1}, {"w23", 4}, {"w24", 1},
      {"w25", 2}, {"w26", 1}, {"w29", 0x101}, {"w30", 500}}},
    {"double pulse with a pixel clock of 0 (CAM 27)",
     [](Device& d) {
       LineScanPulses(d);
       d.prms({{42, 8}, {27, 0}});
     },
     DoublePulse, 0x401B2A, {}},
    {"double pulse with a pixel clock of 0 (CAM 25)",
     [](Device& d) {
       LineScanPulses(d);
       d.prms({{2101, 0}, {24, 1}, {25, 0}});
     },
     DoublePulse, 0x40192A, {}},
    {"line pattern 16 without CAM 63, and without a clock",
     [](Device& d) {
       LineScanPulses(d);
       d.prms({{42, 16}, {27, 0}, {63, 0}, {2079, 2}, {2081, 11}, {2080, 12}, {2133, 13}});
     },
     DoublePulse, 0x403F2B,
     {{"w7", 4},  {"w8", 1},  {"w9", 2},  {"w13", 0x102}, {"w22", 1}, {"w23", 4},  {"w24", 1},  {"w25", 2},
      {"w26", 1}, {"w29", 0x102}, {"t1", 1}, {"t2", 1}, {"t3", 2},  {"t4", 2},   {"t5", 1},   {"t6", 1},
      {"t7", 1},  {"t9", 100}, {"t10", 5}, {"t11", 20}, {"t12", 200}, {"t13", 11}, {"t14", 12}, {"t15", 100},
      {"t16", 13}}},
    {"line pattern 32",
     [](Device& d) {
       LineScanPulses(d);
       d.prms({{42, 32}, {63, 400}});
     },
     DoublePulse, 0,
     {{"w7", 4}, {"w8", 1}, {"w9", 2}, {"w13", 0x102}, {"w22", 1}, {"w23", 4}, {"w24", 1}, {"w25", 2}, {"w26", 1},
      {"w29", 0x102}, {"t1", 1}, {"t2", 2}, {"t3", 2}, {"t4", 1}, {"t5", 1}, {"t6", 1}, {"t7", 1}, {"t8", 2500},
      {"t9", 100}, {"t10", 5}, {"t11", 20}, {"t12", 200}, {"t15", 100}}},
    {"double pulse without a pattern, line trigger on",
     [](Device& d) { d.prms({{3, 2}, {2101, 0}, {47, 80}, {48, 120}, {46, 2}, {43, 1}, {2106, 1}}); }, DoublePulse,
     0,
     {{"w5", 1}, {"w13", 0x102}, {"w17", 1}, {"w19", 2}, {"w20", 3}, {"w21", 2}, {"w24", 1}, {"w26", 2},
      {"w29", 2}}},

    {"line periods", [](Device& d) { d.prms({{2102, 60}, {78, 20}}); }, LinePeriods, 0,
     {{"window", 2000}, {"pulse", 20}}},
    {"trigger window of 0", [](Device& d) { d.prms({{2110, 0}, {2102, 60}, {78, 20}}); }, LinePeriods, 0x483E2B,
     {{"pulse", 20}}},
    {"double-pulse line period without a clock", [](Device& d) { d.prm(27, 0); }, LinePeriods, 0x401B2A,
     {{"window", 2000}}},
};

// Cases print as their names.
void PrintTo(const BuilderCase& c, std::ostream* os) { *os << c.name; }

class AcqRecordBuilder : public ::testing::TestWithParam<BuilderCase> {};

TEST_P(AcqRecordBuilder, WritesTheNamedWords) {
  auto device = acq_test::ReferenceDevice();
  GetParam().change(*device);
  AcqValidationContext context = device->context();
  const Outcome out = GetParam().build(context);
  EXPECT_EQ(out.status, GetParam().status);
  EXPECT_EQ(out.words, GetParam().words);
}

INSTANTIATE_TEST_SUITE_P(Cases, AcqRecordBuilder, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<BuilderCase>& info) { return acq_test::CaseName(info.param.name); });

TEST(AcqRecordBuilders, TakeWhatTheyConsume) {
  auto current = acq_test::ReferenceDevice();
  Device next;
  std::memcpy(&next.record(), &current->record(), sizeof(AcqDeviceRecord));
  next.prms({{2077, 1}, {2078, 1}, {2081, 10}, {2082, 1}});
  current->clearMarks();
  AcqValidationContext context = current->context();
  context.vicNew = &next.record().vic;
  context.camNew = &next.record().cam;
  AcqStrobeRecord record{};
  ASSERT_EQ(AcqComputeStrobeTimer(&context, &record), 0u);
  for (std::uint32_t index : {2077u, 2078u, 2079u, 2080u, 2081u, 2114u, 2133u}) {
    EXPECT_FALSE(next.marked(index)) << index;
    EXPECT_EQ(current->value(index), next.value(index)) << index;
  }
  EXPECT_TRUE(next.marked(2082));
  EXPECT_EQ(current->value(2082), 0u);
}

TEST(AcqRecordBuilders, LinePeriodOfNoClockRoundsNothing) {
  auto device = acq_test::ReferenceDevice();
  AcqValidationContext context = device->context();
  EXPECT_FLOAT_EQ(AcqLinePeriod(&context), 20.0f);
  device->prm(25, 0);
  EXPECT_EQ(AcqLinePeriod(&context), 0.0f);
  EXPECT_EQ(AcqRoundToLines(55, 0.0f), 55u);
  EXPECT_EQ(AcqRoundToLines(55, 20.0f), 3u);
}

TEST(AcqRecordBuilders, RefuseMissingRecords) {
  auto device = acq_test::ReferenceDevice();
  AcqValidationContext context = device->context();
  AcqCameraControlSummary summary{};
  EXPECT_EQ(AcqComputeCameraControlTimer(&context, nullptr, &summary), 0x400236u);
  EXPECT_EQ(AcqComputeStrobeTimer(nullptr, nullptr), 0x400136u);
  std::uint32_t word = 0;
  EXPECT_EQ(AcqComputeDoublePulseTimers(&context, nullptr, &word, nullptr), 0x400236u);
}

}  // namespace
