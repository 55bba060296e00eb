#include "source/QelAcq/AcqOthStruct.h"

#include <array>

namespace {

// Written only at board initialisation, before any request can reach a board.
std::array<othStruct, kAcqDeviceRecordCount> g_othStructs{};

}  // namespace

othStruct* AcqGetOthStruct(std::uint32_t board, std::uint32_t slot) {
  if (board >= kAcqMaxBoards || slot >= kAcqSlotsPerBoard) return nullptr;
  return &g_othStructs[board * kAcqSlotsPerBoard + slot];
}

othStruct* AcqGetOthStructOf(const AcqDeviceRecord* record) {
  return record == nullptr ? nullptr : AcqGetOthStruct(record->boardIndex, record->slotIndex);
}

void AcqClearOthStructs() { g_othStructs.fill(othStruct{}); }

void AcqInitOthStructHeader(othStruct* table) {
  if (table == nullptr) return;
  table->vicApplyHeader[0] = 0;
  table->vicApplyHeader[1] = kAcqVicApplyTableBytes;
  table->camApplyHeader[0] = kAcqCamApplyTableBytes;
  table->camApplyHeader[1] = 368;
}
