// One table of refusals with their exact details: each case changes the
// reference device and runs one validator.
#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>

#include "platform/support/machine_log.h"
#include "platform/testing/machine_fixture.h"
#include "qellib/QelLog.h"
#include "source/QelAcq/AcqGeometry.h"
#include "source/QelAcq/AcqValidators.h"
#include "source/QelAcq/tests/acq_test_device.h"

namespace {

using acq_test::Device;

struct RefusalCase {
  const char* name;
  std::function<void(Device&)> change;
  std::uint32_t validated;  // the index whose validator runs
  std::uint32_t expected;
};

// A horizontal window with scaling on: W = 640, output O.
void Scaled(Device& d, std::uint32_t out) {
  d.caps({{2162, 1}, {2113, 8}, {2114, 1}, {2115, 4096}, {2116, 1}, {2117, 0x80000}, {2118, 0x80000}});
  d.prms({{2071, 8}, {2069, out}});
}

const RefusalCase kCases[] = {
    // Conflicts before availability where the feature says so.
    {"2082 with 2084, cap 60 absent", [](Device& d) { d.cap(60, 0); d.prms({{2082, 1}, {2084, 1}}); }, 2082,
     QelStatusMake(2082, 0x2D)},
    {"2084 absent, 2082 enabled", [](Device& d) { d.cap(61, 0); d.prms({{2082, 1}, {2084, 1}}); }, 2084,
     QelStatusMake(2084, 0x29)},
    {"2084 with 2086", [](Device& d) { d.prms({{2084, 1}, {2086, 1}}); }, 2084, QelStatusMake(2084, 0x2D)},
    {"2087 with 2082, cap 63 absent", [](Device& d) { d.cap(63, 0); d.prms({{2087, 1}, {2082, 1}}); }, 2087,
     QelStatusMake(2087, 0x2D)},
    {"2106 with 2123", [](Device& d) { d.prms({{2106, 1}, {2123, 1}}); }, 2106, QelStatusMake(2106, 0x2D)},
    {"2084's first parameter", [](Device& d) { d.prms({{2084, 1}, {33, 0}}); }, 2084, QelStatusMake(33, 0x2B)},
    // Texts must end inside their field.
    {"CAM 41 of 64 characters", [](Device& d) { d.text(41, std::string(64, 'A')); }, 41, QelStatusMake(41, 0x2B)},
    {"CAM 41 of 63 characters", [](Device& d) { d.text(41, std::string(63, 'A')); }, 41, 0},
    {"CAM 81 of 32 characters", [](Device& d) { d.text(81, std::string(32, 'x')); }, 81, QelStatusMake(81, 0x2B)},
    {"VIC 2093 of 64 characters", [](Device& d) { d.text(2093, std::string(64, 'x')); }, 2093,
     QelStatusMake(2093, 0x2B)},
    // Signal flags.
    {"flags 0x5", [](Device& d) { d.prm(51, 0x5); }, 51, 0},
    {"flags 0x3", [](Device& d) { d.prm(51, 0x3); }, 51, QelStatusMake(51, 0x2B)},
    {"flags 0x44", [](Device& d) { d.prm(52, 0x44); }, 52, QelStatusMake(52, 0x2B)},
    {"flags bit 3 with implied bit 4", [](Device& d) { d.prm(100, 0x8); }, 100, QelStatusMake(100, 0x2B)},
    {"flags outside cap 87", [](Device& d) { d.cap(87, 0x0F); d.prm(107, 0x15); }, 107, QelStatusMake(107, 0x2B)},
    {"flags sharing nothing with cap 87", [](Device& d) { d.cap(87, 0x0F); d.prm(58, 0x40); }, 58,
     QelStatusMake(58, 0x2B)},
    // Horizontal group, whichever entry leads to it.
    {"mode word outside its mask", [](Device& d) { d.prm(2100, 1); }, 10, QelStatusMake(2100, 0x2B)},
    {"mode words differ under bit 2", [](Device& d) { d.cap(2148, 6); d.prm(2099, 4); }, 2067,
     QelStatusMake(2100, 0x2B)},
    {"active pixels of 0", [](Device& d) { d.prm(10, 0); }, 2065, QelStatusMake(10, 0x2A)},
    {"start off its step", [](Device& d) { d.cap(2102, 4); d.prm(2065, 2); }, 2067, QelStatusMake(2065, 0x2B)},
    {"start from the sync too small, named CAM 11",
     [](Device& d) { d.caps({{2148, 3}, {2150, 200}}); d.prms({{2100, 1}, {2099, 1}}); }, 11,
     QelStatusMake(11, 0x2A)},
    {"start from the sync too small, named X", [](Device& d) { d.cap(2150, 200); d.prm(2065, 8); }, 15,
     QelStatusMake(2065, 0x2A)},
    {"window past the line", [](Device& d) { d.prm(2065, 8); }, 21, QelStatusMake(2067, 0x2A)},
    {"width off its step", [](Device& d) { d.prm(2067, 100); }, 2065, QelStatusMake(2067, 0x2B)},
    {"scaling by 4", [](Device& d) { Scaled(d, 160); }, 2069, 0},
    {"scaling by 4/3", [](Device& d) { Scaled(d, 480); }, 2069, QelStatusMake(2069, 0x2B)},
    {"scaling to 0", [](Device& d) { Scaled(d, 0); d.caps({{2114, 0}, {2117, 0xFFFF0000}}); }, 2069,
     QelStatusMake(2069, 0x2B)},
    {"zoom outside its mask, output in range", [](Device& d) { Scaled(d, 160); d.cap(2113, 4); }, 2071,
     QelStatusMake(2071, 0x2B)},
    {"output out of range before the zoom", [](Device& d) { Scaled(d, 8192); d.cap(2113, 4); }, 2071,
     QelStatusMake(2069, 0x2A)},
    {"scaling of 1 skipped", [](Device& d) { Scaled(d, 480); d.prm(2071, 1); }, 2071, 0},
    // Vertical group.
    {"scan kind 0", [](Device& d) { d.prm(3, 0); }, 12, QelStatusMake(3, 0x2B)},
    {"scan kind outside cap 3", [](Device& d) { d.cap(3, 2); }, 2066, QelStatusMake(3, 0x2B)},
    {"line scan with an unsupported 2105", [](Device& d) { d.cap(2169, 1); d.prms({{3, 2}, {2105, 2}}); }, 23,
     QelStatusMake(2105, 0x2B)},
    {"vertical mode word", [](Device& d) { d.prm(2099, 1); }, 2100, QelStatusMake(2099, 0x2B)},
    {"lines of 0", [](Device& d) { d.prm(12, 0); }, 13, QelStatusMake(12, 0x2A)},
    {"window past the frame", [](Device& d) { d.prm(2066, 4); }, 2068, QelStatusMake(2068, 0x2A)},
    {"start past the frame", [](Device& d) { d.prm(2066, 481); }, 2068, QelStatusMake(2066, 0x2A)},
    // The second window checks measure from the sync: each of Y and H lies in
    // [2159, 2160] alone, but the window's end does not.
    {"window end past the last line from the sync",
     [](Device& d) { d.cap(2160, 500); d.prms({{23, 10}, {19, 20}}); }, 2066, QelStatusMake(2068, 0x2A)},
    {"window start from the sync named CAM 13", [](Device& d) { d.prm(19, 0); d.cap(2153, 1); }, 3,
     QelStatusMake(13, 0x2A)},
    {"field lines halve the window", [](Device& d) { d.prms({{1, 1}, {2068, 960}}); d.cap(1, 3); }, 3, 0},
    {"field lines of a full window", [](Device& d) { d.prms({{1, 1}, {2066, 2}, {2068, 960}}); d.cap(1, 3); }, 3,
     QelStatusMake(2068, 0x2A)},
    {"line scan window checks Y alone", [](Device& d) { d.prms({{3, 2}, {2066, 5}}); d.cap(2153, 6); }, 3,
     QelStatusMake(2066, 0x2A)},
    // Uninitialised capabilities and zero steps name the capability.
    {"snap count maximum 0", [](Device& d) { d.cap(2259, 0); }, 2108, QelStatusMake(2259, 0x1E)},
    {"snap count above its maximum", [](Device& d) { d.prm(2108, 65536); }, 2108, QelStatusMake(2108, 0x2A)},
    {"external trigger count maximum 0", [](Device& d) { d.cap(2260, 0); }, 2124, QelStatusMake(2260, 0x1E)},
    {"external trigger count of 0 in area mode", [](Device& d) { d.prms({{2092, 8}, {2124, 0}}); }, 2124,
     QelStatusMake(2124, 0x2A)},
    {"external trigger count continuous", [](Device& d) { d.prms({{2092, 8}, {2124, 0xFFFFFFFF}}); }, 2124, 0},
    {"timing step 0", [](Device& d) { d.cap(24, 0); }, 14, QelStatusMake(24, 0x1E)},
    {"horizontal step 0", [](Device& d) { d.cap(12, 0); }, 10, QelStatusMake(12, 0x1E)},
    {"window width step 0", [](Device& d) { d.cap(2109, 0); }, 2067, QelStatusMake(2109, 0x1E)},
    {"vertical window step 0", [](Device& d) { d.cap(2161, 0); }, 2068, QelStatusMake(2161, 0x1E)},
    {"scaling lower bound 0", [](Device& d) { Scaled(d, 160); d.cap(2117, 0xFFFF); }, 2069,
     QelStatusMake(2117, 0x1E)},
    {"scaling upper bound 0", [](Device& d) { Scaled(d, 160); d.cap(2118, 0); }, 2069, QelStatusMake(2118, 0x1E)},
    {"vertical scaling upper bound 0",
     [](Device& d) { d.caps({{2163, 1}, {2124, 0}}); d.prm(2072, 2); d.cap(2119, 2); }, 2070,
     QelStatusMake(2124, 0x1E)},
    // Zero divisors and limits that the rules leave open.
    {"2049 with a pixel depth of 0", [](Device& d) { d.cap(2052, 1); d.prms({{6, 0}, {2049, 0}}); }, 2049,
     QelStatusMake(2049, 0x2A)},
    {"2049 below 2^8", [](Device& d) { d.cap(2052, 1); }, 2049, 0},
    {"2049 at 2^8", [](Device& d) { d.cap(2052, 1); d.prm(2049, 256); }, 2049, QelStatusMake(2049, 0x2A)},
    {"field rate of a camera with no timing", [](Device& d) {
       d.cap(2164, 1); d.cap(2125, 4);
       d.prms({{2073, 4}, {2074, 0}, {10, 0}, {11, 0}, {20, 0}, {21, 0}});
     }, 2074, QelStatusMake(2074, 0x2A)},
    {"field rate below the frame rate", [](Device& d) {
       d.cap(2164, 1); d.cap(2125, 4);
       d.prms({{2073, 4}, {2074, 77}});  // 40 MHz / (800 x 525) = 95
     }, 2073, 0},
    {"field rate above the frame rate", [](Device& d) {
       d.cap(2164, 1); d.cap(2125, 4);
       d.prms({{2073, 4}, {2074, 95}});
     }, 2073, QelStatusMake(2074, 0x2A)},
    {"trigger window of 0", [](Device& d) { d.prms({{2109, 1}, {2110, 0}}); }, 2109, QelStatusMake(2110, 0x2B)},
    {"trigger window without a clock", [](Device& d) { d.prms({{2109, 1}, {27, 0}}); }, 2110,
     QelStatusMake(2110, 0x29)},
    {"trigger window beyond CAM 64", [](Device& d) { d.prms({{2109, 1}, {64, 4000}}); }, 2110,
     QelStatusMake(2110, 0x2A)},
    {"pixel clock out of range before the window", [](Device& d) { d.prms({{24, 1}, {25, 1}, {2109, 1}, {2110, 0}}); },
     25, QelStatusMake(25, 0x2A)},
    {"pixel clock in range, then the window",
     [](Device& d) { d.cap(46, 3); d.prms({{24, 1}, {2109, 1}, {2110, 0}}); }, 24,
     QelStatusMake(2110, 0x2B)},
    // Families with their own index.
    {"CAM 116 above cap 124", [](Device& d) { d.cap(124, 3); d.prm(116, 4); }, 116, QelStatusMake(116, 0x2A)},
    {"CAM 114 with cap 122 of 0", [](Device& d) { d.prm(114, 1); }, 114, QelStatusMake(114, 0x2A)},
    {"CAM 117 with cap 125 of 0", [](Device& d) { d.prm(117, 1); }, 117, QelStatusMake(117, 0x2A)},
    {"CAM 118 other than cap 126", [](Device& d) { d.cap(126, 5); d.prm(118, 4); }, 118, QelStatusMake(118, 0x2A)},
    {"CAM 85 on line 1", [](Device& d) { d.prm(85, 0x20001); }, 85, 0},
    {"CAM 85 on line 5", [](Device& d) { d.prm(85, 0x20005); }, 85, QelStatusMake(85, 0x2A)},
    {"CAM 85 of kind 1", [](Device& d) { d.prm(85, 0x10001); }, 85, QelStatusMake(85, 0x2A)},
    {"CAM 64 below CAM 63", [](Device& d) { d.prm(63, 5); d.prm(64, 4); }, 64, QelStatusMake(64, 0x2A)},
    {"CAM 63 above CAM 64", [](Device& d) { d.prm(63, 5); d.prm(64, 4); }, 63, QelStatusMake(63, 0x2A)},
    {"tap count above its capability", [](Device& d) { d.prm(49, 11); }, 49, QelStatusMake(49, 0x2A)},
    {"taps too narrow for the depth", [](Device& d) { d.caps({{85, 4}, {84, 2}}); d.prms({{6, 10}, {49, 2}, {50, 2}}); }, 49,
     QelStatusMake(6, 0x2B)},
    {"odd taps with bit 0", [](Device& d) { d.prms({{49, 3}, {50, 1}}); }, 50, QelStatusMake(50, 0x2B)},
    {"depth outside the format list", [](Device& d) { d.prm(6, 9); }, 6, QelStatusMake(6, 0x2B)},
    {"output format outside its list", [](Device& d) { d.prm(2088, 0x61092000); }, 2088, QelStatusMake(2088, 0x2B)},
    {"colour limit 0", [](Device& d) { d.prms({{5, 8}, {2048, 0}}); }, 2048, QelStatusMake(2048, 0x2A)},
    {"another device without the capability", [](Device& d) { d.prm(2127, 3); }, 2127, QelStatusMake(2127, 0x29)},
    {"own device", [](Device& d) { d.prm(2127, 0); }, 2127, 0},
    {"shaft step not geometric", [](Device& d) { d.prms({{2123, 1}, {2147, 6}}); }, 2147, QelStatusMake(2147, 0x2A)},
    {"shaft step geometric", [](Device& d) { d.prms({{2123, 1}, {2147, 16}}); }, 2147, 0},
    {"strobe method outside its mask", [](Device& d) { d.cap(2134, 1); d.prms({{2077, 1}, {2078, 4}}); d.cap(2127, 3); },
     2077, QelStatusMake(2078, 0x2B)},
    {"strobe unavailable", [](Device& d) { d.prm(2077, 1); }, 2077, QelStatusMake(2077, 0x29)},
    {"2134 of 0", [](Device& d) { d.prm(2134, 0); }, 2134, QelStatusMake(2134, 0x2B)},
};

// Cases print as their names.
void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.name; }

class AcqRefusal : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(AcqRefusal, HasItsExactDetail) {
  auto device = acq_test::ReferenceDevice();
  GetParam().change(*device);
  AcqValidationContext context = device->context();
  EXPECT_EQ(AcqRunValidator(&context, GetParam().validated), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, AcqRefusal, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<RefusalCase>& info) { return acq_test::CaseName(info.param.name); });

TEST(AcqRefusalGroups, ARefusedGroupStillConsumesItsBits) {
  auto device = acq_test::ReferenceDevice();
  device->prm(10, 0);
  AcqValidationContext context = device->context();
  ASSERT_EQ(AcqRunValidator(&context, 2065), QelStatusMake(10, 0x2A));
  for (std::uint32_t index : {2100u, 10u, 11u, 15u, 21u, 2065u, 2067u, 2069u, 2071u})
    EXPECT_FALSE(device->marked(index)) << index;
  EXPECT_TRUE(device->marked(2099));
  EXPECT_TRUE(device->marked(3));
}

TEST(AcqRefusalGroups, GeometricStepsStopAtTheMaximum) {
  EXPECT_TRUE(IsGeometricStep(16, 1, 32, 2));
  EXPECT_FALSE(IsGeometricStep(64, 1, 32, 2));
  EXPECT_FALSE(IsGeometricStep(6, 1, 32, 2));
  EXPECT_TRUE(IsGeometricStep(5, 5, 5, 1));
  EXPECT_FALSE(IsGeometricStep(7, 5, 0xFFFFFFFF, 1));  // a factor of 1 never grows
  EXPECT_TRUE(IsGeometricStep(0, 5, 100, 0));
  EXPECT_FALSE(IsGeometricStep(5, 6, 4, 2));  // first above the maximum
  EXPECT_TRUE(IsGeometricStep(0x80000000u, 1, 0xFFFFFFFF, 2));
  EXPECT_FALSE(IsGeometricStep(3, 1, 0xFFFFFFFF, 0x0FFFFFFF));
}

TEST(AcqRefusalGroups, FrameRateIsTakenWhole) {
  auto device = acq_test::ReferenceDevice();
  // 40 MHz / (800 x 525) with CAM 24 = 2 (CAM 27 the clock).
  EXPECT_EQ(AcqComputeCameraFrameRate(&device->record().cam), 95u);
  // A product above 2^32 gives 0 rather than a wrapped divisor.
  device->prms({{10, 0x10000}, {11, 0}, {12, 0x10000}, {13, 0}, {27, 0xFFFFFFFF}});
  EXPECT_EQ(AcqComputeCameraFrameRate(&device->record().cam), 0u);
  device->prms({{10, 0x1000}, {12, 0x100}});  // product 2^20
  EXPECT_EQ(AcqComputeCameraFrameRate(&device->record().cam), 4095u);
  device->prm(1, 1);  // interlaced: halved
  EXPECT_EQ(AcqComputeCameraFrameRate(&device->record().cam), 2047u);
}

class AcqUninitialisedCaps : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(LoadQelLog()); }
  void TearDown() override { UnloadQelLog(); }
  plat::testing::ScopedMachine machine_;
};

TEST_F(AcqUninitialisedCaps, AreLoggedAtLevelOneFromTheirSource) {
  auto device = acq_test::ReferenceDevice();
  device->caps({{2259, 0}, {2260, 0}});
  AcqValidationContext context = device->context();
  ASSERT_EQ(CheckSnapCount(&context), QelStatusMake(2259, 0x1E));
  ASSERT_EQ(CheckExtTriggerFrameCount(&context), QelStatusMake(2260, 0x1E));
  const std::string log = plat::support::read_machine_log();
  EXPECT_NE(log.find("CheckSnapCount: QELACQ_CAP_SNAP_COUNT_MAX is not initialized."), std::string::npos) << log;
  EXPECT_NE(log.find("CheckExtTriggerFrameCount: QELACQ_CAP_EXT_TRIGGER_FRAME_COUNT_MAX is not initialized."),
            std::string::npos);
  EXPECT_NE(log.find("L1 "), std::string::npos);
  EXPECT_NE(log.find(" acqchdec:"), std::string::npos);
}

}  // namespace
