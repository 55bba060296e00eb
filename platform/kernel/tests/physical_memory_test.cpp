// The simulated physical memory inside one process: the arena's allocator and
// lookups, and DMA into locked pages of this very process.
#include "platform/kernel/physical_memory.h"

#include <gtest/gtest.h>
#include <sys/mman.h>

#include <cstring>
#include <vector>

#include "platform/testing/machine_fixture.h"
#include "platform/win/process.h"

namespace plat::kernel {
namespace {

constexpr std::size_t kArenaPages = 16;

class PhysicalMemoryTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(physmem_start(kArenaPages * kPageSize)); }
  void TearDown() override { physmem_stop(); }

  // This process as a client of connection 7, its memory reached like any client's.
  ClientInfo self() const { return ClientInfo{current_process(), 7, 0, 0}; }

  plat::testing::ScopedMachine machine_;
};

TEST_F(PhysicalMemoryTest, AllocationsAreContiguousAndRespectTheHighestAddress) {
  ContiguousBlock low{}, refused{}, whole{};
  std::uint64_t three_pages_end = kArenaBase + 3 * kPageSize - 1;
  ASSERT_TRUE(physmem_allocate(2 * kPageSize + 1, three_pages_end, &low));
  EXPECT_EQ(low.size, 3 * kPageSize);
  EXPECT_LE(low.physical + low.size - 1, three_pages_end);
  EXPECT_FALSE(physmem_allocate(kPageSize, three_pages_end, &refused));
  EXPECT_FALSE(physmem_allocate(kArenaPages * kPageSize, 0xFFFFFFFF, &refused));
  EXPECT_FALSE(physmem_allocate(0, 0xFFFFFFFF, &refused));
  physmem_free(low);
  ASSERT_TRUE(physmem_allocate(kArenaPages * kPageSize, 0xFFFFFFFF, &whole));
  EXPECT_EQ(whole.physical, kArenaBase);
}

TEST_F(PhysicalMemoryTest, FreedPagesComeBackZeroed) {
  ContiguousBlock block{};
  ASSERT_TRUE(physmem_allocate(kPageSize, 0xFFFFFFFF, &block));
  std::memset(block.kernel_address, 0x5A, block.size);
  physmem_free(block);
  physmem_free(block);  // a second free of the same block changes nothing
  ContiguousBlock again{};
  ASSERT_TRUE(physmem_allocate(kPageSize, 0xFFFFFFFF, &again));
  EXPECT_EQ(again.physical, block.physical);
  EXPECT_EQ(static_cast<std::uint8_t*>(again.kernel_address)[100], 0);
}

TEST_F(PhysicalMemoryTest, AddressesTranslateBothWays) {
  ContiguousBlock block{};
  ASSERT_TRUE(physmem_allocate(2 * kPageSize, 0xFFFFFFFF, &block));
  auto* inside = static_cast<std::byte*>(block.kernel_address) + kPageSize + 5;
  EXPECT_EQ(physmem_physical_of(inside), block.physical + kPageSize + 5);
  EXPECT_EQ(physmem_kernel_address(block.physical + kPageSize + 5), inside);
  int outside = 0;
  EXPECT_EQ(physmem_physical_of(&outside), 0u);
  EXPECT_EQ(physmem_kernel_address(kArenaBase + kArenaPages * kPageSize), nullptr);
  EXPECT_EQ(physmem_kernel_address(kArenaBase - 1), nullptr);
  ClientInfo client = self();
  client.arena_view = 0x7000000000;
  EXPECT_EQ(physmem_client_address(client, block.physical + 9), 0x7000000000 + (block.physical - kArenaBase) + 9);
  EXPECT_EQ(physmem_client_address(client, kLockedBase), 0u);
}

TEST_F(PhysicalMemoryTest, DmaIntoTheArenaStopsAtItsEnd) {
  std::vector<std::byte> data(3 * kPageSize, std::byte{0x42});
  std::uint64_t last_page = kArenaBase + (kArenaPages - 1) * kPageSize;
  ASSERT_TRUE(dma_write(kArenaBase + 10, data));
  EXPECT_EQ(static_cast<std::byte*>(physmem_kernel_address(kArenaBase + 10 + data.size() - 1))[0],
            std::byte{0x42});
  EXPECT_FALSE(dma_write(last_page, data));
  std::vector<std::byte> back(data.size());
  ASSERT_TRUE(dma_read(kArenaBase + 10, back));
  EXPECT_EQ(back, data);
  EXPECT_FALSE(dma_read(0x1000, back));
}

TEST_F(PhysicalMemoryTest, LockedPagesTakeDmaUntilUnlockedOrReleased) {
  std::vector<std::uint8_t> buffer(3 * kPageSize + 300, 0);
  std::uint64_t address = reinterpret_cast<std::uint64_t>(buffer.data()) + 100;
  std::vector<std::uint64_t> pages;
  LockedBuffer* locked = nullptr;
  ASSERT_TRUE(physmem_lock_client(self(), address, 3 * kPageSize, &pages, &locked));
  ASSERT_GE(pages.size(), 3u);
  EXPECT_GE(pages[0], kLockedBase);
  EXPECT_EQ(pages[0] % kPageSize, address % kPageSize);
  std::vector<std::byte> data(3 * kPageSize);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::byte>(i % 253);
  ASSERT_TRUE(dma_write(pages[0], data));
  EXPECT_EQ(std::memcmp(buffer.data() + 100, data.data(), data.size()), 0);
  EXPECT_EQ(buffer[99], 0);
  physmem_unlock_client(locked);
  EXPECT_FALSE(dma_write(pages[0], data));

  ASSERT_TRUE(physmem_lock_client(self(), address, 16, &pages, &locked));
  ASSERT_EQ(pages.size(), 1u);
  physmem_release_client(8);  // another client's release leaves it
  EXPECT_TRUE(dma_write(pages[0], std::span(data).first(16)));
  physmem_release_client(7);
  EXPECT_FALSE(dma_write(pages[0], std::span(data).first(16)));
  physmem_unlock_client(locked);  // already gone: nothing happens
}

TEST_F(PhysicalMemoryTest, LockingUnmappedMemoryFails) {
  void* hole = ::mmap(nullptr, 2 * kPageSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(hole, MAP_FAILED);
  ::munmap(static_cast<char*>(hole) + kPageSize, kPageSize);
  std::vector<std::uint64_t> pages;
  LockedBuffer* locked = nullptr;
  EXPECT_FALSE(physmem_lock_client(self(), reinterpret_cast<std::uint64_t>(hole), 2 * kPageSize,
                                   &pages, &locked));
  EXPECT_FALSE(physmem_lock_client(self(), 0, kPageSize, &pages, &locked));
  ::munmap(hole, kPageSize);
}

}  // namespace
}  // namespace plat::kernel
