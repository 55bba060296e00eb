#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "driver/kernel/MemManager.h"
#include "driver/kernel/tests/StavroLogCapture.h"
#include "platform/testing/machine_fixture.h"

namespace {

using Ranges = std::vector<std::pair<std::uint64_t, std::uint64_t>>;  // start, size

Ranges FreeRanges(const YatMemManager* manager) {
  Ranges out;
  for (const YatMemRange* r = manager->freeList; r != nullptr; r = r->next) out.emplace_back(r->start, r->size);
  return out;
}

struct ScopedManager {
  YatMemManager* manager;
  ScopedManager(std::uint64_t start, std::uint64_t size) : manager(MemManagerNewManager(start, size)) {}
  ~ScopedManager() { MemManagerDeleteManager(manager); }
};

const YatMemOwner kMe = plat::current_process();
// The same pid with another start time: a process that has ended.
const YatMemOwner kEnded{kMe.pid, 0, kMe.start_time + 1};

TEST(MemManager, CarvesAlignedRangesFromTheBestFit) {
  plat::testing::ScopedMachine machine;
  struct Case {
    std::uint64_t freeStart, freeSize, request;
    bool served;
    std::uint64_t at;
    Ranges leftFree;
  };
  const Case cases[] = {
      {0x1000, 0x1000, 0x800, true, 0x1000, {{0x1800, 0x800}}},
      {0x100, 0xFFF, 0x900, false, 0, {{0x100, 0xFFF}}},
      {0x100, 0x1000, 0x900, true, 0x800, {{0x100, 0x700}}},
      {0x100, 0x2000, 0x100, true, 0x800, {{0x100, 0x700}, {0x900, 0x1800}}},
      {0x0, 0x1000, 0x1000, true, 0x0, {}},
  };
  for (const Case& c : cases) {
    ScopedManager m(c.freeStart, c.freeSize);
    std::uint64_t at = ~0ull;
    EXPECT_EQ(MemManagerAllocate(m.manager, c.request, kMe, kYatMemAllocationAlignment, &at), c.served)
        << std::hex << c.freeStart << " " << c.freeSize << " " << c.request;
    if (c.served) {
      EXPECT_EQ(at, c.at);
    }
    EXPECT_EQ(FreeRanges(m.manager), c.leftFree) << std::hex << c.freeStart << " " << c.request;
  }
}

TEST(MemManager, SizesAreRoundedToFourBytes) {
  plat::testing::ScopedMachine machine;
  ScopedManager m(0, 0x10000);
  std::uint64_t at = 0;
  ASSERT_TRUE(MemManagerAllocate(m.manager, 5, kMe, kYatMemAllocationAlignment, &at));
  EXPECT_EQ(m.manager->bytesInUse, 8u);
  EXPECT_EQ(m.manager->usedList->size, 8u);
  EXPECT_FALSE(MemManagerAllocate(m.manager, 0, kMe, kYatMemAllocationAlignment, &at));
}

TEST(MemManager, FreedNeighboursMergeIntoOneRange) {
  plat::testing::ScopedMachine machine;
  ScopedManager m(0, 0x1800);
  const YatMemOwner other{kMe.pid, 0, kMe.start_time};
  std::uint64_t a = 0, b = 0, c = 0;
  ASSERT_TRUE(MemManagerAllocate(m.manager, 0x800, kMe, 2048, &a));
  ASSERT_TRUE(MemManagerAllocate(m.manager, 0x800, kMe, 2048, &b));
  ASSERT_TRUE(MemManagerAllocate(m.manager, 0x800, kMe, 2048, &c));
  EXPECT_EQ((std::vector<std::uint64_t>{a, b, c}), (std::vector<std::uint64_t>{0, 0x800, 0x1000}));
  // The middle one goes back alone, then the others.
  MemManagerInsertFree(m.manager, [&] {
    YatMemRange* middle = MemManagerFindUsed(m.manager, 0x800);
    MemManagerUnlinkUsed(m.manager, middle);
    return middle;
  }());
  EXPECT_EQ(FreeRanges(m.manager), (Ranges{{0x800, 0x800}}));
  MemManagerFreeByOwner(m.manager, other);
  EXPECT_EQ(FreeRanges(m.manager), (Ranges{{0, 0x1800}}));
  EXPECT_EQ(m.manager->usedList, nullptr);
  EXPECT_EQ(m.manager->bytesInUse, 0u);
}

TEST(MemManager, FreeByOwnerLeavesOtherOwnersRanges) {
  plat::testing::ScopedMachine machine;
  ScopedManager m(0, 0x4000);
  std::uint64_t at = 0;
  ASSERT_TRUE(MemManagerAllocate(m.manager, 0x800, kMe, 2048, &at));
  ASSERT_TRUE(MemManagerAllocate(m.manager, 0x800, kEnded, 2048, &at));
  ASSERT_TRUE(MemManagerAllocate(m.manager, 0x800, kMe, 2048, &at));
  MemManagerFreeByOwner(m.manager, kMe);
  ASSERT_NE(m.manager->usedList, nullptr);
  EXPECT_EQ(m.manager->usedList->next, nullptr);
  EXPECT_EQ(m.manager->usedList->start, 0x800u);
  EXPECT_EQ(m.manager->bytesInUse, 0x800u);
  EXPECT_EQ(FreeRanges(m.manager), (Ranges{{0, 0x800}, {0x1000, 0x3000}}));
}

TEST(MemManager, RangesOfEndedProcessesAreReclaimedWhenSpaceRunsOut) {
  plat::testing::ScopedMachine machine;
  stavro_test::ScopedLogCapture log;
  ScopedManager m(0, 0x1000);
  std::uint64_t at = 0;
  ASSERT_TRUE(MemManagerAllocate(m.manager, 0x800, kEnded, 2048, &at));
  ASSERT_TRUE(MemManagerAllocate(m.manager, 0x800, kMe, 2048, &at));
  ASSERT_TRUE(MemManagerAllocate(m.manager, 0x800, kMe, 2048, &at));
  EXPECT_EQ(at, 0u);  // where the ended process's range was
  EXPECT_TRUE(log.Contains("QELMEM.SYS: FREEUNUSEDMEMORY=> ProcessId: " + std::to_string(kMe.pid) +
                           " Address: 0x0 Size: 0x800"));
  EXPECT_FALSE(MemManagerAllocate(m.manager, 0x800, kMe, 2048, &at));
}

TEST(MemManager, PiecesReturnedWithoutMergingAreJoinedWhenABiggerRequestNeedsThem) {
  plat::testing::ScopedMachine machine;
  ScopedManager m(0, 0x2000);
  std::uint64_t a = 0, b = 0, c = 0;
  ASSERT_TRUE(MemManagerAllocate(m.manager, 0x800, kMe, 2048, &a));
  ASSERT_TRUE(MemManagerAllocate(m.manager, 0x800, kMe, 2048, &b));
  ASSERT_TRUE(MemManagerAllocate(m.manager, 0x800, kMe, 2048, &c));
  for (std::uint64_t start : {a, b}) {
    YatMemRange* range = MemManagerFindUsed(m.manager, start);
    MemManagerUnlinkUsed(m.manager, range);
    MemManagerInsertFree(m.manager, range);
  }
  EXPECT_EQ(FreeRanges(m.manager), (Ranges{{0, 0x800}, {0x800, 0x800}, {0x1800, 0x800}}));
  std::uint64_t big = 1;
  ASSERT_TRUE(MemManagerAllocate(m.manager, 0x1000, kMe, 2048, &big));
  EXPECT_EQ(big, 0u);
  EXPECT_EQ(FreeRanges(m.manager), (Ranges{{0x1800, 0x800}}));
  EXPECT_EQ(MemManagerFindUsed(m.manager, 0x800), nullptr);
}

}  // namespace
