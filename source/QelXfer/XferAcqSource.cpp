// The acquisition device behind a transfer source, read through the
// acquisition module's records.
#include <cstring>

#include "source/QelAcq/AcqBlocks.h"
#include "source/QelAcq/AcqDeviceHandles.h"
#include "source/QelAcq/AcqDeviceRecord.h"
#include "source/QelXfer/XferAcqSource.h"
#include "source/QelXfer/XferStatus.h"

namespace {

constexpr QelStatus kAcqUnknownId = 0x400028;
constexpr QelStatus kAcqNullOut = 0x400336;
constexpr std::uint32_t kLevelSelectedBuffer = 0x70C;
constexpr std::uint32_t kLevelFlatField = 0x70D;

std::uint32_t LowestBit(std::uint32_t mask) {
  for (std::uint32_t bit = 0; bit < 5; ++bit)
    if ((mask & (1u << bit)) != 0) return bit;
  return 0;
}

QelStatus RecordOf(const QelHandle* source, AcqDeviceRecord** record) {
  if (HandleIsSecondaryAcq(source)) return kXferGeneral;
  const QelStatus status = AcqGetDeviceRecord(source, record);
  return status == QEL_OK && *record == nullptr ? kAcqNoSuchDevice : status;
}

// The words of an id in the record, with their count; null for an id the
// record does not hold.
const std::uint32_t* PrmWords(const AcqDeviceRecord& record, std::uint32_t id) {
  const std::uint32_t index = AcqPrmIndex(id);
  if (index == kLevelSelectedBuffer) return &record.prm70c;
  if (index == kLevelFlatField) return &record.prm70d;
  if (AcqIsCamPrm(index)) return AcqPrmWords(&record.cam, index);
  if (AcqIsVicPrm(index)) return AcqPrmWords(&record.vic, index);
  return nullptr;
}

const std::uint32_t* CapWords(const AcqDeviceRecord& record, std::uint32_t id) {
  const std::uint32_t index = AcqPrmIndex(id);
  if (index >= kAcqLevelFirst && index < kAcqLevelFirst + kAcqLevelCapCount)
    return &record.levelCaps.caps[index - kAcqLevelFirst];
  if (AcqIsCamCap(index)) return AcqCapWords(&record.camCaps, index);
  if (AcqIsVicCap(index)) return AcqCapWords(&record.vicCaps, index);
  return nullptr;
}

QelStatus Copy(const std::uint32_t* words, std::uint32_t id, void* value) {
  if (value == nullptr) return kAcqNullOut;
  if (words == nullptr) return kAcqUnknownId | ((AcqPrmIndex(id) & 0xFFFu) << 8);
  std::memcpy(value, words, AcqPrmSize(id));
  return QEL_OK;
}

}  // namespace

QelStatus XferAcqDeviceOf(const QelHandle* source, XferAcqDevice* device) {
  AcqDeviceRecord* record = nullptr;
  if (const QelStatus status = RecordOf(source, &record); status != QEL_OK) return status;
  *device = XferAcqDevice{record->boardIndex, record->slotIndex, LowestBit(record->resourceMask), record->resourceMask};
  return QEL_OK;
}

QelStatus XferGetSrcPrm(const QelHandle* source, std::uint32_t id, void* value) {
  AcqDeviceRecord* record = nullptr;
  if (const QelStatus status = RecordOf(source, &record); status != QEL_OK) return status;
  return Copy(PrmWords(*record, id), id, value);
}

QelStatus XferGetSrcCap(const QelHandle* source, std::uint32_t id, void* value) {
  AcqDeviceRecord* record = nullptr;
  if (const QelStatus status = RecordOf(source, &record); status != QEL_OK) return status;
  return Copy(CapWords(*record, id), id, value);
}

QelStatus XferSrcValue(const QelHandle* source, std::uint32_t id, std::uint32_t* value) {
  *value = 0;
  return XferGetSrcPrm(source, (id & 0xFFFF0000u) | 4, value);
}

QelStatus XferSetAcqConnected(std::uint32_t board, std::uint32_t device, std::uint8_t connected) {
  AcqDeviceRecord* record = AcqSharedRecord(AcqGetSharedTables(), board, device);
  if (record == nullptr) return kAcqNoSuchDevice;
  record->xferConnected = connected;
  return QEL_OK;
}
