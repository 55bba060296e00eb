#include "driver/kernel/OutsideDrivers.h"

#include <cstring>

#include "driver/kernel/StavroGlobals.h"
#include "driver/kernel/StavroLog.h"
#include "platform/kernel/irp.h"
#include "platform/kernel/kstring.h"

using namespace plat::kernel;

StavroMemoryLink g_StavroMemory{};

namespace {

constexpr std::uint64_t k4GB = 0x100000000ull;

// Opens a named device and asks it, by a synchronous internal request, for the
// interface it hands to other drivers.
bool QueryOutsideDriver(const wchar_t* deviceName, std::uint32_t code, void* answer, std::uint32_t size,
                        FileObject** file, DeviceObject** device) {
  KernelString name{};
  init_kernel_string(&name, deviceName);
  if (!plat::nt_success(get_device_object_pointer(&name, kFileAllAccess, file, device))) return false;
  KernelEvent event{};
  initialize_event(&event, EventType::kNotification, false);
  IoStatusBlock ioStatus{};
  Irp* irp = build_device_io_control_request(code, *device, nullptr, 0, answer, size, true, &event, &ioStatus);
  if (irp != nullptr && plat::nt_success(send_and_wait(*device, irp, &event, &ioStatus)) &&
      ioStatus.information >= size) {
    return true;
  }
  dereference_object(*file);
  *file = nullptr;
  *device = nullptr;
  return false;
}

template <typename Fn>
Fn Entry(int index) {
  if (!g_StavroMemory.bound.load()) return nullptr;
  return reinterpret_cast<Fn>(g_StavroMemory.table.entry[index]);
}

}  // namespace

bool QelLogConnect() {
  QelLogInterface face{};
  if (!QueryOutsideDriver(kQelLogDeviceName, kQelLogGetInterface, &face, sizeof face, &g_StavroLog.file,
                          &g_StavroLog.device)) {
    return false;
  }
  g_StavroLog.face = face;
  g_StavroLog.bound = true;
  return true;
}

std::uint8_t QelMemConnect() {
  QelMemFunctionTable table{};
  if (!QueryOutsideDriver(kQelMemDeviceName, kQelMemGetFunctionTable, &table, sizeof table,
                          &g_StavroMemory.file, &g_StavroMemory.device)) {
    return 0;
  }
  g_StavroMemory.table = table;
  g_StavroMemory.bound = true;
  return 1;
}

void QelLogDisconnect() {
  if (!g_StavroLog.bound.exchange(false)) return;
  dereference_object(g_StavroLog.file);
  g_StavroLog.file = nullptr;
  g_StavroLog.device = nullptr;
}

void QelMemDisconnect() {
  if (!g_StavroMemory.bound.exchange(false)) return;
  dereference_object(g_StavroMemory.file);
  g_StavroMemory.file = nullptr;
  g_StavroMemory.device = nullptr;
}

std::uint64_t QelMemScatterGatherLockEx(void* context, QelMemLockRecord* record, std::uint64_t argument1,
                                        std::uint64_t argument2) {
  if (record == nullptr) return 0;
  if (record->nbBytesMax4G != 0) {
    STAVRO_LOG(kLogError, "%s: QelMemScatterGatherLockEx => Obsolete member nbBytesMax4G != 0");
    return 0;
  }
  if (auto lockEx = Entry<QelMemLockExFn>(kQelMemLockEx)) return lockEx(context, record, argument1, argument2);
  auto lock = Entry<QelMemLockFn>(kQelMemLock);
  if (lock == nullptr) return 0;
  if (record->buffer_size >= k4GB) {
    STAVRO_LOG(kLogError, "%s: QelMemScatterGatherLockEx not available and Buffer Size >= 4 GB");
    return 0;
  }
  // The old form knows only the first 44 bytes and takes the size in nbBytesMax4G.
  QelMemLockRecord copy{};
  std::memcpy(&copy, record, kQelMemOldLockRecordSize);
  copy.nbBytesMax4G = static_cast<std::uint32_t>(record->buffer_size);
  std::uint64_t result = lock(context, 0, &copy);
  if (static_cast<std::uint32_t>(result) != 0) {
    std::memcpy(record, &copy, kQelMemOldLockRecordSize);
    record->nbBytesMax4G = 0;
  }
  return result;
}

plat::NtStatus QelMemScatterGatherUnlockEx(QelMemLockRecord* record) {
  if (record == nullptr) return 0;
  if (auto unlockEx = Entry<QelMemUnlockFn>(kQelMemUnlockEx)) return unlockEx(record);
  auto unlock = Entry<QelMemUnlockFn>(kQelMemUnlock);
  if (unlock == nullptr) return 0;
  if (record->buffer_size >= k4GB) {
    STAVRO_LOG(kLogError, "%s: QelMemScatterGatherUnlockEx not available and Buffer Size >= 4 GB");
    return 0;
  }
  QelMemLockRecord copy{};
  std::memcpy(&copy, record, kQelMemOldLockRecordSize);
  copy.nbBytesMax4G = static_cast<std::uint32_t>(record->buffer_size);
  plat::NtStatus status = unlock(&copy);
  std::memcpy(record, &copy, kQelMemOldLockRecordSize);
  record->nbBytesMax4G = 0;
  return status;
}

void* QelMemAllocPages(std::uint32_t size) {
  auto allocate = Entry<QelMemAllocateZeroedPagesFn>(kQelMemAllocateZeroedPages);
  if (allocate == nullptr || size == 0) return nullptr;
  void* block = allocate(size);
  if (block != nullptr) std::memset(block, 0, size);
  return block;
}

void QelMemFreePages(void* address) {
  auto release = Entry<QelMemFreeZeroedPagesFn>(kQelMemFreeZeroedPages);
  if (release != nullptr && address != nullptr) release(address);
}

bool QelMemAllocate(int entry, std::uint32_t size, std::uint64_t* physical, void** systemAddress) {
  auto allocate = Entry<QelMemAllocateFn>(entry);
  if (allocate == nullptr) return false;
  return allocate(size, 4096, 0, physical, systemAddress) != 0 && *systemAddress != nullptr;
}

void QelMemFree(void* systemAddress) {
  if (auto release = Entry<QelMemFreeFn>(kQelMemFree)) release(systemAddress);
}

std::uint64_t QelMemPhysicalAddress(const void* systemAddress) {
  auto physical = Entry<QelMemPhysicalAddressFn>(kQelMemPhysicalAddress);
  return physical == nullptr ? 0 : physical(systemAddress);
}

bool QelMemHasEntry(int entry) { return Entry<void*>(entry) != nullptr; }
