#include "source/QelAcq/AcqDeviceHandles.h"

#include <array>
#include <memory>
#include <mutex>

#include "source/QelAcq/AcqDetect.h"

namespace {

// The table and its mutex outlive static teardown: a board event thread may
// still look a handle up while the process ends. A handle object taken out
// of the table is kept aside for its slot, never deleted: a caller that got
// it from AcqGetHandle before the module's end may still be using it, and
// the next start of the slot takes it back.
struct HandleTable {
  std::mutex mutex;
  std::array<std::unique_ptr<QelHandle>, kAcqDeviceRecordCount> entries;
  std::array<std::unique_ptr<QelHandle>, kAcqDeviceRecordCount> retired;
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
// The slot's object kept aside; the slot is one Entry accepted.
std::unique_ptr<QelHandle>& Retired(std::uint32_t board, std::uint32_t slot) {
  return Table().retired[board * kAcqSlotsPerBoard + slot];
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
  if (*entry == nullptr) {
    std::unique_ptr<QelHandle>& kept = Retired(board, slot);
    *entry = kept != nullptr ? std::move(kept) : std::make_unique<QelHandle>();
    (*entry)->server = 0;  // set again at the device's next open
  }
  QelHandle* handle = entry->get();
  handle->record = record;
  handle->tag = kQelTagAcqDevice;
  handle->self = reinterpret_cast<std::uint64_t>(handle);
  return handle;
}

void AcqFreeHandle(std::uint32_t board, std::uint32_t slot) {
  std::lock_guard<std::mutex> lock(Table().mutex);
  std::unique_ptr<QelHandle>* entry = Entry(board, slot);
  if (entry != nullptr && *entry != nullptr) Retired(board, slot) = std::move(*entry);
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
