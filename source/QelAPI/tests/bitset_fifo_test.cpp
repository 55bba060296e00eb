#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

#include "source/QelAPI/QelBitSet.h"
#include "source/QelAPI/QelRecordFifo.h"

namespace {

// A set of `words` words, all zero.
std::vector<std::uint32_t> MakeSet(std::uint32_t words) {
  std::vector<std::uint32_t> set(words + 1, 0);
  set[0] = words;
  return set;
}

TEST(BitSet, BitsInsideAndPastTheCount) {
  auto set = MakeSet(2);
  EXPECT_TRUE(BitSetIsEmpty(set.data()));
  BitSetSet(63, set.data());
  BitSetSet(64, set.data());  // past two words: nothing changes
  EXPECT_TRUE(BitSetTest(63, set.data()));
  EXPECT_FALSE(BitSetTest(64, set.data()));
  EXPECT_EQ(set[2], 0x80000000u);
  std::uint32_t first = 0;
  ASSERT_TRUE(BitSetFindFirst(&first, set.data()));
  EXPECT_EQ(first, 63u);
  BitSetSet(5, set.data());
  ASSERT_TRUE(BitSetFindFirst(&first, set.data()));
  EXPECT_EQ(first, 5u);
  BitSetClear(5, set.data());
  BitSetClear(63, set.data());
  EXPECT_TRUE(BitSetIsEmpty(set.data()));
  EXPECT_FALSE(BitSetFindFirst(&first, set.data()));
}

TEST(BitSet, WholeSetOperations) {
  auto set = MakeSet(3);
  BitSetSetAll(set.data());
  EXPECT_EQ(set, (std::vector<std::uint32_t>{3, ~0u, ~0u, ~0u}));
  BitSetInvert(set.data());
  EXPECT_TRUE(BitSetIsEmpty(set.data()));
  BitSetSet(40, set.data());
  BitSetInvert(set.data());
  EXPECT_EQ(set[2], ~(1u << 8));
  BitSetClearAll(set.data());
  EXPECT_TRUE(BitSetIsEmpty(set.data()));

  auto copy = MakeSet(5);
  set[3] = 0x1234;
  BitSetCopy(copy.data(), set.data());
  EXPECT_EQ(copy[0], 3u);
  EXPECT_EQ(copy[3], 0x1234u);
}

TEST(BitSet, AndAndOrOverTheSmallerCount) {
  auto three = MakeSet(3);
  BitSetSetAll(three.data());
  auto one = MakeSet(1);
  one[1] = 0x0F0F0F0F;
  BitSetAnd(three.data(), one.data());
  EXPECT_EQ(three, (std::vector<std::uint32_t>{3, 0x0F0F0F0F, ~0u, ~0u}));

  auto small = MakeSet(1);
  BitSetOr(small.data(), three.data());
  EXPECT_EQ(small, (std::vector<std::uint32_t>{1, 0x0F0F0F0F}));
}

TEST(BitSet, NullAndEmptySets) {
  std::uint32_t bit = 7;
  EXPECT_FALSE(BitSetIsEmpty(nullptr));
  EXPECT_FALSE(BitSetTest(0, nullptr));
  EXPECT_FALSE(BitSetFindFirst(&bit, nullptr));
  BitSetSet(0, nullptr);
  BitSetClear(0, nullptr);
  BitSetSetAll(nullptr);
  BitSetClearAll(nullptr);
  BitSetInvert(nullptr);
  BitSetCopy(nullptr, nullptr);
  BitSetAnd(nullptr, nullptr);
  BitSetOr(nullptr, nullptr);
  auto none = MakeSet(0);
  EXPECT_TRUE(BitSetIsEmpty(none.data()));
  BitSetSet(0, none.data());
  EXPECT_FALSE(BitSetTest(0, none.data()));
  EXPECT_EQ(bit, 7u);
}

// A FIFO with its store, as its users keep them.
struct Fifo {
  explicit Fifo(std::uint32_t slots, std::uint32_t record_bytes = 8) : store(slots * record_bytes + 1) {
    FifoInit(&control, 0, slots);
  }
  QelHwStatus Put(std::uint64_t value, std::uint32_t size = 8) { return FifoPut(&control, store.data(), &value, size); }
  QelHwStatus Get(std::uint64_t* value, std::uint32_t size = 8) { return FifoGet(&control, store.data(), value, size); }
  std::uint32_t Count() {
    std::uint32_t count = 0;
    EXPECT_EQ(FifoCount(&control, &count), 0);
    return count;
  }
  RecordFifo control{};
  std::vector<std::byte> store;
};

TEST(RecordFifo, FullFifoCountsItsOverflows) {
  Fifo fifo(4);
  EXPECT_EQ(fifo.Put(1), 0);
  EXPECT_EQ(fifo.Put(2), 0);
  EXPECT_EQ(fifo.Put(3), 0);
  EXPECT_EQ(fifo.Put(4), kFifoFull);
  EXPECT_EQ(fifo.control.overflowCount, 1u);
  EXPECT_EQ(fifo.Put(5), kFifoFull);
  EXPECT_EQ(fifo.control.overflowCount, 2u);
  EXPECT_EQ(fifo.Count(), 3u);
  std::uint64_t value = 0;
  for (std::uint64_t expected : {1, 2, 3}) {
    ASSERT_EQ(fifo.Get(&value), 0);
    EXPECT_EQ(value, expected);
  }
  EXPECT_EQ(fifo.Get(&value), kFifoEmpty);
}

TEST(RecordFifo, WrapsAroundItsSlots) {
  Fifo fifo(4);
  std::uint64_t value = 0;
  for (std::uint64_t round = 0; round < 10; ++round) {
    ASSERT_EQ(fifo.Put(round * 2), 0);
    ASSERT_EQ(fifo.Put(round * 2 + 1), 0);
    EXPECT_EQ(fifo.Count(), 2u);
    ASSERT_EQ(fifo.Get(&value), 0);
    EXPECT_EQ(value, round * 2);
    ASSERT_EQ(fifo.Get(&value), 0);
    EXPECT_EQ(value, round * 2 + 1);
  }
  EXPECT_EQ(fifo.control.overflowCount, 0u);
}

TEST(RecordFifo, RecordSizeIsFixedByTheFirstPut) {
  Fifo fifo(4);
  std::uint32_t size = 99;
  ASSERT_EQ(FifoGetRecordSize(&fifo.control, &size), 0);
  EXPECT_EQ(size, 0u);
  ASSERT_EQ(fifo.Put(0x1122334455667788, 8), 0);
  const auto before = fifo.store;
  EXPECT_EQ(fifo.Put(7, 4), kFifoSizeMismatch);
  EXPECT_EQ(fifo.Put(7, 0), kFifoSizeMismatch);
  EXPECT_EQ(fifo.store, before);
  EXPECT_EQ(fifo.Count(), 1u);
  ASSERT_EQ(FifoGetRecordSize(&fifo.control, &size), 0);
  EXPECT_EQ(size, 8u);
  std::uint64_t value = 0;
  EXPECT_EQ(fifo.Get(&value, 4), kFifoDestinationTooSmall);
  EXPECT_EQ(FifoPeek(&fifo.control, fifo.store.data(), &value, 8), 0);
  EXPECT_EQ(value, 0x1122334455667788u);
  EXPECT_EQ(fifo.Count(), 1u);
  EXPECT_EQ(fifo.Get(&value, 16), 0);
  EXPECT_EQ(fifo.Count(), 0u);
}

TEST(RecordFifo, ClosedFifoRefusesEverythingButInit) {
  Fifo fifo(4);
  ASSERT_EQ(fifo.Put(1), 0);
  for (std::uint32_t RecordFifo::*flag : {&RecordFifo::closed, &RecordFifo::closedByPeer}) {
    fifo.control.*flag = 1;
    std::uint64_t value = 0;
    std::uint32_t word = 0;
    EXPECT_EQ(FifoCheck(&fifo.control), kFifoClosed);
    EXPECT_EQ(fifo.Put(2), kFifoClosed);
    EXPECT_EQ(fifo.Get(&value), kFifoClosed);
    EXPECT_EQ(FifoPeek(&fifo.control, fifo.store.data(), &value, 8), kFifoClosed);
    EXPECT_EQ(FifoCount(&fifo.control, &word), kFifoClosed);
    EXPECT_EQ(FifoGetRecordSize(&fifo.control, &word), kFifoClosed);
    EXPECT_EQ(FifoReset(&fifo.control), kFifoClosed);
    fifo.control.*flag = 0;
  }
  EXPECT_EQ(fifo.Count(), 1u);
  fifo.control.closed = 1;
  EXPECT_EQ(FifoInit(&fifo.control, 0, 8), 0);
  EXPECT_EQ(FifoCheck(&fifo.control), 0);
  EXPECT_EQ(fifo.Count(), 0u);
}

TEST(RecordFifo, NullPointersAndTinyFifos) {
  Fifo fifo(4);
  std::uint64_t value = 0;
  EXPECT_EQ(FifoCheck(nullptr), kFifoNullPointer);
  EXPECT_EQ(FifoInit(nullptr, 0, 4), kFifoNullPointer);
  EXPECT_EQ(FifoPut(&fifo.control, nullptr, &value, 8), kFifoNullPointer);
  EXPECT_EQ(FifoPut(&fifo.control, fifo.store.data(), nullptr, 8), kFifoNullPointer);
  EXPECT_EQ(FifoGet(&fifo.control, fifo.store.data(), nullptr, 8), kFifoNullPointer);
  EXPECT_EQ(FifoCount(&fifo.control, nullptr), kFifoNullPointer);
  EXPECT_EQ(FifoResize(&fifo.control, 8), kFifoNotSupported);

  for (std::uint32_t slots : {0u, 1u}) {
    Fifo tiny(slots);
    EXPECT_EQ(tiny.Put(1), kFifoFull) << slots;
    EXPECT_EQ(tiny.control.overflowCount, 1u);
    EXPECT_EQ(tiny.Get(&value), kFifoEmpty);
    EXPECT_EQ(tiny.Count(), 0u);
  }
  Fifo two(2);
  EXPECT_EQ(two.Put(1), 0);
  EXPECT_EQ(two.Put(2), kFifoFull);
}

TEST(RecordFifo, IndexesOutsideTheSlotsAreNeverFollowed) {
  Fifo fifo(4);
  fifo.control.writeIndex = 1000;  // as a foreign writer could leave it
  std::uint64_t value = 0;
  EXPECT_EQ(fifo.Put(1), kFifoFull);
  EXPECT_EQ(fifo.Get(&value), kFifoEmpty);
  EXPECT_EQ(FifoReset(&fifo.control), 0);
  EXPECT_EQ(fifo.Put(1), 0);
}

}  // namespace
