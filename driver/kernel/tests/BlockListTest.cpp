#include <gtest/gtest.h>

#include <cstring>

#include "driver/kernel/BlockList.h"
#include "platform/testing/machine_fixture.h"

namespace {

struct ScopedList {
  YatBlockList list{};
  ~ScopedList() { ListFree(&list); }
};

bool AllZero(const void* payload, std::size_t size) {
  const auto* bytes = static_cast<const unsigned char*>(payload);
  for (std::size_t i = 0; i < size; ++i)
    if (bytes[i] != 0) return false;
  return true;
}

TEST(BlockList, BlocksAreAppendedZeroedAndFoundByPosition) {
  plat::testing::ScopedMachine machine;
  ScopedList owned;
  EXPECT_EQ(BlockListAllocate(100, &owned.list), 0);
  EXPECT_EQ(BlockListAllocate(40, &owned.list), 1);
  EXPECT_EQ(BlockListAllocate(4000, &owned.list), 2);
  EXPECT_TRUE(AllZero(ListGetAt(0, &owned.list), 100));
  EXPECT_TRUE(AllZero(ListGetAt(2, &owned.list), 4000));
  EXPECT_EQ(ListGetAt(3, &owned.list), nullptr);
  EXPECT_EQ(ListGetAt(-1, &owned.list), nullptr);
  EXPECT_EQ(BlockListCount(&owned.list), 3u);
}

TEST(BlockList, OnlyPayloadsOfTheOwnListPassTheHandleCheck) {
  plat::testing::ScopedMachine machine;
  ScopedList mine, theirs;
  BlockListAllocate(64, &mine.list);
  BlockListAllocate(64, &mine.list);
  BlockListAllocate(64, &theirs.list);
  void* second = ListGetAt(1, &mine.list);
  EXPECT_EQ(BlockListCheckHandle(second, &mine.list), 1);
  EXPECT_EQ(BlockListCheckHandle(ListGetAt(0, &theirs.list), &mine.list), kYatNoBlock);
  EXPECT_EQ(BlockListCheckHandle(static_cast<char*>(second) + 8, &mine.list), kYatNoBlock);
  EXPECT_EQ(BlockListCheckHandle(nullptr, &mine.list), kYatNoBlock);
}

TEST(BlockList, HandleCheckWalksLongListsWhole) {
  plat::testing::ScopedMachine machine;
  ScopedList owned;
  for (int i = 0; i < 2500; ++i) ASSERT_EQ(BlockListAllocate(8, &owned.list), i);
  EXPECT_EQ(BlockListCheckHandle(ListGetAt(2499, &owned.list), &owned.list), 2499);
}

TEST(BlockList, FreeingAMiddleBlockKeepsTheOthersInOrder) {
  plat::testing::ScopedMachine machine;
  ScopedList owned;
  for (int i = 0; i < 3; ++i) {
    BlockListAllocate(sizeof(int), &owned.list);
    std::memcpy(ListGetAt(i, &owned.list), &i, sizeof i);
  }
  BlockListFree(1, &owned.list);
  BlockListFree(7, &owned.list);  // past the end: nothing
  ASSERT_EQ(BlockListCount(&owned.list), 2u);
  EXPECT_EQ(*static_cast<int*>(ListGetAt(0, &owned.list)), 0);
  EXPECT_EQ(*static_cast<int*>(ListGetAt(1, &owned.list)), 2);
  ListFree(&owned.list);
  EXPECT_EQ(owned.list.first, nullptr);
  EXPECT_EQ(BlockListAllocate(8, &owned.list), 0);
}

TEST(BlockList, TwoNodeListRefusesAThirdNode) {
  plat::testing::ScopedMachine machine;
  ScopedList nodes;
  void* first = TwoNodeListAllocate(24, &nodes.list);
  void* second = TwoNodeListAllocate(16, &nodes.list);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_TRUE(AllZero(first, 24));
  EXPECT_EQ(TwoNodeListAllocate(8, &nodes.list), nullptr);
  BlockListFree(0, &nodes.list);
  EXPECT_NE(TwoNodeListAllocate(8, &nodes.list), nullptr);
  ScopedList other;
  EXPECT_EQ(TwoNodeListAllocate(25, &other.list), nullptr);  // larger than a node
}

}  // namespace
