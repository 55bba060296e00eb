// The front end's registers: Power over Camera Link, the LUT load pulse and
// the flat-field table.
#include <gtest/gtest.h>

#include "platform/board/front_end.h"

namespace plat::board {
namespace {

std::uint32_t Read(const FrontEnd& front_end, std::uint32_t offset) {
  std::uint32_t value = 0xDEADBEEF;
  EXPECT_TRUE(front_end_read(front_end, offset, &value)) << std::hex << offset;
  return value;
}

TEST(FrontEnd, PoclReportsPowerGoodWhileOnAndAFaultInstead) {
  FrontEnd front_end;
  struct Case {
    std::uint32_t written;
    bool fault;
    std::uint32_t reads;
  };
  const Case cases[] = {
      {0x0, false, 0x0}, {0x1, false, 0xA01}, {0x1, true, 0x101}, {0xB00, false, 0x0}, {0x10, true, 0x10},
  };
  for (const Case& k : cases) {
    front_end.pocl_fault[1] = k.fault;
    ASSERT_TRUE(front_end_write(front_end, kRegPocl + 4, k.written));
    EXPECT_EQ(Read(front_end, kRegPocl + 4), k.reads) << k.written << " " << k.fault;
    EXPECT_EQ(Read(front_end, kRegPocl), 0u);
  }
}

TEST(FrontEnd, LutLoadCountsRisingPulsesAndTheControlWordReadsBack) {
  FrontEnd front_end;
  for (std::uint32_t value : {0x80000030u, 0x80000030u, 0x30u, 0x80000000u})
    front_end_write(front_end, kRegLutControl, value);
  EXPECT_EQ(front_end.lut_loads, 2u);
  EXPECT_EQ(Read(front_end, kRegLutControl), 0x80000000u);
}

TEST(FrontEnd, FlatFieldTableHoldsEveryEighthWordOfBothCameras) {
  FrontEnd front_end;
  ASSERT_TRUE(front_end_write(front_end, 0x5800 + 0x100 + 8 * 31, 0x42));
  EXPECT_EQ(Read(front_end, 0x59F8), 0x42u);
  std::uint32_t value = 0;
  EXPECT_FALSE(front_end_read(front_end, 0x5804, &value));  // between entries
  EXPECT_FALSE(front_end_read(front_end, 0x5A00, &value));  // past camera 1
}

}  // namespace
}  // namespace plat::board
