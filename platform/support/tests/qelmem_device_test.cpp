// The memory library's contiguous buffers, locks and physical pages, through
// the memory driver of a running kernel host; and what a process gets without one.
#include <gtest/gtest.h>
#include <sys/mman.h>

#include <chrono>
#include <cstddef>
#include <string>
#include <thread>
#include <vector>

#include "platform/testing/board_control.h"
#include "platform/testing/child_process.h"
#include "platform/testing/kernel_host.h"
#include "platform/testing/machine_fixture.h"
#include "platform/win/errors.h"
#include "platform/win/physical_memory.h"
#include "platform/win/system_info.h"

namespace {

using plat::testing::ChildProcess;
using plat::testing::KernelHostProcess;
using plat::testing::ScopedMachine;

std::string ask(ChildProcess& helper, const std::string& command, const std::string& word) {
  helper.write_line(command);
  std::string line = helper.read_line();
  return line.rfind(word + " ", 0) == 0 ? line.substr(word.size() + 1) : "";
}

// True once `done` holds, false if it still does not after a minute.
template <typename Done>
bool eventually(Done done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

// The whole arena can be taken (and is given back at once).
bool arena_whole() {
  plat::PhysicalArena arena{};
  plat::ContiguousMemory whole{};
  if (!plat::physical_arena(&arena) || !plat::allocate_contiguous(arena.size, 0, 0, 0, &whole)) return false;
  EXPECT_TRUE(plat::free_contiguous(whole.physical));
  return true;
}

void dma_write(std::uint64_t bus, std::vector<std::byte> bytes) {
  ASSERT_EQ(plat::testing::board_control_dma_write(0, bus, bytes), 0);
}

TEST(QelMemDevice, BuffersAndLocksGetBusAddressesTheBoardsDmaWrites) {
  ScopedMachine machine;
  KernelHostProcess host({"FolvantX4Full"});
  ASSERT_TRUE(host.ready());
  ChildProcess helper("plat-helper-qelmem", {});
  ASSERT_TRUE(helper.wait_for_line("ready"));

  std::uint64_t physical = std::stoull(ask(helper, "contig 10000", "contig"));
  ASSERT_NE(physical, 0u);
  EXPECT_LT(physical + 10000, 0x100000000ull);
  dma_write(physical + 1, {std::byte{0xAB}, std::byte{0xCD}});
  EXPECT_EQ(ask(helper, "bytes 4", "bytes"), "00abcd00");

  std::string lock = ask(helper, "lock 8000", "lock");
  std::uint64_t bus = std::stoull(lock.substr(0, lock.find(' ')));
  ASSERT_NE(bus, 0u);
  EXPECT_NE(lock.substr(lock.find(' ') + 1), "1");  // 8000 bytes from offset 100 span pages
  dma_write(bus, {std::byte{0x11}, std::byte{0x22}, std::byte{0x33}});
  EXPECT_EQ(ask(helper, "bytes 3", "bytes"), "112233");

  std::string pages = ask(helper, "pages 5", "pages");
  EXPECT_EQ(pages.substr(0, 2), "5 ");

  // The helper dies holding all of it: the host takes it back when it sees
  // the helper's connection go, a moment after the death.
  helper.kill_hard();
  ASSERT_TRUE(plat::physical_arena(nullptr));
  EXPECT_TRUE(eventually([&] {
    return plat::testing::board_control_dma_write(0, bus, std::vector<std::byte>(1)) != 0 && arena_whole();
  })) << "memory left behind";
}

TEST(QelMemDevice, FreedBuffersAndUnlockedPagesAreGoneForTheBoard) {
  ScopedMachine machine;
  KernelHostProcess host({"FolvantX4Full"});
  ASSERT_TRUE(host.ready());
  plat::PhysicalArena arena{};
  ASSERT_TRUE(plat::physical_arena(&arena));
  plat::ContiguousMemory block{};
  ASSERT_TRUE(plat::allocate_contiguous(3 * 4096, 0, 0, 0, &block));
  plat::ContiguousMemory whole{};
  EXPECT_FALSE(plat::allocate_contiguous(arena.size, 0, 0, 0, &whole));
  EXPECT_EQ(plat::last_error(), plat::kErrorNotEnoughMemory);
  EXPECT_FALSE(plat::free_contiguous(block.physical + 4096));  // not a block's start
  ASSERT_TRUE(plat::free_contiguous(block.physical));
  EXPECT_FALSE(plat::free_contiguous(block.physical));
  ASSERT_TRUE(plat::allocate_contiguous(arena.size, 0, 0, 0, &whole));
  ASSERT_TRUE(plat::free_contiguous(whole.physical));

  std::vector<unsigned char> buffer(5000);
  std::uint64_t lock_id = 0;
  std::vector<std::uint64_t> bus;
  ASSERT_TRUE(plat::lock_user_pages(buffer.data(), buffer.size(), &lock_id, &bus));
  dma_write(bus[0], {std::byte{0x42}});
  EXPECT_EQ(buffer[0], 0x42);
  ASSERT_TRUE(plat::unlock_user_pages(lock_id));
  EXPECT_FALSE(plat::unlock_user_pages(lock_id));
  EXPECT_NE(plat::testing::board_control_dma_write(0, bus[0], std::vector<std::byte>(1)), 0);
  EXPECT_FALSE(plat::lock_user_pages(reinterpret_cast<void*>(0x10), 100, &lock_id, &bus));  // not mapped
}

TEST(QelMemDevice, PhysicalPagesMapIntoTheProcessAndShowOneMemory) {
  ScopedMachine machine;
  KernelHostProcess host({"FolvantX4Full"});
  ASSERT_TRUE(host.ready());
  auto allocate = reinterpret_cast<plat::AllocateUserPhysicalPagesFn>(
      plat::find_system_procedure("kernel32", "AllocateUserPhysicalPages"));
  auto map = reinterpret_cast<plat::MapUserPhysicalPagesFn>(
      plat::find_system_procedure("KERNEL32", "MapUserPhysicalPages"));
  auto release = reinterpret_cast<plat::FreeUserPhysicalPagesFn>(
      plat::find_system_procedure("kernel32.dll", "FreeUserPhysicalPages"));
  ASSERT_TRUE(allocate && map && release);
  EXPECT_GE(plat::os_version().major, 6u);

  std::uint64_t count = 3;
  std::uint64_t pages[3] = {};
  ASSERT_EQ(allocate(0, &count, pages), 1);
  ASSERT_EQ(count, 3u);
  for (std::uint64_t page : pages) EXPECT_LT(page, 0x100000u);  // below 4 GB
  // Two windows on the same pages, in reverse order in the second.
  void* room = ::mmap(nullptr, 6 * 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(room, MAP_FAILED);
  auto* first = static_cast<unsigned char*>(room);
  auto* second = first + 3 * 4096;
  std::uint64_t reversed[3] = {pages[2], pages[1], pages[0]};
  ASSERT_EQ(map(first, 3, pages), 1);
  ASSERT_EQ(map(second, 3, reversed), 1);
  first[0] = 0x5A;
  first[2 * 4096 + 1] = 0xA5;
  EXPECT_EQ(second[2 * 4096], 0x5A);
  EXPECT_EQ(second[1], 0xA5);
  dma_write(pages[1] * 4096 + 7, {std::byte{0x77}});
  EXPECT_EQ(first[4096 + 7], 0x77);
  ASSERT_EQ(map(first, 3, nullptr), 1);
  ASSERT_EQ(map(second, 3, nullptr), 1);
  std::uint64_t bogus = 1;
  EXPECT_EQ(map(first, 1, &bogus), 0);
  ASSERT_EQ(release(0, &count, pages), 1);
  EXPECT_EQ(release(0, &count, pages), 0);  // not ours any more
  // The windows' range is ours again once the pages are gone.
  std::uint64_t after = 1;
  ASSERT_EQ(allocate(0, &after, pages), 1);
  ASSERT_EQ(release(0, &after, pages), 1);
  ASSERT_EQ(::munmap(first, 6 * 4096), 0);
}

TEST(QelMemDevice, AProcessHoldsOnlyWhatItWasGiven) {
  ScopedMachine machine;
  KernelHostProcess host({"FolvantX4Full"});
  ASSERT_TRUE(host.ready());
  ChildProcess helper("plat-helper-qelmem", {});
  ASSERT_TRUE(helper.wait_for_line("ready"));
  const std::uint64_t others = std::stoull(ask(helper, "contig 10000", "contig"));

  plat::ContiguousMemory mine{};
  ASSERT_TRUE(plat::allocate_contiguous(2 * 4096, 0, 0, 0, &mine));
  std::uint64_t count = 2;
  std::uint64_t pages[2] = {};
  ASSERT_TRUE(plat::allocate_physical_pages(0, 0, &count, pages));
  EXPECT_TRUE(plat::physical_range_held(mine.physical, 2 * 4096));
  EXPECT_TRUE(plat::physical_range_held(mine.physical + 100, 5000));
  EXPECT_FALSE(plat::physical_range_held(mine.physical - 1, 2));  // the helper's memory lies below
  EXPECT_TRUE(plat::physical_range_held(pages[1] * 4096, 4096));
  EXPECT_FALSE(plat::physical_range_held(others, 1));
  EXPECT_FALSE(plat::physical_range_held(mine.physical, 0));
  EXPECT_FALSE(plat::physical_range_held(~std::uint64_t{0} - 10, 100));

  ASSERT_TRUE(plat::free_contiguous(mine.physical));
  EXPECT_FALSE(plat::physical_range_held(mine.physical, 1));
  ASSERT_TRUE(plat::free_physical_pages(&count, pages));
  EXPECT_FALSE(plat::physical_range_held(pages[1] * 4096, 4096));
}

TEST(QelMemDevice, WithoutAKernelHostThePhysicalMemoryServicesAreNotAvailable) {
  ScopedMachine machine;
  EXPECT_EQ(plat::find_system_procedure("kernel32", "AllocateUserPhysicalPages"), nullptr);
  EXPECT_EQ(plat::last_error(), plat::kErrorProcNotFound);
  EXPECT_EQ(plat::find_system_procedure("kernel32", "VirtualAlloc"), nullptr);
  plat::ContiguousMemory memory{};
  EXPECT_FALSE(plat::allocate_contiguous(4096, 0, 0, 0, &memory));
  EXPECT_EQ(plat::last_error(), plat::kErrorNotSupported);
  EXPECT_FALSE(plat::physical_range_held(0x1000000, 1));
  EXPECT_EQ(plat::os_version().major, 6u);
}

}  // namespace
