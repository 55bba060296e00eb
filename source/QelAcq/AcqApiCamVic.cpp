// Whole parameter sets exchanged with CAM and VIC objects under the
// parameter lock, with the roll-back of a set the device refuses.
#include <algorithm>
#include <cstring>

#include "source/QelAcq/AcqApi.h"
#include "source/QelAcq/AcqDeviceHandles.h"
#include "source/QelAcq/AcqModule.h"

namespace {

constexpr std::uint32_t kBlockHeader = 8;  // kind and size; the bit set follows

struct Pair {
  AcqDeviceRecord* record = nullptr;
  VicPrmBlock* vic = nullptr;
  CamPrmBlock* cam = nullptr;
};

QelStatus WithModule(QelStatus status) { return status == 0 ? 0 : status | kQelModuleAcquisition; }

QelStatus CheckPair(QelHandle* handle, const QelHandle* vic, const QelHandle* cam, Pair* pair) {
  if (const QelStatus checked = AcqCheckHandle(handle); checked != 0) return checked;
  pair->vic = static_cast<VicPrmBlock*>(HandleRecordOf(vic, kQelTagVideoInputPrm));
  if (pair->vic == nullptr) return kAcqApiBadVic;
  pair->cam = static_cast<CamPrmBlock*>(HandleRecordOf(cam, kQelTagCameraPrm));
  if (pair->cam == nullptr) return kAcqApiBadCam;
  return WithModule(AcqGetDeviceRecord(handle, &pair->record));
}

// From the bit set on, up to the smaller of the two blocks.
template <typename Block>
void CopyFromBitSet(Block* to, const Block* from) {
  const std::uint32_t size = std::min<std::uint32_t>({to->size, from->size, sizeof(Block)});
  if (size <= kBlockHeader) return;
  std::memcpy(reinterpret_cast<std::uint8_t*>(to) + kBlockHeader, reinterpret_cast<const std::uint8_t*>(from) + kBlockHeader,
              size - kBlockHeader);
}

bool PairStillValid(QelHandle* handle, const QelHandle* vic, const QelHandle* cam) {
  return AcqCheckHandle(handle) == 0 && HandleRecordOf(vic, kQelTagVideoInputPrm) != nullptr &&
         HandleRecordOf(cam, kQelTagCameraPrm) != nullptr;
}

}  // namespace

QelStatus AcqUnlockCamVic(QelHandle* handle, const QelHandle* vic, const QelHandle* cam) {
  Pair pair;
  if (const QelStatus status = CheckPair(handle, vic, cam, &pair); status != 0) return status;
  return WithModule(AcqUnlockPrms(pair.record, pair.vic, pair.cam));
}

QelStatus AcqGetCamVic(QelHandle* handle, const QelHandle* vic, const QelHandle* cam, std::uint32_t lock) {
  Pair pair;
  if (const QelStatus status = CheckPair(handle, vic, cam, &pair); status != 0) return status;
  const bool wasLocked = AcqIsLocked(pair.record);
  if (lock != 0) {
    if (const QelStatus status = AcqLockPrms(pair.record, pair.vic, pair.cam); status != 0) return WithModule(status);
  }
  CopyFromBitSet(pair.vic, &pair.record->vic);
  const othStruct* table = AcqGetOthStructOf(pair.record);
  const QelStatus status = table->getCamVicHook != nullptr ? table->getCamVicHook(handle) : 0;
  if (status == 0) {
    CopyFromBitSet(pair.cam, &pair.record->cam);
    return 0;
  }
  if (lock != 0 && wasLocked) AcqUnlockPrms(pair.record, pair.vic, pair.cam);
  return WithModule(status);
}

QelStatus AcqSetCamVic(QelHandle* handle, const QelHandle* vic, const QelHandle* cam, std::uint32_t unlock) {
  Pair pair;
  if (const QelStatus status = CheckPair(handle, vic, cam, &pair); status != 0) return status;
  AcqDeviceRecord* record = pair.record;
  const bool locked = AcqIsLocked(record);
  if (locked && AcqLockPrms(record, pair.vic, pair.cam) != 0) return WithModule(kAcqLockHeldByOther);
  const VicPrmBlock oldVic = record->vic;
  const CamPrmBlock oldCam = record->cam;
  VicPrmBlock newVic = record->vic;
  CamPrmBlock newCam = record->cam;
  CopyFromBitSet(&newVic, pair.vic);
  CopyFromBitSet(&newCam, pair.cam);
  if (!locked) {
    AcqMarkAllModified(&newVic);
    AcqMarkAllModified(&newCam);
  }
  const othStruct* table = AcqGetOthStructOf(record);
  const QelStatus status = AcqApplyPrms(record, table, &newVic, &newCam);
  if (!PairStillValid(handle, vic, cam)) return status;
  if (status != 0) {
    pair.vic->modified = newVic.modified;
    pair.cam->modified = newCam.modified;
    VicPrmBlock backVic = oldVic;
    CamPrmBlock backCam = oldCam;
    AcqMarkAllModified(&backVic);
    AcqMarkAllModified(&backCam);
    AcqApplyPrms(record, table, &backVic, &backCam);
    return WithModule(status);
  }
  pair.vic->modified = record->vic.modified;
  pair.cam->modified = record->cam.modified;
  return unlock != 0 ? WithModule(AcqUnlockPrms(record, pair.vic, pair.cam)) : 0;
}
