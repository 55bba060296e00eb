#include "firmware/win32/QelMemBinding.h"

#include <array>
#include <atomic>
#include <cstring>
#include <mutex>

#include "platform/win/library.h"
#include "qellib/QelLog.h"

namespace {

// Entries in the order they are resolved.
enum QelMemEntry : std::size_t {
  kAllocBuffer, kAllocBufferEx, kFreeBuffer, kAllocMsg, kAllocMsgEx, kFreeMsg, kMapPool, kMapBuffer,
  kMapBufferEx, kUnmapBuffer, kLinearToPhys, kMapPhysToKernel, kMapKernelToPhys, kMapKernelToUser,
  kMapUserToKernel, kMapUserToPhys, kMapPhysToUser, kUnlockAllSGBuffer, kUnlockSGBuffer, kLockSGBuffer,
  kGetMessagingBoundaryUser, kReadIo, kWriteIo, kAllocPhysMemory, kFreePhysMemory, kMapPhysMemory,
  kUnmapPhysMemory, kGetPhysMemory, kGetMsgMemStatus, kGetBufferMemStatus, kCreateMdlAndLockForVirtualBuffer,
  kEntryCount
};

constexpr std::array<const char*, kEntryCount> kEntryNames = {
    "QelMemAllocBuffer", "QelMemAllocBufferEx", "QelMemFreeBuffer", "QelMemAllocMsg", "QelMemAllocMsgEx",
    "QelMemFreeMsg", "QelMemMapPool", "QelMemMapBuffer", "QelMemMapBufferEx", "QelMemUnmapBuffer",
    "QelMemLinearToPhys", "QelMemMapPhysToKernel", "QelMemMapKernelToPhys", "QelMemMapKernelToUser",
    "QelMemMapUserToKernel", "QelMemMapUserToPhys", "QelMemMapPhysToUser", "QelMemUnlockAllSGBuffer",
    "QelMemUnlockSGBuffer", "QelMemLockSGBuffer", "QelMemGetMessagingBoundaryUser", "QelMemReadIo",
    "QelMemWriteIo", "QelMemAllocPhysMemory", "QelMemFreePhysMemory", "QelMemMapPhysMemory",
    "QelMemUnmapPhysMemory", "QelMemGetPhysMemory", "QelMemGetMsgMemStatus", "QelMemGetBufferMemStatus",
    "QelMemCreateMdlAndLockForVirtualBuffer",
};

constexpr std::size_t kLabelSize = 260;

// One binding per process. Open and close bind and release it; wrappers on
// any thread read the entries, and the first of them may bind it.
struct QelMemBindingState {
  std::mutex guard;
  plat::ModuleHandle module = nullptr;
  std::atomic<bool> attempted{false};
  char label[kLabelSize] = "QelMem Loader";
  std::array<std::atomic<void*>, kEntryCount> entries{};
};

QelMemBindingState& Binding() {
  static QelMemBindingState state;
  return state;
}

// The entry for a wrapper: binds the library when nobody tried yet; a missing
// entry is logged by name.
template <typename Fn>
Fn Entry(QelMemEntry entry) {
  QelMemBindingState& binding = Binding();
  if (!binding.attempted.load(std::memory_order_acquire)) LoadQelMem(nullptr);
  void* address = binding.entries[entry].load(std::memory_order_acquire);
  if (address == nullptr) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s: Function %s not found in QelMem.dll", binding.label,
              kEntryNames[entry]);
    return nullptr;
  }
  return reinterpret_cast<Fn>(address);
}

// Calls the entry with the caller's arguments, or answers 0.
template <typename Fn, typename... Args>
auto Call(QelMemEntry entry, Args... args) {
  const Fn fn = Entry<Fn>(entry);
  using Result = decltype(fn(args...));
  return fn != nullptr ? fn(args...) : Result{};
}

}  // namespace

bool LoadQelMem(const char* label) {
  QelMemBindingState& binding = Binding();
  std::lock_guard lock(binding.guard);
  if (label != nullptr) {
    std::strncpy(binding.label, label, kLabelSize - 1);
    binding.label[kLabelSize - 1] = '\0';
  }
  if (binding.module != nullptr) return true;
  if (binding.attempted.exchange(true)) return false;
  plat::ModuleHandle module = plat::load_library(qelmem::kLibraryName);
  if (module == nullptr) return false;
  binding.module = module;
  for (std::size_t index = 0; index < kEntryCount; ++index)
    binding.entries[index].store(plat::get_proc_address(module, kEntryNames[index]), std::memory_order_release);
  return true;
}

void UnloadQelMem() {
  QelMemBindingState& binding = Binding();
  std::lock_guard lock(binding.guard);
  if (binding.module != nullptr) {
    for (auto& entry : binding.entries) entry.store(nullptr, std::memory_order_release);
    plat::free_library(binding.module);
    binding.module = nullptr;
  }
  binding.attempted.store(false, std::memory_order_release);
}

using namespace qelmem;

std::int32_t QelMemAllocBuffer(std::uint32_t size, std::uint64_t* userAddress, std::uint64_t* physicalAddress) {
  return Call<QelMemAllocBufferFn>(kAllocBuffer, size, userAddress, physicalAddress);
}
std::int32_t QelMemAllocBufferEx(std::uint32_t size, std::uint32_t lowestPhysical, std::uint32_t highestPhysical,
                                 std::uint64_t alignment, QelMemContigBuffer* buffer) {
  return Call<QelMemAllocBufferExFn>(kAllocBufferEx, size, lowestPhysical, highestPhysical, alignment, buffer);
}
std::int32_t QelMemFreeBuffer(void* userAddress) { return Call<QelMemFreeBufferFn>(kFreeBuffer, userAddress); }
std::int32_t QelMemAllocMsg(std::uint32_t size, void** message, std::uint64_t* reference) {
  return Call<QelMemAllocMsgFn>(kAllocMsg, size, message, reference);
}
std::int32_t QelMemAllocMsgEx(std::uint32_t size, std::uint32_t zeroFill, std::uint32_t reserved,
                              std::uint64_t* message, std::uint64_t* reference) {
  return Call<QelMemAllocMsgExFn>(kAllocMsgEx, size, zeroFill, reserved, message, reference);
}
std::int32_t QelMemFreeMsg(void* message) { return Call<QelMemFreeMsgFn>(kFreeMsg, message); }
std::int32_t QelMemMapPool(std::uint64_t* userAddress, std::uint64_t* size, std::uint64_t* kernelBase,
                           std::uint64_t reserved) {
  return Call<QelMemMapPoolFn>(kMapPool, userAddress, size, kernelBase, reserved);
}
void* QelMemMapBuffer(std::uint64_t physicalAddress, std::uint64_t size) {
  return Call<QelMemMapBufferFn>(kMapBuffer, physicalAddress, size);
}
void* QelMemMapBufferEx(std::uint64_t physicalAddress, std::uint64_t size, std::uint64_t flags) {
  return Call<QelMemMapBufferExFn>(kMapBufferEx, physicalAddress, size, flags);
}
std::int32_t QelMemUnmapBuffer(void* mappedAddress) { return Call<QelMemUnmapBufferFn>(kUnmapBuffer, mappedAddress); }
std::uint64_t QelMemLinearToPhys(const void* userAddress) {
  return Call<QelMemLinearToPhysFn>(kLinearToPhys, userAddress);
}
std::uint64_t QelMemMapPhysToKernel(std::uint64_t physicalAddress) {
  return Call<QelMemMapPhysToKernelFn>(kMapPhysToKernel, physicalAddress);
}
std::uint64_t QelMemMapKernelToPhys(std::uint64_t kernelAddress) {
  return Call<QelMemMapKernelToPhysFn>(kMapKernelToPhys, kernelAddress);
}
void* QelMemMapKernelToUser(std::uint64_t kernelAddress) {
  return Call<QelMemMapKernelToUserFn>(kMapKernelToUser, kernelAddress);
}
std::uint64_t QelMemMapUserToKernel(const void* userAddress) {
  return Call<QelMemMapUserToKernelFn>(kMapUserToKernel, userAddress);
}
std::uint64_t QelMemMapUserToPhys(const void* userAddress) {
  return Call<QelMemMapUserToPhysFn>(kMapUserToPhys, userAddress);
}
void* QelMemMapPhysToUser(std::uint64_t physicalAddress) {
  return Call<QelMemMapPhysToUserFn>(kMapPhysToUser, physicalAddress);
}
std::int32_t QelMemUnlockAllSGBuffer() { return Call<QelMemUnlockAllSGBufferFn>(kUnlockAllSGBuffer); }
std::int32_t QelMemUnlockSGBuffer(QelMemSgList* list) { return Call<QelMemUnlockSGBufferFn>(kUnlockSGBuffer, list); }
std::int32_t QelMemLockSGBuffer(std::uint64_t bufferId, void* userAddress, std::uint32_t size,
                                std::uint64_t lowestBus, std::uint64_t highestBus, QelMemSgList** list) {
  return Call<QelMemLockSGBufferFn>(kLockSGBuffer, bufferId, userAddress, size, lowestBus, highestBus, list);
}
std::int32_t QelMemCreateMdlAndLockForVirtualBuffer(void* userAddress, std::uint64_t size, QelMemSgList** list) {
  return Call<QelMemCreateMdlAndLockForVirtualBufferFn>(kCreateMdlAndLockForVirtualBuffer, userAddress, size, list);
}
void* QelMemGetMessagingBoundaryUser() {
  return Call<QelMemGetMessagingBoundaryUserFn>(kGetMessagingBoundaryUser);
}
std::int32_t QelMemReadIo(std::uint32_t port, std::uint32_t size, std::uint32_t* value) {
  return Call<QelMemReadIoFn>(kReadIo, port, size, value);
}
std::int32_t QelMemWriteIo(std::uint32_t port, std::uint32_t size, std::uint32_t value) {
  return Call<QelMemWriteIoFn>(kWriteIo, port, size, value);
}
std::int32_t QelMemAllocPhysMemory(std::uint64_t pageCount, std::uint64_t lowestPhysical,
                                   std::uint64_t highestPhysical, std::uint64_t flags, std::uint64_t* pagesGranted,
                                   QelMemPhysHandle* memory) {
  return Call<QelMemAllocPhysMemoryFn>(kAllocPhysMemory, pageCount, lowestPhysical, highestPhysical, flags,
                                       pagesGranted, memory);
}
std::int32_t QelMemFreePhysMemory(QelMemPhysHandle memory) {
  return Call<QelMemFreePhysMemoryFn>(kFreePhysMemory, memory);
}
std::int32_t QelMemMapPhysMemory(QelMemPhysHandle memory, std::uint64_t* address) {
  return Call<QelMemMapPhysMemoryFn>(kMapPhysMemory, memory, address);
}
std::int32_t QelMemUnmapPhysMemory(QelMemPhysHandle memory, void* address) {
  return Call<QelMemUnmapPhysMemoryFn>(kUnmapPhysMemory, memory, address);
}
std::int32_t QelMemGetPhysMemory(QelMemPhysHandle memory, std::uint64_t* pageNumbers, std::uint32_t count,
                                 std::uint64_t firstPage) {
  return Call<QelMemGetPhysMemoryFn>(kGetPhysMemory, memory, pageNumbers, count, firstPage);
}
