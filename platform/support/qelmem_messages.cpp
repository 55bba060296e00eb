// The memory library's messages and its address translations.
#include <cstring>

#include "platform/support/qelmem_library.h"
#include "platform/support/qelmem_pool.h"
#include "platform/win/errors.h"
#include "platform/win/physical_memory.h"

using namespace qelmem;

namespace {

// Pool offset of an address of this process inside the pool; 0 outside.
std::uint64_t pool_offset_of(const void* address) {
  std::byte* v = pool::view();
  auto* at = static_cast<const std::byte*>(address);
  if (v == nullptr || at < v + pool::kHeaderBytes || at >= v + pool::kSectionBytes) return 0;
  return static_cast<std::uint64_t>(at - v);
}

bool arena_kernel_range(std::uint64_t kernel, std::uint64_t* physical) {
  plat::PhysicalArena a{};
  if (kernel < kQelMemArenaKernelBase || !plat::known_physical_arena(&a)) return false;
  std::uint64_t offset = kernel - kQelMemArenaKernelBase;
  if (offset >= a.size) return false;
  *physical = a.physical_base + offset;
  return true;
}

std::int32_t allocate_message(std::uint32_t size, bool zero_fill, std::uint64_t* address,
                              std::uint64_t* reference) {
  if (address == nullptr) return 0;
  std::uint64_t offset = pool::allocate(size, zero_fill);
  if (offset == 0) {
    plat::set_last_error(plat::kErrorNotEnoughMemory);
    return 0;
  }
  *address = reinterpret_cast<std::uint64_t>(pool::view() + offset);
  if (reference) *reference = kQelMemPoolKernelBase + offset;
  return 1;
}

}  // namespace

QELMEM_EXPORT std::int32_t QelMemAllocMsg(std::uint32_t size, void** message, std::uint64_t* reference) {
  std::uint64_t address = 0;
  if (message == nullptr || !allocate_message(size, true, &address, reference)) return 0;
  *message = reinterpret_cast<void*>(address);
  return 1;
}

QELMEM_EXPORT std::int32_t QelMemAllocMsgEx(std::uint32_t size, std::uint32_t zero_fill, std::uint32_t reserved,
                                            std::uint64_t* message, std::uint64_t* reference) {
  if (reserved != 0) return 0;
  return allocate_message(size, zero_fill != 0, message, reference);
}

QELMEM_EXPORT std::int32_t QelMemFreeMsg(void* message) {
  std::uint64_t offset = pool_offset_of(message);
  return offset != 0 && pool::release(offset) ? 1 : 0;
}

QELMEM_EXPORT std::int32_t QelMemMapPool(std::uint64_t* user_address, std::uint64_t* size,
                                         std::uint64_t* kernel_base, std::uint64_t reserved) {
  std::byte* v = pool::view();
  if (v == nullptr || reserved != 0) return 0;
  if (user_address) *user_address = reinterpret_cast<std::uint64_t>(v);
  if (size) *size = pool::kSectionBytes;
  if (kernel_base) *kernel_base = kQelMemPoolKernelBase;
  return 1;
}

QELMEM_EXPORT void* QelMemGetMessagingBoundaryUser() { return pool::view(); }

QELMEM_EXPORT std::int32_t QelMemGetMsgMemStatus(QelMemStatus* out) {
  if (out == nullptr || pool::view() == nullptr) return 0;
  pool::Status s = pool::status();
  *out = QelMemStatus{s.total_bytes, s.used_bytes, s.total_bytes - s.used_bytes, s.blocks_in_use, 0};
  return 1;
}

QELMEM_EXPORT std::uint64_t QelMemMapPhysToKernel(std::uint64_t physical) {
  plat::PhysicalArena a{};
  if (!plat::known_physical_arena(&a) || physical < a.physical_base || physical - a.physical_base >= a.size) return 0;
  return kQelMemArenaKernelBase + (physical - a.physical_base);
}

QELMEM_EXPORT std::uint64_t QelMemMapKernelToPhys(std::uint64_t kernel) {
  std::uint64_t physical = 0;
  return arena_kernel_range(kernel, &physical) ? physical : 0;
}

// A message reference turned into this process's address makes this process
// the message's owner: that is where a message changes hands.
QELMEM_EXPORT void* QelMemMapKernelToUser(std::uint64_t kernel) {
  if (kernel >= kQelMemPoolKernelBase && kernel - kQelMemPoolKernelBase < pool::kSectionBytes) {
    std::uint64_t offset = kernel - kQelMemPoolKernelBase;
    std::byte* v = pool::view();
    // Only a message in use: a stale reference (freed, or not a message's
    // start) names nothing.
    if (v == nullptr || !pool::adopt(offset)) return nullptr;
    return v + offset;
  }
  std::uint64_t physical = 0;
  return arena_kernel_range(kernel, &physical) ? plat::physical_to_user(physical) : nullptr;
}

QELMEM_EXPORT std::uint64_t QelMemMapUserToKernel(const void* address) {
  if (std::uint64_t offset = pool_offset_of(address)) return kQelMemPoolKernelBase + offset;
  std::uint64_t physical = plat::user_to_physical(address);
  return physical != 0 ? QelMemMapPhysToKernel(physical) : 0;
}

QELMEM_EXPORT std::uint64_t QelMemLinearToPhys(const void* address) {
  if (address == nullptr) return 0;
  if (std::uint64_t physical = plat::user_to_physical(address)) return physical;
  return library::physical_of_view_or_lock(reinterpret_cast<std::uint64_t>(address));
}

QELMEM_EXPORT std::uint64_t QelMemMapUserToPhys(const void* address) { return QelMemLinearToPhys(address); }

QELMEM_EXPORT void* QelMemMapPhysToUser(std::uint64_t physical) { return plat::physical_to_user(physical); }

QELMEM_EXPORT std::int32_t QelMemReadIo(std::uint32_t, std::uint32_t, std::uint32_t* value) {
  if (value) *value = 0;
  plat::set_last_error(plat::kErrorAccessDenied);
  return 0;
}

QELMEM_EXPORT std::int32_t QelMemWriteIo(std::uint32_t, std::uint32_t, std::uint32_t) {
  plat::set_last_error(plat::kErrorAccessDenied);
  return 0;
}
