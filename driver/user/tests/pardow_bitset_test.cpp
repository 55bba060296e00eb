// Bit sets: the operations the transfer code builds its channel masks with.
#include <gtest/gtest.h>

#include <vector>

#include "driver/user/YatBitSet.h"

namespace {

std::vector<std::uint32_t> Set(std::uint32_t words) {
  std::vector<std::uint32_t> set(words + 1, 0);
  set[0] = words;
  return set;
}

TEST(BitSet, BitsLandInTheirWordAndOutOfRangeBitsAreIgnored) {
  auto s = Set(2);
  Yat_BitSet_Set(s.data(), 33);
  Yat_BitSet_Set(s.data(), 64);  // past the end
  EXPECT_EQ(s, (std::vector<std::uint32_t>{2, 0, 2}));
  EXPECT_TRUE(Yat_BitSet_Test(s.data(), 33));
  EXPECT_FALSE(Yat_BitSet_Test(s.data(), 64));
  std::uint32_t first = 0;
  ASSERT_TRUE(Yat_BitSet_FindFirst(s.data(), &first));
  EXPECT_EQ(first, 33u);
  Yat_BitSet_Clear(s.data(), 33);
  EXPECT_TRUE(Yat_BitSet_IsEmpty(s.data()));
}

TEST(BitSet, AnEmptyOrNullSetHasNoBits) {
  auto none = Set(0);
  std::uint32_t first = 7;
  EXPECT_TRUE(Yat_BitSet_IsEmpty(none.data()));
  EXPECT_FALSE(Yat_BitSet_FindFirst(none.data(), &first));
  Yat_BitSet_Set(none.data(), 0);
  EXPECT_EQ(none, (std::vector<std::uint32_t>{0}));
  EXPECT_FALSE(Yat_BitSet_IsEmpty(nullptr));
  EXPECT_FALSE(Yat_BitSet_Test(nullptr, 0));
  EXPECT_FALSE(Yat_BitSet_FindFirst(nullptr, &first));
}

TEST(BitSet, WordOperationsCoverTheShorterSetAndCopiesAreWhole) {
  auto a = Set(2), b = Set(1);
  Yat_BitSet_Fill(a.data());
  b[1] = 0x0F;
  Yat_BitSet_And(a.data(), b.data());
  EXPECT_EQ(a, (std::vector<std::uint32_t>{2, 0x0F, 0xFFFFFFFF}));
  Yat_BitSet_Invert(a.data());
  EXPECT_EQ(a, (std::vector<std::uint32_t>{2, 0xFFFFFFF0, 0}));
  Yat_BitSet_Or(a.data(), b.data());
  EXPECT_EQ(a[1], 0xFFFFFFFFu);
  auto big = Set(300), copy = Set(300);
  Yat_BitSet_Set(big.data(), 299 * 32 + 5);
  Yat_BitSet_Copy(copy.data(), big.data());
  EXPECT_EQ(copy, big);
  Yat_BitSet_Zero(copy.data());
  EXPECT_TRUE(Yat_BitSet_IsEmpty(copy.data()));
}

}  // namespace
