#include "source/QelAcq/AcqDeviceHandles.h"

#include <array>
#include <memory>

#include "source/QelAcq/AcqDetect.h"

namespace {

std::array<std::unique_ptr<QelHandle>, kAcqDeviceRecordCount> g_handles;

std::unique_ptr<QelHandle>* Entry(std::uint32_t board, std::uint32_t slot) {
  if (board >= kAcqMaxBoards || slot >= kAcqSlotsPerBoard) return nullptr;
  return &g_handles[board * kAcqSlotsPerBoard + slot];
}

}  // namespace

QelHandle* AcqGetHandle(std::uint32_t board, std::uint32_t slot) {
  std::unique_ptr<QelHandle>* entry = Entry(board, slot);
  return entry == nullptr ? nullptr : entry->get();
}

QelHandle* AcqAllocHandle(std::uint32_t board, std::uint32_t slot) {
  std::unique_ptr<QelHandle>* entry = Entry(board, slot);
  if (entry == nullptr) return nullptr;
  if (*entry == nullptr) *entry = std::make_unique<QelHandle>();
  QelHandle* handle = entry->get();
  handle->record = reinterpret_cast<std::uint64_t>(AcqSharedRecord(AcqGetSharedTables(), board, slot));
  handle->tag = kQelTagAcqDevice;
  handle->self = reinterpret_cast<std::uint64_t>(handle);
  return handle;
}

void AcqFreeHandle(std::uint32_t board, std::uint32_t slot) {
  if (std::unique_ptr<QelHandle>* entry = Entry(board, slot)) entry->reset();
}

bool AcqIsDeviceTag(std::uint32_t tag) {
  return tag == kQelTagAcqDevice || tag == kQelTagAcqSourceB || tag == kQelTagSecondaryAcq;
}

QelStatus AcqGetDeviceRecord(const QelHandle* handle, AcqDeviceRecord** record) {
  if (handle == nullptr) return kAcqNoSuchDevice;
  for (const std::unique_ptr<QelHandle>& own : g_handles)
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
