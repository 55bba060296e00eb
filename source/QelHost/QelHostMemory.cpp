#include "firmware/win32/QelMemBinding.h"
#include "platform/win/system_info.h"
#include "source/QelHost/QelHostInternal.h"

namespace {

bool ValidWidth(std::uint32_t width) { return width == 1 || width == 2 || width == 4; }

}  // namespace

QelStatus HOSTALLOCCONTIGBUFFER(std::uint32_t size, std::uint64_t* physical, void** address) {
  if (physical == nullptr) return HostNullArgument(2);
  if (address == nullptr) return HostNullArgument(3);
  std::uint64_t user = 0;
  if (!QelMemAllocBuffer(size, &user, physical)) {
    HOST_LOG(kQelLogWarning, "QELHOST: HOSTALLOCCONTIGBUFFER => No contiguous memory (%d)", size);
    *address = nullptr;
    return kHostNoMemory;
  }
  *address = reinterpret_cast<void*>(user);
  return QEL_OK;
}

QelStatus HOSTALLOCCONTIGBUFFEREX(std::uint32_t size, std::uint32_t lowest, std::uint32_t highest,
                                  std::uint64_t* physical, void** address) {
  if (physical == nullptr) return HostNullArgument(4);
  if (address == nullptr) return HostNullArgument(5);
  qelmem::QelMemContigBuffer buffer{};
  if (!QelMemAllocBufferEx(size, lowest, highest, 0, &buffer)) {
    HOST_LOG(kQelLogWarning, "QELHOST: HOSTALLOCCONTIGBUFFEREX => No contiguous memory(%d 0x%x 0x%x)", size, lowest,
             highest);
    *address = nullptr;
    return kHostNoMemory;
  }
  *physical = buffer.physical_address;
  *address = reinterpret_cast<void*>(buffer.user_address);
  return QEL_OK;
}

QelStatus HOSTFREECONTIGBUFFER(void* address) {
  if (address == nullptr) return HostNullArgument(1);
  if (!QelMemFreeBuffer(address)) {
    HOST_LOG(kQelLogError, "QELHOST: HOSTFREECONTIGBUFFER => Invalid argument (0x%x)",
             static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(address)));
    return HostInvalidArgument(1);
  }
  return QEL_OK;
}

QelStatus HOSTLOCKSGBUFFER(std::uint64_t buffer, void* address, std::uint32_t size, qelmem::QelMemSgList** list) {
  if (list == nullptr) return HostNullArgument(4);
  *list = nullptr;
  if (!QelMemLockSGBuffer(buffer, address, size, 0, 0, list) || *list == nullptr) {
    HOST_LOG(kQelLogWarning, "QELHOST: HOSTLOCKSGBUFFER => No scatter gather memory (%d 0x%x %d)",
             static_cast<int>(buffer), static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(address)), size);
    *list = nullptr;
    return kHostNoMemory;
  }
  return QEL_OK;
}

QelStatus HOSTUNLOCKSGBUFFER(qelmem::QelMemSgList* list) {
  if (list == nullptr) return HostNullArgument(1);
  return QelMemUnlockSGBuffer(list) ? QEL_OK : HostInvalidArgument(1);
}

QelStatus HOSTUNLOCKALLSGBUFFER() {
  QelMemUnlockAllSGBuffer();
  return QEL_OK;
}

QelStatus HOSTMAPBUFFER(std::uint64_t physical, std::uint64_t size, void** address) {
  if (address == nullptr) return HostNullArgument(3);
  *address = QelMemMapBuffer(physical, size);
  if (*address == nullptr) {
    HOST_LOG(kQelLogWarning, "QELHOST: HOSTMAPBUFFER => Unable to map physical memory (0x%x %d)",
             static_cast<unsigned>(physical), static_cast<int>(size));
    return kHostNoMemory;
  }
  return QEL_OK;
}

QelStatus HOSTMAPBUFFEREX(std::uint64_t physical, std::uint64_t size, std::uint64_t flags, void** address) {
  if (address == nullptr) return HostNullArgument(3);
  *address = QelMemMapBufferEx(physical, size, flags);
  if (*address == nullptr) {
    HOST_LOG(kQelLogWarning, "QELHOST: HOSTMAPBUFFEREX => Unable to map physical memory (0x%x %d 0x%x)",
             static_cast<unsigned>(physical), static_cast<int>(size), static_cast<unsigned>(flags));
    return kHostNoMemory;
  }
  return QEL_OK;
}

QelStatus HOSTUNMAPBUFFER(void* address) {
  if (address == nullptr) return HostNullArgument(1);
  if (!QelMemUnmapBuffer(address)) {
    HOST_LOG(kQelLogError, "QELHOST: HOSTUNMAPBUFFER => Unable to unmap virtual memory (0x%x)",
             static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(address)));
    return HostInvalidArgument(1);
  }
  return QEL_OK;
}

QelStatus HOSTVIRTUALTOPHYS(const void* address, std::uint64_t* physical) {
  if (physical == nullptr) return HostNullArgument(1);
  *physical = QelMemLinearToPhys(address);
  // Memory the library does not know has no physical address.
  return *physical != 0 ? QEL_OK : HostInvalidArgument(1);
}

QelStatus HOSTREADIO(std::uint32_t port, std::uint32_t width, std::uint32_t* value) {
  if (value == nullptr) return HostNullArgument(3);
  if (!ValidWidth(width)) return HostInvalidArgument(2);
  if (!QelMemReadIo(port, width, value)) {
    HOST_LOG(kQelLogError, "QELHOST: HOSTREADIO => Hardware error (%p %d 0x%x)",
             reinterpret_cast<void*>(static_cast<std::uintptr_t>(port)), width, *value);
    return kHostHardwareError;
  }
  return QEL_OK;
}

QelStatus HOSTWRITEIO(std::uint32_t port, std::uint32_t width, std::uint32_t value) {
  if (!ValidWidth(width)) return HostInvalidArgument(2);
  if (!QelMemWriteIo(port, width, value)) {
    HOST_LOG(kQelLogError, "QELHOST: HOSTWRITEIO => Hardware error (%p %d %d)",
             reinterpret_cast<void*>(static_cast<std::uintptr_t>(port)), width, value);
    return kHostHardwareError;
  }
  return QEL_OK;
}

QelStatus HOSTALLOCPHYSMEMORY(std::uint64_t lowest, std::uint64_t highest, std::uint64_t flags,
                              std::uint64_t* count, std::uint64_t* pages, qelmem::QelMemPhysHandle* memory) {
  if (count == nullptr) return HostInvalidArgument(4);
  if (pages == nullptr) return HostInvalidArgument(5);
  if (memory == nullptr) return HostInvalidArgument(6);
  *memory = 0;
  if (plat::os_version().major < 5) return kHostNotSupported;
  std::uint64_t granted = 0;
  if (!QelMemAllocPhysMemory(*count, lowest, highest, flags, &granted, memory) || *memory == 0) {
    *memory = 0;
    return kHostNoMemory;
  }
  if (granted > *count || !QelMemGetPhysMemory(*memory, pages, static_cast<std::uint32_t>(granted), 0)) {
    QelMemFreePhysMemory(*memory);
    *memory = 0;
    return kHostNoMemory;
  }
  *count = granted;
  return QEL_OK;
}

QelStatus HOSTFREEPHYSMEMORY(qelmem::QelMemPhysHandle memory) {
  if (memory == 0) return HostInvalidArgument(1);
  return QelMemFreePhysMemory(memory) ? QEL_OK : kHostGeneralFailure;
}

QelStatus HOSTMAPPHYSMEMORY(qelmem::QelMemPhysHandle memory, std::uint64_t* address) {
  if (memory == 0) return HostInvalidArgument(1);
  if (address == nullptr) return HostInvalidArgument(2);
  return QelMemMapPhysMemory(memory, address) ? QEL_OK : kHostGeneralFailure;
}

QelStatus HOSTUNMAPPHYSMEMORY(qelmem::QelMemPhysHandle memory, void* address) {
  if (memory == 0) return HostInvalidArgument(1);
  if (address == nullptr) return HostInvalidArgument(2);
  return QelMemUnmapPhysMemory(memory, address) ? QEL_OK : kHostGeneralFailure;
}

QelStatus HOSTGETPHYSMEMORY(qelmem::QelMemPhysHandle memory, std::uint64_t* pages, std::uint32_t count,
                            std::uint32_t* returned) {
  if (memory == 0) return HostInvalidArgument(1);
  if (pages == nullptr) return HostInvalidArgument(2);
  if (count == 0) return HostInvalidArgument(3);
  if (returned == nullptr) return HostInvalidArgument(4);
  *returned = 0;
  if (!QelMemGetPhysMemory(memory, pages, count, 0)) return HostInvalidArgument(3);
  *returned = count;
  return QEL_OK;
}
