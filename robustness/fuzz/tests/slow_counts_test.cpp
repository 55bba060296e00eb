// The request fuzzer folds the counts of slow requests below their bounds,
// leaves counts the driver refuses outright alone, and reads every other
// request as it was written.
#include "robustness/fuzz/requests/SlowCounts.h"

#include <gtest/gtest.h>

#include <vector>

#include "driver/kernel/YatFlashRecords.h"
#include "driver/kernel/YatI2cRecords.h"
#include "driver/kernel/YatIoctl.h"

namespace {

using namespace request_fuzz;

template <typename Record>
std::vector<std::uint8_t> BytesOf(const Record& record) {
  const auto* p = reinterpret_cast<const std::uint8_t*>(&record);
  return {p, p + sizeof record};
}

template <typename Record>
Record Folded(std::uint32_t code, bool narrow, const Record& record) {
  std::vector<std::uint8_t> bytes = BytesOf(record);
  FoldSlowCount(code, narrow, bytes);
  Record out{};
  std::memcpy(&out, bytes.data(), sizeof out);
  return out;
}

struct CountCase {
  std::uint32_t code;
  std::uint32_t count, expected;
};

TEST(RequestFuzzSlowCounts, CountsAboveTheirBoundsFoldAndRefusedOnesStay) {
  const CountCase cases[] = {
      {YAT_IOCTRL_READ_MEMORY, 0x1000, 0x1000},
      {YAT_IOCTRL_READ_MEMORY, kMemoryCountBound, kMemoryCountBound},
      {YAT_IOCTRL_READ_MEMORY, kMemoryCountBound + 1, 0},
      {YAT_IOCTRL_WRITE_MEMORY, 0xFFFFFFFF, 0xFFFFFFFFu % (kMemoryCountBound + 1)},
      {YAT_IOCTRL_I2C_READ, kI2cCountBound, kI2cCountBound},
      {YAT_IOCTRL_I2C_READ, YAT_I2C_MAX_TRANSFER, YAT_I2C_MAX_TRANSFER % (kI2cCountBound + 1)},
      {YAT_IOCTRL_I2C_WRITE, YAT_I2C_MAX_TRANSFER + 1, YAT_I2C_MAX_TRANSFER + 1},
      {YAT_IOCTRL_FLASH_READ, 0x400000, 0x400000 % (kFlashCountBound + 1)},
  };
  for (const CountCase& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.code << " count " << c.count);
    switch (c.code) {
      case YAT_IOCTRL_READ_MEMORY:
      case YAT_IOCTRL_WRITE_MEMORY: {
        const YatIocMemoryIn wide{{1, 0}, 0x40, 0x30000000, c.count, 1};
        const YatIocMemoryIn out = Folded(c.code, false, wide);
        // Copies: the records are packed, their fields may sit unaligned.
        const std::uint32_t count = out.byteCount, engine = out.engine;
        const std::uint64_t user = out.userAddress;
        EXPECT_EQ(count, c.expected);
        EXPECT_EQ(user, 0x30000000u);
        EXPECT_EQ(engine, 1u);
        const YatIocMemoryIn32 narrow{{1, 0}, 0x40, 0x30000000, c.count, 1};
        const std::uint32_t narrowCount = Folded(c.code, true, narrow).byteCount;
        EXPECT_EQ(narrowCount, c.expected);
        break;
      }
      case YAT_IOCTRL_I2C_READ:
      case YAT_IOCTRL_I2C_WRITE: {
        const YatI2cRequestIn wide{{1, 0}, 0, 0xA0, 0, 0x30000000, c.count, 1};
        const std::uint32_t wideCount = Folded(c.code, false, wide).count;
        EXPECT_EQ(wideCount, c.expected);
        const YatI2cRequestIn32 narrow{{1, 0}, 0, 0xA0, 0, 0x30000000, c.count, 1};
        const std::uint32_t narrowCount = Folded(c.code, true, narrow).count;
        EXPECT_EQ(narrowCount, c.expected);
        break;
      }
      default: {
        const YatFlashTransferIn wide{{1, 0}, 0x100, c.count, 0x30000000};
        const std::uint32_t wideCount = Folded(c.code, false, wide).count;
        EXPECT_EQ(wideCount, c.expected);
        const YatFlashTransferIn32 narrow{{1, 0}, 0x100, c.count, 0x30000000};
        const std::uint32_t narrowCount = Folded(c.code, true, narrow).count;
        EXPECT_EQ(narrowCount, c.expected);
      }
    }
  }
}

// A code with its width bit clear is served as the same request with 32-bit
// records, from a 64-bit caller too.
TEST(RequestFuzzSlowCounts, ACodeWithoutItsWidthBitIsFoldedInItsNarrowRecord) {
  const std::uint32_t code = YAT_IOCTRL_READ_MEMORY & ~YAT_IOCTRL_WIDTH_BIT;
  const YatIocMemoryIn32 narrow{{1, 0}, 0x40, 0x30000000, 0x40000000, 1};
  const std::uint32_t count = Folded(code, false, narrow).byteCount;
  EXPECT_EQ(count, 0x40000000u % (kMemoryCountBound + 1));
}

TEST(RequestFuzzSlowCounts, ResetsAndFlashRewritesAreHeavyInEitherWidth) {
  for (const std::uint32_t code : {YAT_IOCTRL_INIT_BOARD_MANAGER, YAT_IOCTRL_FLASH_WRITE, YAT_IOCTRL_FLASH_ERASE}) {
    EXPECT_TRUE(IsHeavy(code)) << std::hex << code;
    EXPECT_TRUE(IsHeavy(code & ~YAT_IOCTRL_WIDTH_BIT)) << std::hex << code;
  }
  for (const std::uint32_t code : {YAT_IOCTRL_READ_MEMORY, YAT_IOCTRL_FLASH_READ, YAT_IOCTRL_GET_MEMORY_SIZE})
    EXPECT_FALSE(IsHeavy(code)) << std::hex << code;
}

TEST(RequestFuzzSlowCounts, OtherRequestsAndShortInputsAreSentAsWritten) {
  const YatIocMemoryIn record{{1, 0}, 0, 0x30000000, 0x100000, 0};
  std::vector<std::uint8_t> bytes = BytesOf(record);
  const std::vector<std::uint8_t> written = bytes;
  FoldSlowCount(YAT_IOCTRL_READ_REG, false, bytes);
  EXPECT_EQ(bytes, written);
  bytes.resize(offsetof(YatIocMemoryIn, byteCount) + 3);
  const std::vector<std::uint8_t> cut = bytes;
  FoldSlowCount(YAT_IOCTRL_READ_MEMORY, false, bytes);
  EXPECT_EQ(bytes, cut);
}

}  // namespace
