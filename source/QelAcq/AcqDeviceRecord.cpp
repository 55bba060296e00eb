#include "source/QelAcq/AcqDeviceRecord.h"

namespace {

bool InTables(const AcqSharedTables* tables, std::uint32_t board, std::uint32_t slot) {
  return tables != nullptr && board < kAcqMaxBoards && slot < kAcqSlotsPerBoard;
}

}  // namespace

AcqDeviceRecord* AcqSharedRecord(AcqSharedTables* tables, std::uint32_t board, std::uint32_t slot) {
  return InTables(tables, board, slot) ? &tables->records[board * kAcqSlotsPerBoard + slot] : nullptr;
}

AcqDeviceOwnerTags* AcqSharedOwnerTags(AcqSharedTables* tables, std::uint32_t board, std::uint32_t slot) {
  return InTables(tables, board, slot) ? &tables->ownerTags[board * kAcqSlotsPerBoard + slot] : nullptr;
}

void AcqInitRecordHeaders(AcqDeviceRecord* record, std::uint32_t board, std::uint32_t slot,
                          std::uint32_t resourceMask) {
  if (record == nullptr) return;
  record->slotIndex = slot;
  record->boardIndex = board;
  record->resourceMask = resourceMask;
  AcqInitCapBlock(&record->vicCaps);
  AcqInitCapBlock(&record->camCaps);
  AcqInitRecordBlock(&record->vic);
  AcqInitRecordBlock(&record->cam);
}
