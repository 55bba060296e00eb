#include "driver/user/YatRoiPool.h"

#include <cstring>

#include "driver/user/YatInternalBuffer.h"
#include "driver/user/YatLibrary.h"
#include "qellib/QelLog.h"
#include "qellib/QelSharedMutex.h"

static_assert(YAT_ROI_POOL_ENTRY_SIZE == YAT_ROI_ENTRY_SIZE);

namespace {

YatRoiPool& Pool() { return Yat_GetSharedData()->roiPool; }

YatRoiPoolList* ListOf(std::uint64_t reference) {
  const std::uint32_t place = static_cast<std::uint32_t>(reference);
  const auto serial = static_cast<std::uint32_t>(reference >> 32);
  if (serial == 0 || place == 0 || place > YAT_ROI_POOL_LISTS) return nullptr;
  YatRoiPoolList& list = Pool().lists[place - 1];
  return list.serial == serial ? &list : nullptr;
}

bool Overlaps(std::uint32_t first, std::uint32_t count) {
  for (const YatRoiPoolList& list : Pool().lists)
    if (list.serial != 0 && first < list.first + list.count && list.first < first + count) return true;
  return false;
}

// The lowest run of free entries long enough: it starts at 0 or right
// behind a list.
bool FindRun(std::uint32_t count, std::uint32_t* first) {
  std::uint32_t best = YAT_ROI_POOL_ENTRIES;
  auto consider = [&](std::uint32_t start) {
    if (start < best && start + count <= YAT_ROI_POOL_ENTRIES && !Overlaps(start, count)) best = start;
  };
  consider(0);
  for (const YatRoiPoolList& list : Pool().lists)
    if (list.serial != 0) consider(list.first + list.count);
  *first = best;
  return best != YAT_ROI_POOL_ENTRIES;
}

YatRoiPoolList* FreeListSlot() {
  for (YatRoiPoolList& list : Pool().lists)
    if (list.serial == 0) return &list;
  return nullptr;
}

std::uint32_t NextSerial() {
  std::uint32_t& serial = Pool().lastSerial;
  if (++serial == 0) ++serial;
  return serial;
}

class PoolLock {
 public:
  PoolLock() : mutex_(SharedMutexLock(kYatDllMutexName, kPardowLabel)) {}
  ~PoolLock() {
    if (mutex_ == plat::kNullHandle) return;
    plat::release_mutex(mutex_);
    plat::close_handle(mutex_);
  }
  PoolLock(const PoolLock&) = delete;
  PoolLock& operator=(const PoolLock&) = delete;
  bool Held() const { return mutex_ != plat::kNullHandle; }

 private:
  plat::Handle mutex_;
};

}  // namespace

QelHwStatus Yat_RoiPool_Add(const void* entries, std::uint32_t count, std::uint64_t* reference) {
  if (count == 0 || count > YAT_ROI_POOL_ENTRIES) return QELHW_ERROR_INSUFFICIENT_MEMORY;
  PoolLock lock;
  if (!lock.Held()) return QELHW_ERROR_ACQUIRE_MUTEX;
  YatRoiPoolList* list = FreeListSlot();
  std::uint32_t first = 0;
  if (list == nullptr || !FindRun(count, &first)) return QELHW_ERROR_INSUFFICIENT_MEMORY;
  const auto* source = static_cast<const std::uint8_t*>(entries);
  for (std::uint32_t i = 0; i < count; ++i) {
    std::uint8_t* entry = Pool().entries[first + i];
    std::memcpy(entry, source + std::size_t{i} * YAT_ROI_POOL_ENTRY_SIZE, YAT_ROI_POOL_ENTRY_SIZE);
    std::memcpy(entry, &YAT_ROI_POOL_ENTRY_SIZE, sizeof YAT_ROI_POOL_ENTRY_SIZE);
  }
  *list = YatRoiPoolList{NextSerial(), Yat_GetProcessSlot(), first, count};
  const auto place = static_cast<std::uint64_t>(list - Pool().lists) + 1;
  *reference = std::uint64_t{list->serial} << 32 | place;
  return QELHW_OK;
}

void Yat_RoiPool_Free(std::uint64_t reference) {
  if (reference == 0) return;
  PoolLock lock;
  if (!lock.Held()) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s: ROI list %llx kept: the library's mutex is not free",
              kPardowLabel, static_cast<unsigned long long>(reference));
    return;
  }
  if (YatRoiPoolList* list = ListOf(reference)) *list = YatRoiPoolList{};
}

const std::uint8_t* Yat_RoiPool_Entries(std::uint64_t reference, std::uint32_t* count) {
  const YatRoiPoolList* list = ListOf(reference);
  if (list == nullptr) return nullptr;
  if (count != nullptr) *count = list->count;
  return Pool().entries[list->first];
}

void Yat_RoiPool_FreeOfSlot(std::uint32_t slot) {
  for (YatRoiPoolList& list : Pool().lists)
    if (list.serial != 0 && list.holder == slot) list = YatRoiPoolList{};
}
