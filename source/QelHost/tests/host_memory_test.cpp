#include <cstring>

#include "platform/testing/board_control.h"
#include "platform/testing/kernel_host.h"
#include "source/QelHost/tests/host_test_support.h"

namespace {

using host_test::HostLayer;

TEST_F(HostLayer, PhysicalPagesAndMappedBuffersOfTheSimulatedMemory) {
  plat::testing::KernelHostProcess host({"FolvantX4Full"});
  ASSERT_TRUE(host.ready());
  std::uint64_t count = 3;
  std::uint64_t pages[3] = {};
  qelmem::QelMemPhysHandle memory = 0;
  ASSERT_EQ(HOSTALLOCPHYSMEMORY(0, 0xFFFFFFFF, 0, &count, pages, &memory), QEL_OK);
  EXPECT_EQ(count, 3u);
  for (std::uint64_t page : pages) EXPECT_LT(page, 0x100000u);
  std::uint64_t again[3] = {};
  std::uint32_t returned = 0;
  ASSERT_EQ(HOSTGETPHYSMEMORY(memory, again, 3, &returned), QEL_OK);
  EXPECT_EQ(returned, 3u);
  EXPECT_EQ(std::memcmp(pages, again, sizeof pages), 0);
  std::uint64_t address = 0;
  ASSERT_EQ(HOSTMAPPHYSMEMORY(memory, &address), QEL_OK);
  auto* bytes = reinterpret_cast<char*>(address);
  const std::vector<std::byte> dma = {std::byte{'p'}, std::byte{'g'}};
  ASSERT_EQ(plat::testing::board_control_dma_write(0, pages[2] * 4096 + 1, dma), 0);
  EXPECT_EQ(std::string(bytes + 2 * 4096 + 1, 2), "pg");

  // The same pages through a view of their physical addresses.
  void* view = nullptr;
  ASSERT_EQ(HOSTMAPBUFFER(pages[2] * 4096, 4096, &view), QEL_OK);
  EXPECT_EQ(std::string(static_cast<char*>(view) + 1, 2), "pg");
  std::uint64_t physical = 0;
  ASSERT_EQ(HOSTVIRTUALTOPHYS(static_cast<char*>(view) + 1, &physical), QEL_OK);
  EXPECT_EQ(physical, pages[2] * 4096 + 1);
  EXPECT_EQ(HOSTUNMAPBUFFER(view), QEL_OK);

  EXPECT_EQ(HOSTUNMAPPHYSMEMORY(memory, bytes), QEL_OK);
  EXPECT_EQ(HOSTFREEPHYSMEMORY(memory), QEL_OK);
  EXPECT_EQ(HOSTFREEPHYSMEMORY(memory), 86u);

  // A contiguous buffer inside address limits.
  void* contiguous = nullptr;
  ASSERT_EQ(HOSTALLOCCONTIGBUFFEREX(196, 0, 0xFFFFFFFF, &physical, &contiguous), QEL_OK);
  EXPECT_LT(physical + 196, 0x100000000u);
  EXPECT_EQ(HOSTFREECONTIGBUFFER(contiguous), QEL_OK);
  EXPECT_EQ(HOSTUNLOCKALLSGBUFFER(), QEL_OK);
}

}  // namespace
