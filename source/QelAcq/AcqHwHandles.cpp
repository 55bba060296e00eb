#include "source/QelAcq/AcqHwHandles.h"

#include <array>

#include "driver/user/Pardow.h"
#include "source/QelAcq/AcqDeviceRecord.h"

namespace {

std::array<YatAcqHandle*, kAcqDeviceRecordCount> g_handles{};

YatAcqHandle** Entry(std::uint32_t board, std::uint32_t slot) {
  if (board >= kAcqMaxBoards || slot >= kAcqSlotsPerBoard) return nullptr;
  return &g_handles[board * kAcqSlotsPerBoard + slot];
}

}  // namespace

QelHwStatus AcqOpenHwHandle(std::uint32_t board, std::uint32_t slot, std::uint32_t connector) {
  YatAcqHandle** entry = Entry(board, slot);
  if (entry == nullptr) return QELHW_ERROR_ARG_INVALID;
  return QelHw_Acq_GetHandle(board, connector, entry);
}

bool AcqHasHwHandle(std::uint32_t board, std::uint32_t slot) { return AcqGetHwHandle(board, slot) != nullptr; }

void AcqCloseHwHandle(std::uint32_t board, std::uint32_t slot) {
  YatAcqHandle** entry = Entry(board, slot);
  if (entry == nullptr || *entry == nullptr) return;
  QelHw_Acq_ReleaseHandle(*entry);
  *entry = nullptr;
}

YatAcqHandle* AcqGetHwHandle(std::uint32_t board, std::uint32_t slot) {
  YatAcqHandle** entry = Entry(board, slot);
  return entry == nullptr ? nullptr : *entry;
}
