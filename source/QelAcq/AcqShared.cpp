// The acquisition module's blocks of the shared data section.
#include "firmware/win32/QuilletShared.h"
#include "source/QelAcq/AcqDeviceRecord.h"
#include "source/QelAcq/AcqLutShadows.h"

AcqSharedTables* AcqGetSharedTables() { return &QuilletGetSharedData()->acq; }

AcqLutShadows* AcqGetLutShadows() { return &QuilletGetSharedData()->acqLuts; }

AcqBoardSyncTable* AcqGetBoardSyncTable() { return &QuilletGetSharedData()->acqBoardSync; }

namespace {

bool LutInRange(std::uint32_t board, std::uint32_t lut) { return board < kAcqMaxBoards && lut < kAcqLutsPerBoard; }

}  // namespace

std::uint16_t* AcqMonoLut(std::uint32_t board, std::uint32_t lut) {
  return LutInRange(board, lut) ? AcqGetLutShadows()->mono[board * kAcqLutsPerBoard + lut] : nullptr;
}

std::uint16_t* AcqColourLut(std::uint32_t board, std::uint32_t lut, std::uint32_t channel) {
  if (!LutInRange(board, lut) || channel >= kAcqLutChannels) return nullptr;
  return AcqGetLutShadows()->colour[(board * kAcqLutsPerBoard + lut) * kAcqLutChannels + channel];
}

std::uint16_t* AcqColour10Lut(std::uint32_t board, std::uint32_t lut, std::uint32_t channel) {
  if (!LutInRange(board, lut) || channel >= kAcqLutChannels) return nullptr;
  return AcqGetLutShadows()->colour10[(board * kAcqLutsPerBoard + lut) * kAcqLutChannels + channel];
}
