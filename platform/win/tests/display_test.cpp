#include "platform/win/display.h"

#include <gtest/gtest.h>

#include "platform/testing/machine_fixture.h"

namespace plat {
namespace {

TEST(Display, DepthIsAMachineSettingWith32BitsByDefault) {
  testing::ScopedMachine machine;
  EXPECT_EQ(display_bits_per_pixel("DISPLAY"), 32u);
  EXPECT_EQ(display_bits_per_pixel("display"), 32u);
  ASSERT_TRUE(set_display_bits_per_pixel(16));
  EXPECT_EQ(display_bits_per_pixel("DISPLAY"), 16u);
  EXPECT_NE(testing::read_file(machine.path("display.ini")).find("BitsPerPixel=16"), std::string::npos);
  // A machine without a display opens no context.
  ASSERT_TRUE(set_display_bits_per_pixel(0));
  EXPECT_EQ(display_bits_per_pixel("DISPLAY"), 0u);
}

TEST(Display, OnlyTheDisplayDeviceHasAContext) {
  testing::ScopedMachine machine;
  EXPECT_EQ(display_bits_per_pixel("PRINTER"), 0u);
  EXPECT_EQ(display_bits_per_pixel(nullptr), 0u);
}

}  // namespace
}  // namespace plat
