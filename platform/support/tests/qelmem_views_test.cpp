// The memory library's views of physical memory, its address translations,
// scatter-gather lists and physical-page blocks, in one process with a
// running kernel host.
#include <gtest/gtest.h>
#include <sys/mman.h>

#include <cstring>
#include <vector>

#include "platform/support/qelmem_entries.h"
#include "platform/testing/kernel_host.h"
#include "platform/testing/machine_fixture.h"
#include "platform/win/library.h"

namespace {

using namespace qelmem;

class BoundMemory {
 public:
  BoundMemory() : module_(plat::load_library("QelMem.dll")) {}
  ~BoundMemory() {
    if (module_) plat::free_library(module_);
  }
  template <typename Fn>
  Fn get(const char* name) const {
    return reinterpret_cast<Fn>(plat::get_proc_address(module_, name));
  }
  bool loaded() const { return module_ != nullptr; }

 private:
  plat::ModuleHandle module_;
};

struct Fixture {
  plat::testing::ScopedMachine machine;
  plat::testing::KernelHostProcess host{{"FolvantX4Full"}};
  BoundMemory memory;
};

TEST(QelMemViews, ViewsOfOneBufferShowTheSameBytesAndTranslateBack) {
  Fixture f;
  ASSERT_TRUE(f.host.ready() && f.memory.loaded());
  auto alloc = f.memory.get<QelMemAllocBufferExFn>("QelMemAllocBufferEx");
  auto free_buffer = f.memory.get<QelMemFreeBufferFn>("QelMemFreeBuffer");
  auto map = f.memory.get<QelMemMapBufferFn>("QelMemMapBuffer");
  auto map_ex = f.memory.get<QelMemMapBufferExFn>("QelMemMapBufferEx");
  auto unmap = f.memory.get<QelMemUnmapBufferFn>("QelMemUnmapBuffer");
  auto to_phys = f.memory.get<QelMemLinearToPhysFn>("QelMemLinearToPhys");
  auto phys_to_user = f.memory.get<QelMemMapPhysToUserFn>("QelMemMapPhysToUser");
  auto phys_to_kernel = f.memory.get<QelMemMapPhysToKernelFn>("QelMemMapPhysToKernel");
  auto kernel_to_phys = f.memory.get<QelMemMapKernelToPhysFn>("QelMemMapKernelToPhys");
  auto kernel_to_user = f.memory.get<QelMemMapKernelToUserFn>("QelMemMapKernelToUser");
  auto user_to_kernel = f.memory.get<QelMemMapUserToKernelFn>("QelMemMapUserToKernel");
  auto status = f.memory.get<QelMemGetBufferMemStatusFn>("QelMemGetBufferMemStatus");

  QelMemContigBuffer buffer{};
  EXPECT_EQ(alloc(8192, 0, 0, 8192, &buffer), 0);  // alignment past a page
  EXPECT_EQ(alloc(8192, 0, 0x00FFFFFF, 0, &buffer), 0);  // no memory that low
  ASSERT_EQ(alloc(3 * 4096, 0, 0, 4096, &buffer), 1);
  auto* bytes = reinterpret_cast<unsigned char*>(buffer.user_address);
  bytes[5000] = 0x3C;
  EXPECT_EQ(to_phys(bytes + 5000), buffer.physical_address + 5000);
  EXPECT_EQ(phys_to_user(buffer.physical_address + 5000), bytes + 5000);
  std::uint64_t kernel = phys_to_kernel(buffer.physical_address);
  EXPECT_NE(kernel, 0u);
  EXPECT_EQ(kernel_to_phys(kernel), buffer.physical_address);
  EXPECT_EQ(kernel_to_user(kernel + 5000), bytes + 5000);
  EXPECT_EQ(user_to_kernel(bytes + 5000), kernel + 5000);
  QelMemStatus s{};
  ASSERT_EQ(status(&s), 1);
  EXPECT_EQ(s.blocks_in_use, 1u);

  // A second view at another address, starting inside a page.
  auto* view = static_cast<unsigned char*>(map(buffer.physical_address + 4999, 100));
  ASSERT_NE(view, nullptr);
  EXPECT_NE(view, bytes + 4999);
  EXPECT_EQ(view[1], 0x3C);
  view[2] = 0x7E;
  EXPECT_EQ(bytes[5001], 0x7E);
  EXPECT_EQ(to_phys(view + 1), buffer.physical_address + 5000);
  auto* read_only = static_cast<unsigned char*>(map_ex(buffer.physical_address, 4096, 1));
  ASSERT_NE(read_only, nullptr);
  EXPECT_EQ(map_ex(buffer.physical_address, 4096, 2), nullptr);  // unknown flag
  EXPECT_EQ(map(0x1000, 4096), nullptr);                         // not memory of the machine
  EXPECT_EQ(unmap(view + 1), 0);                                  // not where the view starts
  EXPECT_EQ(unmap(view), 1);
  EXPECT_EQ(unmap(view), 0);
  EXPECT_EQ(unmap(read_only), 1);

  int local = 0;
  EXPECT_EQ(to_phys(&local), 0u);
  EXPECT_EQ(free_buffer(bytes + 1), 0);
  EXPECT_EQ(free_buffer(bytes), 1);
  EXPECT_EQ(free_buffer(bytes), 0);
}

TEST(QelMemViews, ScatterGatherListsDescribeTheLockedRangeUntilUnlocked) {
  Fixture f;
  ASSERT_TRUE(f.host.ready() && f.memory.loaded());
  auto lock = f.memory.get<QelMemLockSGBufferFn>("QelMemLockSGBuffer");
  auto lock_plain = f.memory.get<QelMemCreateMdlAndLockForVirtualBufferFn>("QelMemCreateMdlAndLockForVirtualBuffer");
  auto unlock = f.memory.get<QelMemUnlockSGBufferFn>("QelMemUnlockSGBuffer");
  auto unlock_all = f.memory.get<QelMemUnlockAllSGBufferFn>("QelMemUnlockAllSGBuffer");
  auto to_phys = f.memory.get<QelMemLinearToPhysFn>("QelMemLinearToPhys");

  std::vector<unsigned char> memory(5 * 4096);
  unsigned char* start = memory.data() + 100;
  QelMemSgList* list = nullptr;
  ASSERT_EQ(lock(9, start, 9000, 0, 0, &list), 1);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->buffer_id, 9u);
  EXPECT_EQ(list->size, 9000u);
  std::uint64_t total = 0;
  for (std::uint32_t i = 0; i < list->entry_count; ++i) total += list->entries[i].length;
  EXPECT_EQ(total, 9000u);
  EXPECT_EQ(list->entries[0].length, 4096 - reinterpret_cast<std::uintptr_t>(start) % 4096);
  EXPECT_EQ(to_phys(start), list->entries[0].physical_address);
  EXPECT_EQ(to_phys(start + list->entries[0].length), list->entries[1].physical_address);
  // Bus addresses of locked pages lie above 4 GB: a lock limited below fails.
  QelMemSgList* low = nullptr;
  EXPECT_EQ(lock(1, start, 100, 0, 0xFFFFFFFF, &low), 0);
  EXPECT_EQ(lock(1, nullptr, 100, 0, 0, &low), 0);
  ASSERT_EQ(unlock(list), 1);
  EXPECT_EQ(to_phys(start), 0u);

  QelMemSgList* first = nullptr;
  QelMemSgList* second = nullptr;
  ASSERT_EQ(lock_plain(start, 10, &first), 1);
  ASSERT_EQ(lock_plain(start + 8192, 10, &second), 1);
  EXPECT_EQ(unlock_all(), 1);
  EXPECT_EQ(to_phys(start + 8192), 0u);
}

TEST(QelMemViews, PhysicalPageBlocksMapWhereTheCallerAsksAndGoBack) {
  Fixture f;
  ASSERT_TRUE(f.host.ready() && f.memory.loaded());
  auto alloc = f.memory.get<QelMemAllocPhysMemoryFn>("QelMemAllocPhysMemory");
  auto free_block = f.memory.get<QelMemFreePhysMemoryFn>("QelMemFreePhysMemory");
  auto map = f.memory.get<QelMemMapPhysMemoryFn>("QelMemMapPhysMemory");
  auto unmap = f.memory.get<QelMemUnmapPhysMemoryFn>("QelMemUnmapPhysMemory");
  auto pages_of = f.memory.get<QelMemGetPhysMemoryFn>("QelMemGetPhysMemory");
  auto to_phys = f.memory.get<QelMemLinearToPhysFn>("QelMemLinearToPhys");

  std::uint64_t granted = 0;
  QelMemPhysHandle block = 0;
  EXPECT_EQ(alloc(4, 0, 0, 1, &granted, &block), 0);  // flags must be 0
  ASSERT_EQ(alloc(4, 0, 0, 0, &granted, &block), 1);
  EXPECT_EQ(granted, 4u);
  std::uint64_t pages[4] = {};
  ASSERT_EQ(pages_of(block, pages, 4, 0), 1);
  EXPECT_EQ(pages_of(block, pages, 2, 3), 0);  // past the block
  std::uint64_t chosen = 0;
  ASSERT_EQ(map(block, &chosen), 1);
  ASSERT_NE(chosen, 0u);
  void* room = ::mmap(nullptr, 4 * 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(room, MAP_FAILED);
  auto given = reinterpret_cast<std::uint64_t>(room);
  ASSERT_EQ(map(block, &given), 1);
  EXPECT_EQ(given, reinterpret_cast<std::uint64_t>(room));
  auto* a = reinterpret_cast<unsigned char*>(chosen);
  auto* b = static_cast<unsigned char*>(room);
  a[3 * 4096 + 9] = 0x99;
  EXPECT_EQ(b[3 * 4096 + 9], 0x99);
  EXPECT_EQ(to_phys(b + 3 * 4096 + 9), pages[3] * 4096 + 9);
  EXPECT_EQ(unmap(block, a + 1), 0);
  EXPECT_EQ(unmap(block, a), 1);
  EXPECT_EQ(unmap(block, b), 1);  // the caller's range stays reserved
  EXPECT_EQ(::munmap(room, 4 * 4096), 0);
  EXPECT_EQ(free_block(block), 1);
  EXPECT_EQ(free_block(block), 0);
}

}  // namespace
