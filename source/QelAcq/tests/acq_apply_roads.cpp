#include "source/QelAcq/tests/acq_apply_roads.h"

#include <algorithm>
#include <vector>

#include "source/QelAcq/AcqBlocks.h"
#include "source/QelAcq/AcqOthStruct.h"
#include "source/QelAcq/AcqPrmAccess.h"

namespace {

AcqDeviceRecord* RecordOf(std::uint32_t board, std::uint32_t slot) {
  return AcqSharedRecord(AcqGetSharedTables(), board, slot);
}

bool Marked(const AcqValidationContext& c, std::uint32_t index) {
  return AcqIsCamPrm(index) ? AcqIsModified(c.camNew, index) : AcqIsModified(c.vicNew, index);
}

template <typename Visit>
QelStatus EachMarked(const AcqValidationContext& c, Visit visit) {
  for (std::uint32_t i = 0; i < kAcqCamPrmCount + kAcqVicPrmCount; ++i) {
    const std::uint32_t index = i < kAcqCamPrmCount ? i : kAcqVicPrmFirst + i - kAcqCamPrmCount;
    if (!Marked(c, index)) continue;
    if (const QelStatus status = visit(index); status != 0) return status;
  }
  return 0;
}

AcqPrmHandler Entry(const othStruct* table, std::uint32_t index, bool validator) {
  if (AcqIsCamPrm(index)) return validator ? table->camValidators[index] : table->camApplyTable[index];
  const std::uint32_t entry = index - kAcqVicPrmFirst;
  return validator ? table->vicValidators[entry] : table->vicApplyTable[entry];
}

}  // namespace

QelStatus AcqTestApplyAll(std::uint32_t board, std::uint32_t slot) {
  AcqDeviceRecord* record = RecordOf(board, slot);
  const othStruct* table = AcqGetOthStruct(board, slot);
  if (record == nullptr || table == nullptr) return 32769;
  VicPrmBlock vic = record->vic;
  CamPrmBlock cam = record->cam;
  AcqMarkAllModified(&vic);
  AcqMarkAllModified(&cam);
  AcqValidationContext c{&record->levelCaps, &record->vicCaps, &record->camCaps, &record->vic,
                         &record->cam,       &vic,             &cam,             record};
  const AcqModifiedSet vicBits = vic.modified, camBits = cam.modified;
  QelStatus status = EachMarked(c, [&](std::uint32_t index) {
    const AcqPrmHandler validate = Entry(table, index, true);
    return validate != nullptr ? validate(&c) : 0u;
  });
  if (status != 0) return status | kQelModuleAcquisition;
  vic.modified = vicBits;
  cam.modified = camBits;
  return EachMarked(c, [&](std::uint32_t index) {
    const AcqPrmHandler apply = Entry(table, index, false);
    if (apply != nullptr) return apply(&c);
    AcqTakePrm(&c, index);
    return 0u;
  });
}

QelStatus AcqTestSetPrm(std::uint32_t board, std::uint32_t slot, std::uint32_t index,
                        std::span<const std::uint32_t> words) {
  AcqDeviceRecord* record = RecordOf(board, slot);
  const othStruct* table = AcqGetOthStruct(board, slot);
  if (record == nullptr || table == nullptr) return 32769;
  AcqValidationContext c = AcqRecordContext(record);
  std::uint32_t* value = AcqIsCamPrm(index) ? AcqPrmWords(&record->cam, index) : AcqPrmWords(&record->vic, index);
  if (value == nullptr || words.size() != AcqPrmSpanWords(index)) return kQelModuleAcquisition | 0x28;
  const std::vector<std::uint32_t> old(value, value + words.size());
  std::copy(words.begin(), words.end(), value);
  const AcqPrmHandler validate = Entry(table, index, true), apply = Entry(table, index, false);
  QelStatus status = validate != nullptr ? validate(&c) : 0;
  if (status == 0 && apply != nullptr) status = apply(&c);
  if (status == 0) return 0;
  std::copy(old.begin(), old.end(), value);
  if (apply != nullptr) apply(&c);
  return status | kQelModuleAcquisition;
}
