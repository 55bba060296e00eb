// A device's initialisation and the apply of whole parameter sets: every
// marked parameter validated before any is applied, then applied in
// increasing index through the device's apply tables.
#include <algorithm>
#include <array>

#include "source/QelAcq/AcqDeviceHandles.h"
#include "source/QelAcq/AcqModule.h"
#include "source/QelAcq/AcqPrmAccess.h"
#include "source/QelAcq/AcqPrmObjects.h"
#include "source/QelAcq/AcqValidators.h"

namespace {

constexpr std::array<std::uint32_t, 23> kSoftwareCamPrms = {0x1a, 0x29, 0x3d, 0x3f, 0x40, 0x41, 0x42, 0x43,
                                                            0x44, 0x45, 0x4a, 0x51, 0x52, 0x53, 0x54, 0x59,
                                                            0x5a, 0x5b, 0x5c, 0x5d, 0x5e, 0x61, 0x62};
constexpr std::uint32_t kSoftwareVicPrm = 0x82d;

template <typename Block>
QelStatus ApplyMarked(AcqValidationContext* context, Block* block, std::uint32_t first, std::uint32_t count,
                      AcqPrmHandler* handlers, bool (*software)(std::uint32_t)) {
  for (std::uint32_t n = 0; n < count; ++n) {
    const std::uint32_t index = first + n;
    if (!AcqIsModified(block, index)) continue;
    if (AcqPrmHandler apply = handlers != nullptr ? handlers[n] : nullptr) {
      if (const QelStatus status = apply(context); status != 0) return status;
      continue;
    }
    // Without a handler only a software-only parameter becomes current.
    if (software(index)) AcqTakePrm(context, index);
    AcqClearModified(block, index);
  }
  return 0;
}

}  // namespace

bool AcqIsSoftwareCamPrm(std::uint32_t index) {
  return std::find(kSoftwareCamPrms.begin(), kSoftwareCamPrms.end(), index) != kSoftwareCamPrms.end();
}

bool AcqIsSoftwareVicPrm(std::uint32_t index) { return index == kSoftwareVicPrm; }

QelStatus AcqApplyPrms(AcqDeviceRecord* record, const othStruct* table, VicPrmBlock* newVic, CamPrmBlock* newCam) {
  if (record == nullptr || table == nullptr || newVic == nullptr || newCam == nullptr) return kAcqNoSuchDevice;
  AcqValidationContext context = AcqRecordContext(record);
  context.vicNew = newVic;
  context.camNew = newCam;
  const AcqModifiedSet vicBits = newVic->modified, camBits = newCam->modified;
  const std::uint32_t refused = AcqValidateMarkedPrms(&context, table->camValidators, table->vicValidators, nullptr);
  if (refused != 0) return refused | kQelModuleAcquisition;
  newVic->modified = vicBits;
  newCam->modified = camBits;
  const QelStatus status =
      ApplyMarked(&context, newCam, 0, kAcqCamPrmCount, table->camApplyTable, AcqIsSoftwareCamPrm);
  if (status != 0) return status;
  return ApplyMarked(&context, newVic, kAcqVicPrmFirst, kAcqVicPrmCount, table->vicApplyTable, AcqIsSoftwareVicPrm);
}

QelStatus AcqInitDevice(std::uint32_t board, std::uint32_t device) {
  AcqDeviceRecord* record = AcqGetShadowRecord(board, device);
  const othStruct* table = AcqGetOthStruct(board, device);
  if (record == nullptr || table == nullptr) return kAcqNoSuchDevice;
  if (table->defaultPrms == nullptr || table->capabilities == nullptr) return kAcqSlotMissing;
  AcqValidationContext context = AcqRecordContext(record);
  QelStatus status = 0;
  if (AcqGetSharedTables()->boardInitialised[board] == 0) status = table->capabilities(&context);
  if (status == 0) status = CamSetDefaultsToBlock(&record->cam);
  if (status == 0) status = VicSetDefaultsToBlock(&record->vic);
  if (status == 0) status = table->defaultPrms(&context);
  QelHandle* handle = AcqGetHandle(board, device);
  if (status == 0 && table->reopenHwHandle != nullptr) status = table->reopenHwHandle(handle);
  if (status != 0) return status;
  AcqMarkAllModified(&record->vic);
  AcqMarkAllModified(&record->cam);
  status = AcqApplyPrms(record, table, &record->vic, &record->cam);
  // A refused set leaves no mark behind in the record.
  std::fill(std::begin(record->vic.modified.words), std::end(record->vic.modified.words), 0u);
  std::fill(std::begin(record->cam.modified.words), std::end(record->cam.modified.words), 0u);
  if (status == 0 && table->lutInit != nullptr) status = table->lutInit(handle);
  return status;
}
