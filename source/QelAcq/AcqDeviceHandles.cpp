#include "source/QelAcq/AcqDeviceHandles.h"

#include <array>
#include <memory>
#include <mutex>

#include "source/QelAcq/AcqDetect.h"

namespace {

// The table and its mutex outlive static teardown: a board event thread may
// still look a handle up while the process ends.
struct HandleTable {
  std::mutex mutex;
  std::array<std::unique_ptr<QelHandle>, kAcqDeviceRecordCount> entries;
};

HandleTable& Table() {
  static auto* table = new HandleTable;
  return *table;
}

// With the table's mutex held.
std::unique_ptr<QelHandle>* Entry(std::uint32_t board, std::uint32_t slot) {
  if (board >= kAcqMaxBoards || slot >= kAcqSlotsPerBoard) return nullptr;
  return &Table().entries[board * kAcqSlotsPerBoard + slot];
}

}  // namespace

QelHandle* AcqGetHandle(std::uint32_t board, std::uint32_t slot) {
  std::lock_guard<std::mutex> lock(Table().mutex);
  std::unique_ptr<QelHandle>* entry = Entry(board, slot);
  return entry == nullptr ? nullptr : entry->get();
}

QelHandle* AcqAllocHandle(std::uint32_t board, std::uint32_t slot) {
  const auto record = reinterpret_cast<std::uint64_t>(AcqSharedRecord(AcqGetSharedTables(), board, slot));
  std::lock_guard<std::mutex> lock(Table().mutex);
  std::unique_ptr<QelHandle>* entry = Entry(board, slot);
  if (entry == nullptr) return nullptr;
  if (*entry == nullptr) *entry = std::make_unique<QelHandle>();
  QelHandle* handle = entry->get();
  handle->record = record;
  handle->tag = kQelTagAcqDevice;
  handle->self = reinterpret_cast<std::uint64_t>(handle);
  return handle;
}

void AcqFreeHandle(std::uint32_t board, std::uint32_t slot) {
  std::unique_ptr<QelHandle> freed;
  {
    std::lock_guard<std::mutex> lock(Table().mutex);
    if (std::unique_ptr<QelHandle>* entry = Entry(board, slot)) freed = std::move(*entry);
  }
}

bool AcqIsDeviceTag(std::uint32_t tag) {
  return tag == kQelTagAcqDevice || tag == kQelTagAcqSourceB || tag == kQelTagSecondaryAcq;
}

QelStatus AcqGetDeviceRecord(const QelHandle* handle, AcqDeviceRecord** record) {
  if (handle == nullptr) return kAcqNoSuchDevice;
  std::lock_guard<std::mutex> lock(Table().mutex);
  for (const std::unique_ptr<QelHandle>& own : Table().entries)
    if (own != nullptr && own->record != 0 && own->record == handle->record) {
      if (record != nullptr) *record = reinterpret_cast<AcqDeviceRecord*>(own->record);
      return 0;
    }
  return kAcqNoSuchDevice;
}

QelStatus AcqGetContext(const QelHandle* handle, AcqValidationContext* context) {
  if (context == nullptr) return 54;
  AcqDeviceRecord* record = nullptr;
  const QelStatus status = AcqGetDeviceRecord(handle, &record);
  if (status != 0) return status | kQelModuleAcquisition;
  *context = AcqRecordContext(record);
  return 0;
}

std::uint32_t AcqGetDeviceCount(std::uint32_t board) {
  if (board >= kAcqMaxBoards || AcqDetectFailed(board)) return 0;
  return AcqGetSharedTables()->deviceCount[board];
}
