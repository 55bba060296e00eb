#include "source/QelAcq/AcqDeviceHandles.h"

#include <mutex>

#include "source/QelAcq/AcqDetect.h"
#include "source/QelAcq/AcqKeptHandles.h"

namespace {

// The table and its mutex outlive static teardown: a board event thread may
// still look a handle up while the process ends. Its objects are never
// deleted (AcqKeptHandles.h).
struct HandleTable {
  std::mutex mutex;
  AcqKeptHandles handles;
};

HandleTable& Table() {
  static auto* table = new HandleTable;
  return *table;
}

// The slot's place in the table, kAcqDeviceRecordCount when out of range.
std::uint32_t Slot(std::uint32_t board, std::uint32_t slot) {
  if (board >= kAcqMaxBoards || slot >= kAcqSlotsPerBoard) return kAcqDeviceRecordCount;
  return board * kAcqSlotsPerBoard + slot;
}

}  // namespace

QelHandle* AcqGetHandle(std::uint32_t board, std::uint32_t slot) {
  const std::uint32_t at = Slot(board, slot);
  if (at == kAcqDeviceRecordCount) return nullptr;
  std::lock_guard<std::mutex> lock(Table().mutex);
  return Table().handles.live[at].get();
}

QelHandle* AcqAllocHandle(std::uint32_t board, std::uint32_t slot) {
  const std::uint32_t at = Slot(board, slot);
  if (at == kAcqDeviceRecordCount) return nullptr;
  const auto record = reinterpret_cast<std::uint64_t>(AcqSharedRecord(AcqGetSharedTables(), board, slot));
  std::lock_guard<std::mutex> lock(Table().mutex);
  return Table().handles.Bring(at, record);
}

void AcqFreeHandle(std::uint32_t board, std::uint32_t slot) {
  const std::uint32_t at = Slot(board, slot);
  if (at == kAcqDeviceRecordCount) return;
  std::lock_guard<std::mutex> lock(Table().mutex);
  Table().handles.Retire(at);
}

bool AcqIsDeviceTag(std::uint32_t tag) {
  return tag == kQelTagAcqDevice || tag == kQelTagAcqSourceB || tag == kQelTagSecondaryAcq;
}

QelStatus AcqGetDeviceRecord(const QelHandle* handle, AcqDeviceRecord** record) {
  if (handle == nullptr) return kAcqNoSuchDevice;
  std::lock_guard<std::mutex> lock(Table().mutex);
  for (const std::unique_ptr<QelHandle>& own : Table().handles.live)
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
