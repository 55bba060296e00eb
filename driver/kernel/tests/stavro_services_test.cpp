// Kernel services of the driver: status conversions, stalls, page buckets,
// the memory driver's wrappers, the validation's buffer check, files.
#include <gtest/gtest.h>

#include <chrono>

#include <cstring>
#include <vector>

#include "driver/kernel/IocSections.h"
#include "driver/kernel/KernelServices.h"
#include "driver/kernel/OutsideDrivers.h"
#include "driver/kernel/PageBucket.h"
#include "driver/kernel/StatusConversion.h"
#include "driver/kernel/StavroGlobals.h"
#include "driver/kernel/Timing.h"
#include "driver/kernel/tests/stavro_fixture.h"
#include "platform/kernel/memory.h"

namespace {

TEST(StavroStatus, NtStatusConvertsToBoardStatus) {
  struct Case {
    std::uint32_t nt;
    QelHwStatus hw;
  } cases[] = {{0, QELHW_OK},
               {0xC0000001, QELHW_ERROR_GENERIC},
               {0xC0000002, QELHW_ERROR_NOT_IMPLEMENTED},
               {0xC000000D, QELHW_ERROR_ARG_INVALID},
               {0xC0000017, QELHW_ERROR_INSUFFICIENT_MEMORY},
               {0xC00000C2, QELHW_ERROR_DEVICE_NOT_RESPONDING},
               {0x103, QELHW_ERROR_GENERIC},
               {0xC0000034, QELHW_ERROR_GENERIC}};
  for (const Case& c : cases) EXPECT_EQ(NtStatusToHwStatus(static_cast<plat::NtStatus>(c.nt)), c.hw) << std::hex << c.nt;
}

TEST(StavroStatus, BoardStatusConvertsToNtStatus) {
  struct Case {
    QelHwStatus hw;
    std::uint32_t nt;
  } cases[] = {{-4001, 0xC00000C2}, {-2002, 0xC0000017}, {-10, 0xC0000002},
               {-3, 0xC000000D},    {0, 0},              {-3004, 0xC0000001}};
  for (const Case& c : cases) EXPECT_EQ(static_cast<std::uint32_t>(HwStatusToNtStatus(c.hw)), c.nt) << c.hw;
}

std::vector<std::uint32_t> g_waits;
std::uint32_t RecordWait(std::uint32_t nanoseconds) {
  g_waits.push_back(nanoseconds);
  return 1;
}

TEST(StavroTiming, StallWaitsInHalfMillisecondPieces) {
  StavroReadCounter();  // the clock rate becomes the counter's
  g_waits.clear();
  EXPECT_EQ(StallNanosecondsWith(1200000, RecordWait), 1u);
  EXPECT_EQ(g_waits, (std::vector<std::uint32_t>{500000, 500000, 200000}));
  EXPECT_GT(GetTimeMicroseconds(), 0u);
}

TEST(StavroTiming, ABusyWaitLetsTheTimeGoBy) {
  StavroReadCounter();
  for (std::uint32_t nanoseconds : {1000u, 200000u}) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(BusyWaitNanoseconds(nanoseconds), 1u);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::nanoseconds(nanoseconds));
  }
}

TEST(StavroBuckets, HeaderRoomIsWholeSlots) {
  EXPECT_EQ(BucketHeaderRoom(20), 40u);
  EXPECT_EQ(BucketHeaderRoom(32), 32u);
  EXPECT_EQ(BucketHeaderRoom(28), 28u);
  EXPECT_EQ(BucketHeaderRoom(8), 32u);
}

class StavroInProcess : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(kernel_.Start(), plat::kStatusSuccess); }
  InProcessStavro kernel_;
};

TEST_F(StavroInProcess, HostBucketChainGrowsAndMapsBothWays) {
  YatBucketHeader* list = nullptr;
  constexpr std::uint32_t kSlot = 20;
  const std::uint32_t perBucket = (kHostBucketSize - BucketHeaderRoom(kSlot)) / kSlot;
  void* first = GDrv_GetNextBucketObjectEx(nullptr, &list, kBucketKindHost, kSlot, 0);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(static_cast<std::uint8_t*>(first) - reinterpret_cast<std::uint8_t*>(list), 40);
  void* last = nullptr;
  for (std::uint32_t i = 1; i <= perBucket; ++i) last = GDrv_GetNextBucketObjectEx(nullptr, &list, kBucketKindHost, kSlot, 0);
  ASSERT_NE(last, nullptr);
  const std::uint64_t previous = list->previous;
  const std::uint16_t used = list->usedSlots;
  EXPECT_NE(previous, 0u);  // the slot past the first bucket's capacity opened a second bucket
  EXPECT_EQ(used, 1);
  std::uint64_t physical = GetBucketPhysicalAddress(nullptr, &list, last);
  ASSERT_NE(physical, 0u);
  EXPECT_LT(physical, 0x100000000ull);
  EXPECT_EQ(GetBucketAddressFromPhysical(nullptr, &list, physical), last);
  FreePageForPCI(nullptr, &list);
  EXPECT_EQ(list, nullptr);
}

TEST_F(StavroInProcess, BucketRefusesBadArguments) {
  EXPECT_EQ(GDrv_GetNextBucketObjectEx(nullptr, nullptr, kBucketKindHost, 20, 0), nullptr);
  YatBucketHeader* list = nullptr;
  EXPECT_EQ(GDrv_GetNextBucketObjectEx(nullptr, &list, kBucketKindHost, 0, 0), nullptr);
  EXPECT_NE(kernel_.Log().find("Stavro.SYS: GDrv_GetNextBucketObjectEx, Invalid Argument ppPageList and/or descSize."),
            std::string::npos);
}

TEST_F(StavroInProcess, LockOf4GBWithoutExEntryIsRefused) {
  g_StavroMemory.table.entry[plat::kernel::kQelMemLockEx] = nullptr;
  g_StavroMemory.table.entry[plat::kernel::kQelMemUnlockEx] = nullptr;
  plat::kernel::QelMemLockRecord record{};
  record.user_address = 0x1000;
  record.buffer_size = 0x100000000ull;
  EXPECT_EQ(QelMemScatterGatherLockEx(nullptr, &record, 0, 0), 0u);
  EXPECT_NE(kernel_.Log().find("Stavro.SYS: QelMemScatterGatherLockEx not available and Buffer Size >= 4 GB"),
            std::string::npos);
  EXPECT_EQ(QelMemScatterGatherUnlockEx(&record), 0);
  EXPECT_NE(kernel_.Log().find("Stavro.SYS: QelMemScatterGatherUnlockEx not available and Buffer Size >= 4 GB"),
            std::string::npos);
}

TEST_F(StavroInProcess, LockRecordWithOldSizeFieldIsRefused) {
  plat::kernel::QelMemLockRecord record{};
  record.nbBytesMax4G = 4096;
  EXPECT_EQ(QelMemScatterGatherLockEx(nullptr, &record, 0, 0), 0u);
  EXPECT_NE(kernel_.Log().find("Stavro.SYS: QelMemScatterGatherLockEx => Obsolete member nbBytesMax4G != 0"),
            std::string::npos);
}

TEST_F(StavroInProcess, AllocPagesAreZeroFilled) {
  auto* block = static_cast<std::uint8_t*>(QelMemAllocPages(6000));
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(std::count(block, block + 6000, 0), 6000);
  QelMemFreePages(block);
}

TEST_F(StavroInProcess, NullInputWithLengthFailsBeforeAnyBoardLookup) {
  std::uint8_t out[8];
  std::memset(out, 0xEE, sizeof out);
  EXPECT_EQ(Yat_Ioc_Section0(kernel_.manager(), YAT_IOCTRL_GET_ABI_VERSION, nullptr, 12, out, sizeof out),
            QELHW_ERROR_IOC_BUFFER);
  std::int32_t word = 0;
  std::memcpy(&word, out, 4);
  EXPECT_EQ(word, QELHW_ERROR_IOC_BUFFER);
  EXPECT_EQ(kernel_.Log().find("pBoardExt = NULL"), std::string::npos);
}

TEST_F(StavroInProcess, OpenFileNeedsAnAbsoluteDrivePath) {
  plat::kernel::KernelFile* file = nullptr;
  EXPECT_EQ(YatOpenFile("relative\\file.bin", &file), QELHW_ERROR_FILE_OPEN);
  EXPECT_EQ(file, nullptr);
  EXPECT_EQ(YatOpenFile("C:\\missing\\file.bin", &file), QELHW_ERROR_FILE_OPEN);
  EXPECT_NE(kernel_.Log().find("Stavro.SYS: >YatOpenFile< Unable to open file '\\DosDevices\\C:\\missing\\file.bin'"),
            std::string::npos);
}

TEST_F(StavroInProcess, UnknownEventHandleIsNotRegistered) {
  plat::kernel::UserEvent* event = reinterpret_cast<plat::kernel::UserEvent*>(1);
  EXPECT_EQ(RegisterGrabEvent(0x12345, &event), QELHW_ERROR_SYSTEM_RESOURCE);
  EXPECT_EQ(event, nullptr);
  EXPECT_NE(kernel_.Log().find("Stavro.SYS: >RegisterGrabEvent< Unable to reference Event Handle"), std::string::npos);
}

TEST_F(StavroInProcess, MapBufferRefusesEmptyLength) {
  std::uint64_t address = 1, length = 0;
  EXPECT_EQ(MapBuffer(0x10000000, 0, &address, &length), plat::kStatusUnsuccessful);
  EXPECT_NE(kernel_.Log().find("Stavro.SYS: MAPBUFFER => mappedLength.QuadPart == 0"), std::string::npos);
}

}  // namespace
