#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "firmware/win32/QelUtilUserBuffer.h"
#include "platform/support/machine_log.h"
#include "platform/testing/board_control.h"
#include "platform/testing/child_process.h"
#include "platform/testing/kernel_host.h"
#include "platform/testing/machine_fixture.h"
#include "platform/win/address_space.h"
#include "platform/win/physical_memory.h"
#include "platform/win/privileges.h"
#include "platform/win/system_info.h"
#include "qellib/QelLog.h"

namespace {

// Every byte of the simulated memory is free.
bool ArenaIsFree() {
  plat::PhysicalArena arena{};
  plat::ContiguousMemory whole{};
  if (!plat::physical_arena(&arena) || !plat::allocate_contiguous(arena.size, 0, 0, 0, &whole)) return false;
  return plat::free_contiguous(whole.physical);
}

class UserBuffers : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(host_.ready());
    LoadQelLog();
  }
  void TearDown() override { UnloadQelLog(); }

  plat::testing::ScopedMachine machine_;
  plat::testing::KernelHostProcess host_{{"FolvantX4Full"}};
};

TEST_F(UserBuffers, PagesMapInWindowsAndTheBoardsDmaReachesThem) {
  std::uint64_t size = 3 * 4096 + 100;
  QelUtilUserBuffer buffer{};
  ASSERT_TRUE(QelUtilAllocUserBuffer(&size, &buffer));
  EXPECT_TRUE(plat::is_process_privilege_enabled("SeLockMemoryPrivilege"));
  EXPECT_EQ(size, 3u * 4096 + 100);
  ASSERT_EQ(buffer.pageCount, 4u);
  EXPECT_TRUE(QelUtilIsPagesBelow4GUserBuffer(&buffer));
  EXPECT_TRUE(QelUtilIsScatterListDirect());

  // A window over bytes 5000..10999: pages 1 and 2.
  QelUtilUserWindow window{};
  auto* part = static_cast<char*>(QelUtilMapUserBuffer(&buffer, 5000, 6000, &window));
  ASSERT_NE(part, nullptr);
  EXPECT_EQ(window.pageCount, 2u);
  EXPECT_EQ(window.callerAddress, 0u);
  std::memcpy(part, "through a window", 16);

  std::vector<QelUtilScatterEntry> list(4);
  EXPECT_FALSE(QelUtilGetSegUserBuffer(&buffer, list.data(), 3));
  ASSERT_TRUE(QelUtilGetSegUserBuffer(&buffer, list.data(), 4));
  for (std::size_t page = 0; page < 4; ++page) {
    const QelUtilScatterEntry entry = list[page];
    EXPECT_EQ(std::uint64_t{entry.address}, buffer.pages[page] * 4096);
    EXPECT_EQ(std::uint32_t{entry.length}, 4096u);
  }
  const std::vector<std::byte> dma = {std::byte{'D'}, std::byte{'M'}, std::byte{'A'}};
  const std::uint64_t third = list[2].address;
  ASSERT_EQ(plat::testing::board_control_dma_write(0, third + 10, dma), 0);
  // Byte 2 * 4096 + 10 of the buffer is byte 3202 of the window.
  EXPECT_EQ(std::string(part + (2 * 4096 + 10 - 5000), 3), "DMA");

  // A second window on the whole buffer shows the same memory.
  QelUtilUserWindow whole{};
  auto* all = static_cast<char*>(QelUtilMapUserBuffer(&buffer, 0, size, &whole));
  ASSERT_NE(all, nullptr);
  EXPECT_EQ(std::string(all + 5000, 16), "through a window");
  EXPECT_TRUE(QelUtilUnmapUserBuffer(&whole));
  // A window in address space the caller reserved stays the caller's after the unmap.
  void* reserved = plat::reserve_address_space(2 * 4096);
  ASSERT_NE(reserved, nullptr);
  QelUtilUserWindow mine{};
  auto* given = static_cast<char*>(QelUtilMapUserBufferEx(&buffer, 4096 + 5, 10, reserved, &mine));
  ASSERT_EQ(given, static_cast<char*>(reserved) + 5);
  EXPECT_EQ(mine.callerAddress, 1u);
  EXPECT_EQ(std::string(given + 5000 - 4096 - 5, 16), "through a window");
  EXPECT_TRUE(QelUtilUnmapUserBuffer(&mine));
  EXPECT_TRUE(plat::release_address_space(reserved));

  EXPECT_EQ(QelUtilMapUserBuffer(&buffer, 4096, size, &mine), nullptr);
  EXPECT_TRUE(QelUtilUnmapUserBuffer(&window));
  EXPECT_FALSE(QelUtilUnmapUserBuffer(&window));
  EXPECT_TRUE(QelUtilFreeUserBuffer(&buffer));
  EXPECT_EQ(buffer.pages, nullptr);
  EXPECT_TRUE(ArenaIsFree());
  UnloadQelLog();
  EXPECT_NE(plat::support::read_machine_log().find(
                "QelUtilMapUserBufferEx=> Invalid argument (bufOffset + bufMapSize > bufSize)"),
            std::string::npos);
}

TEST_F(UserBuffers, PagesAbove4GBAreTradedForPagesBelow) {
  // A buffer one of whose pages lies above 4 GB, as a machine with more memory gives them.
  std::uint64_t size = 2 * 4096;
  QelUtilUserBuffer buffer{};
  ASSERT_TRUE(QelUtilAllocUserBuffer(&size, &buffer));
  const std::uint64_t real = buffer.pages[1];
  buffer.pages[1] = 0x100000 + 7;
  EXPECT_FALSE(QelUtilIsPagesBelow4GUserBuffer(&buffer));
  std::vector<QelUtilScatterEntry> list(2);
  EXPECT_FALSE(QelUtilGetSegUserBuffer(&buffer, list.data(), 2));
  ASSERT_TRUE(QelUtilReplacePagesAbove4GUserBuffer(&buffer));
  EXPECT_TRUE(QelUtilIsPagesBelow4GUserBuffer(&buffer));
  EXPECT_TRUE(QelUtilGetSegUserBuffer(&buffer, list.data(), 2));
  EXPECT_NE(buffer.pages[1], real);
  std::uint64_t count = 1;
  std::uint64_t page = real;
  ASSERT_NE(plat::find_system_procedure("kernel32", "FreeUserPhysicalPages"), nullptr);
  EXPECT_TRUE(plat::free_physical_pages(&count, &page));
  EXPECT_TRUE(QelUtilFreeUserBuffer(&buffer));
  EXPECT_TRUE(ArenaIsFree());
  UnloadQelLog();
  EXPECT_NE(plat::support::read_machine_log().find("QelUtilGetPagesUserBuffer=> At least one page is above 4 GBytes"),
            std::string::npos);
}

TEST(UserBuffersWithoutKernelHost, AreNotAvailable) {
  plat::testing::ScopedMachine machine;
  plat::testing::ChildProcess process("quillet-helper-os", {});
  ASSERT_EQ(process.read_line(), "ready");
  process.write_line("user 8192");
  EXPECT_EQ(process.read_line(), "fail");
  process.write_line("exit");
  EXPECT_EQ(process.wait(), 0);
  EXPECT_NE(plat::support::read_machine_log().find("QelUtilAllocUserBuffer=> Not available"), std::string::npos);
}

}  // namespace
