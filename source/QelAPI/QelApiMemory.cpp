// Memory and I/O wrappers: each takes the API lock around the messaging
// layer's operation of the same role and answers its status unchanged.
#include <utility>

#include "qellib/QelLog.h"
#include "source/QelAPI/QelApi.h"

namespace {

template <typename Operation>
QelStatus Locked(const char* name, Operation&& operation) {
  if (!ApiLock()) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s => QelManLock Timeout", name);
    return kQelApiLockTimeout;
  }
  const QelStatus status = std::forward<Operation>(operation)();
  ApiUnlock();
  return status;
}

}  // namespace

QelStatus QelManAllocContigBuffer(std::uint32_t size, std::uint64_t* physical, void** address) {
  return Locked("QelManAllocContigBuffer", [&] { return HOSTALLOCCONTIGBUFFER(size, physical, address); });
}

QelStatus QelManAllocContigBufferEx(std::uint32_t size, std::uint32_t lowest, std::uint32_t highest,
                                    std::uint64_t* physical, void** address) {
  return Locked("QelManAllocContigBufferEx",
                [&] { return HOSTALLOCCONTIGBUFFEREX(size, lowest, highest, physical, address); });
}

QelStatus QelManFreeContigBuffer(void* address) {
  return Locked("QelManFreeContigBuffer", [&] { return HOSTFREECONTIGBUFFER(address); });
}

QelStatus QelManLockSGBuffer(std::uint64_t buffer, void* address, std::uint32_t size, qelmem::QelMemSgList** list) {
  return Locked("QelManLockSGBuffer", [&] { return HOSTLOCKSGBUFFER(buffer, address, size, list); });
}

QelStatus QelManUnlockSGBuffer(qelmem::QelMemSgList* list) {
  return Locked("QelManUnlockSGBuffer", [&] { return HOSTUNLOCKSGBUFFER(list); });
}

QelStatus QelManUnlockAllSGBuffer() {
  return Locked("QelManUnlockAllSGBuffer", [] { return HOSTUNLOCKALLSGBUFFER(); });
}

QelStatus QelManMapBuffer(std::uint64_t physical, std::uint64_t size, void** address) {
  return Locked("QelManMapBuffer", [&] { return HOSTMAPBUFFER(physical, size, address); });
}

QelStatus QelManMapBufferEx(std::uint64_t physical, std::uint64_t size, std::uint64_t flags, void** address) {
  return Locked("QelManMapBufferEx", [&] { return HOSTMAPBUFFEREX(physical, size, flags, address); });
}

QelStatus QelManUnmapBuffer(void* address) {
  return Locked("QelManUnmapBuffer", [&] { return HOSTUNMAPBUFFER(address); });
}

QelStatus QelManVirtualToPhys(const void* address, std::uint64_t* physical) {
  return Locked("QelManVirtualToPhys", [&] { return HOSTVIRTUALTOPHYS(address, physical); });
}

QelStatus QelManReadIo(std::uint32_t port, std::uint32_t width, std::uint32_t* value) {
  return Locked("QelManReadIo", [&] { return HOSTREADIO(port, width, value); });
}

QelStatus QelManWriteIo(std::uint32_t port, std::uint32_t width, std::uint32_t value) {
  return Locked("QelManWriteIo", [&] { return HOSTWRITEIO(port, width, value); });
}

QelStatus QelManAllocPhysMemory(std::uint64_t lowest, std::uint64_t highest, std::uint64_t flags,
                                std::uint64_t* count, std::uint64_t* pages, qelmem::QelMemPhysHandle* memory) {
  return Locked("QelManAllocPhysMemory",
                [&] { return HOSTALLOCPHYSMEMORY(lowest, highest, flags, count, pages, memory); });
}

QelStatus QelManFreePhysMemory(qelmem::QelMemPhysHandle memory) {
  return Locked("QelManFreePhysMemory", [&] { return HOSTFREEPHYSMEMORY(memory); });
}

QelStatus QelManMapPhysMemory(qelmem::QelMemPhysHandle memory, std::uint64_t* address) {
  return Locked("QelManMapPhysMemory", [&] { return HOSTMAPPHYSMEMORY(memory, address); });
}

QelStatus QelManUnmapPhysMemory(qelmem::QelMemPhysHandle memory, void* address) {
  return Locked("QelManUnmapPhysMemory", [&] { return HOSTUNMAPPHYSMEMORY(memory, address); });
}

QelStatus QelManGetPhysMemory(qelmem::QelMemPhysHandle memory, std::uint64_t* pages, std::uint32_t count,
                              std::uint32_t* returned) {
  return Locked("QelManGetPhysMemory", [&] { return HOSTGETPHYSMEMORY(memory, pages, count, returned); });
}
