// Capabilities and parameters of a device: reading them (also through a
// monitor handle) and the set road of one parameter with its roll-back.
//
// Every id names its value's full size: an id whose size field differs from
// the value's span is refused as undefined, so no answer runs past the size
// the caller asked for.
#include <cstring>
#include <vector>

#include "source/QelAcq/AcqApi.h"
#include "source/QelAcq/AcqDeviceHandles.h"
#include "source/QelAcq/AcqModule.h"
#include "source/QelAcq/AcqOwnerTokens.h"
#include "source/QelAcq/acqmonitor.h"

namespace {

constexpr std::uint32_t kNameId = 0x7000080;
constexpr std::uint32_t kEventMaskId = 0x7010004;
constexpr std::uint32_t kEventCountId = 0x7020004;
constexpr std::uint32_t kRegistrationId = 0x7030008;
constexpr std::uint32_t kCallbackId = 0x7040008;
constexpr std::uint32_t kContextId = 0x7050008;
constexpr std::uint32_t kPrm706Id = 0x7060004;
constexpr std::uint32_t kPrm707Id = 0x7070004;
constexpr std::uint32_t kCameraStatusId = 0x7080004;
constexpr std::uint32_t kDetectedWidthId = 0x70a0004;
constexpr std::uint32_t kDetectedHeightId = 0x70b0004;
constexpr std::uint32_t kPrm70cId = 0x70c0004;
constexpr std::uint32_t kPrm70dId = 0x70d0004;
constexpr std::uint32_t kVicReadOnly[] = {0x82e0004, 0x8320004, 0x8450004, 0x8460004, 0x85f0004,
                                          0x8670004, 0x8740020, 0x8750020, 0x8760020};

QelStatus Kind(std::uint32_t id, std::uint32_t kind) {
  return kQelModuleAcquisition | ((AcqPrmIndex(id) & 0xFFFu) << 8) | kind;
}
QelStatus Undefined(std::uint32_t id) { return Kind(id, 0x28); }
QelStatus WithModule(QelStatus status) { return status == 0 ? 0 : status | kQelModuleAcquisition; }
bool IsLevel(std::uint32_t index) { return (index & 0xFF00u) == 0x700; }

// The words of a capability and their count; null outside the blocks.
const std::uint32_t* CapWords(const AcqDeviceRecord& r, std::uint32_t index, std::uint32_t* words) {
  if (index >= kAcqLevelFirst && index < kAcqLevelFirst + kAcqLevelCapCount) {
    *words = 1;
    return &r.levelCaps.caps[index - kAcqLevelFirst];
  }
  const std::uint32_t* at = nullptr;
  if (AcqIsVicCap(index)) {
    at = AcqCapWords(&r.vicCaps, index);
    const std::uint32_t entry = index - kAcqVicCapFirst;
    *words = VicCapOffsetTable[entry + 1] - VicCapOffsetTable[entry];
  } else if (AcqIsCamCap(index)) {
    at = AcqCapWords(&r.camCaps, index);
    *words = CamCapOffsetTable[index + 1] - CamCapOffsetTable[index];
  }
  return at;
}

QelStatus ReadCap(QelHandle* handle, AcqDeviceRecord* record, std::uint32_t id, void* out) {
  const std::uint32_t index = AcqPrmIndex(id);
  std::uint32_t words = 0;
  const std::uint32_t* at = CapWords(*record, index, &words);
  if (at == nullptr || AcqPrmSize(id) != 4 * words) return Kind(id, 0x1E);
  const othStruct* table = AcqGetOthStructOf(record);
  if (AcqIsVicCap(index) && table->getVicCapHook != nullptr) {
    if (const QelStatus status = table->getVicCapHook(handle, id, const_cast<std::uint32_t*>(at)); status != 0)
      return status;
  }
  std::memcpy(out, at, 4 * words);
  return 0;
}

QelStatus ReadLevelPrm(QelHandle* handle, AcqDeviceRecord* record, std::uint32_t id, void* out) {
  const othStruct* table = AcqGetOthStructOf(record);
  const AcqOwnerTag& tag = AcqSharedOwnerTags(AcqGetSharedTables(), record->boardIndex, record->slotIndex)->callback;
  std::uint64_t quad = 0;
  switch (id) {
    case kNameId: {
      char name[128] = "Unknown";
      QelStatus status = 0;
      if (table->deviceNameOfHandle != nullptr) status = table->deviceNameOfHandle(handle, name);
      else if (table->deviceName != nullptr) status = table->deviceName(name);
      name[127] = '\0';
      std::memcpy(out, name, sizeof name);
      return status;
    }
    case kEventMaskId: std::memcpy(out, &record->eventMask, 4); return 0;
    case kEventCountId: std::memcpy(out, &record->eventCount, 4); return 0;
    case kPrm70cId: std::memcpy(out, &record->prm70c, 4); return 0;
    case kPrm70dId: std::memcpy(out, &record->prm70d, 4); return 0;
    // The registration and the stored callback values, as 64-bit words; only
    // the registering process knows them, every other process reads 0.
    case kRegistrationId: quad = record->callbackToken != 0 ? 1 : 0; break;
    case kCallbackId: AcqResolveToken(tag, record->callbackToken, &quad); break;
    case kContextId: AcqResolveToken(tag, record->contextToken, &quad); break;
    case kCameraStatusId:
      if (table->cameraStatus == nullptr) return Kind(id, 0x46);
      return table->cameraStatus(handle, static_cast<std::uint32_t*>(out));
    case kDetectedWidthId:
    case kDetectedHeightId:
      if (table->detectedVideoFormat == nullptr) return Kind(id, 0x46);
      return table->detectedVideoFormat(handle, id, static_cast<std::uint32_t*>(out));
    default: return Undefined(id);
  }
  std::memcpy(out, &quad, sizeof quad);
  return 0;
}

QelStatus ReadPrm(QelHandle* handle, AcqDeviceRecord* record, std::uint32_t id, void* out) {
  const std::uint32_t index = AcqPrmIndex(id);
  if (IsLevel(index)) return ReadLevelPrm(handle, record, id, out);
  if (AcqCheckPrmId(id) != 0) return Undefined(id);
  if (AcqIsVicPrm(index)) {
    std::uint32_t* at = AcqPrmWords(&record->vic, index);
    const othStruct* table = AcqGetOthStructOf(record);
    if (table->getVicPrmHook != nullptr) {
      if (const QelStatus status = table->getVicPrmHook(handle, id, at); status != 0) return status;
    }
    std::memcpy(out, at, AcqPrmSize(id));
    return 0;
  }
  std::memcpy(out, AcqPrmWords(&record->cam, index), AcqPrmSize(id));
  return 0;
}

// A monitor handle: the acquiring process answers; a device that no process
// has open is read from its shared record.
template <typename Read>
QelStatus ThroughMonitor(QelHandle* handle, std::uint32_t id, void* out, std::uint32_t type, Read read) {
  const QelStatus sent = AcqMonitorSendRequest(handle, type, id, out, AcqPrmSize(id));
  if (sent != kAcqMonitorNoAcquirer) return sent;
  AcqDeviceRecord* record = AcqMonitorGetAcqHandle(handle);
  if (record == nullptr) return kAcqInvalidHandle;
  return read(AcqGetHandle(record->boardIndex, record->slotIndex), record, id, out);
}

template <typename Read>
QelStatus ReadThrough(QelHandle* handle, std::uint32_t id, void* out, std::uint32_t monitorType, Read read) {
  if (out == nullptr) return AcqApiNullOut(3);
  AcqDeviceRecord* record = nullptr;
  if (AcqGetDeviceRecord(handle, &record) == 0) return read(handle, record, id, out);
  if (AcqMonitorIsHandle(handle)) return ThroughMonitor(handle, id, out, monitorType, read);
  return kAcqApiBadHandle;
}

}  // namespace

QelStatus AcqGetCap(QelHandle* handle, std::uint32_t id, void* out) {
  if (const QelStatus checked = AcqCheckHandle(handle); checked != 0) return checked;
  return ReadThrough(handle, id, out, kAcqMonitorMsgGetCap, ReadCap);
}

QelStatus AcqGetPrm(QelHandle* handle, std::uint32_t id, void* out) {
  if (const QelStatus checked = AcqCheckHandle(handle); checked != 0) return checked;
  return ReadThrough(handle, id, out, kAcqMonitorMsgGetPrm, ReadPrm);
}

namespace {

// 0x7060004 and 0x7070004: the new word stays unless the slot refuses it.
QelStatus SetWordThroughSlot(QelHandle* handle, std::uint32_t id, std::uint32_t* word, std::uint32_t value,
                             AcqHandleValueOp slot) {
  if (slot == nullptr) {
    *word = value;
    return Kind(id, 0x46);
  }
  const std::uint32_t old = *word;
  *word = value;
  const QelStatus status = slot(handle, value);
  if (status == 0) return 0;
  *word = old;
  slot(handle, old);
  return status;
}

// 0x70c0004 and 0x70d0004: stored only when the slot takes it.
QelStatus SetWordAfterSlot(QelHandle* handle, std::uint32_t* word, std::uint32_t value, AcqHandleValueOp slot) {
  if (slot == nullptr) return 0;
  const QelStatus status = slot(handle, value);
  if (status == 0) {
    *word = value;
    return 0;
  }
  slot(handle, *word);
  return status;
}

QelStatus SetLevelPrm(QelHandle* handle, AcqDeviceRecord* record, std::uint32_t id, std::uint32_t value) {
  const othStruct* table = AcqGetOthStructOf(record);
  switch (id) {
    case kNameId: case kEventMaskId: case kRegistrationId: case kCallbackId: case kContextId: case kCameraStatusId:
      return Kind(id, 0x2C);
    case kEventCountId: record->eventCount = value; return 0;
    case kPrm706Id: return SetWordThroughSlot(handle, id, &record->prm706, value, table->setPrm706);
    case kPrm707Id: return SetWordThroughSlot(handle, id, &record->prm707, value, table->setPrm707);
    case kPrm70cId: return SetWordAfterSlot(handle, &record->prm70c, value, table->setPrm70c);
    case kPrm70dId: return SetWordAfterSlot(handle, &record->prm70d, value, table->setPrm70d);
    default: return Undefined(id);
  }
}

bool IsLevelId(std::uint32_t id) {
  constexpr std::uint32_t kIds[] = {kNameId,        kEventMaskId,     kEventCountId,     kRegistrationId, kCallbackId,
                                    kContextId,     kPrm706Id,        kPrm707Id,         kCameraStatusId, kDetectedWidthId,
                                    kDetectedHeightId, kPrm70cId,     kPrm70dId};
  for (std::uint32_t known : kIds)
    if (known == id) return true;
  return false;
}

bool IsReadOnlyVic(std::uint32_t id) {
  for (std::uint32_t readOnly : kVicReadOnly)
    if (readOnly == id) return true;
  return false;
}

// Without an apply handler: a software-only parameter becomes current, any
// other only "changes" to the value it already has.
QelStatus WithoutHandler(AcqValidationContext* context, std::uint32_t id, const std::vector<std::uint32_t>& old,
                         const std::uint32_t* now) {
  const std::uint32_t index = AcqPrmIndex(id);
  if (AcqIsVicPrm(index) && IsReadOnlyVic(id)) return Kind(id, 0x2C);
  if (AcqIsCamPrm(index) ? AcqIsSoftwareCamPrm(index) : AcqIsSoftwareVicPrm(index)) {
    if (AcqIsCamPrm(index)) AcqClearModified(context->camCurrent, index);
    else AcqClearModified(context->vicCurrent, index);
    return 0;
  }
  return std::memcmp(old.data(), now, 4 * old.size()) == 0 ? 0 : Kind(id, 0x29);
}

QelStatus SetBlockPrm(AcqDeviceRecord* record, std::uint32_t id, const void* value) {
  const std::uint32_t index = AcqPrmIndex(id);
  const othStruct* table = AcqGetOthStructOf(record);
  std::uint32_t* at = AcqIsCamPrm(index) ? AcqPrmWords(&record->cam, index) : AcqPrmWords(&record->vic, index);
  const std::uint32_t entry = AcqIsCamPrm(index) ? index : index - kAcqVicPrmFirst;
  const AcqValidator validate = AcqIsCamPrm(index) ? table->camValidators[entry] : table->vicValidators[entry];
  const AcqPrmHandler apply = AcqIsCamPrm(index) ? table->camApplyTable[entry] : table->vicApplyTable[entry];
  std::vector<std::uint32_t> old(at, at + AcqPrmSpanWords(index));
  std::memcpy(at, value, AcqPrmSize(id));
  AcqValidationContext context = AcqRecordContext(record);
  QelStatus status = validate != nullptr ? WithModule(validate(&context)) : 0;
  if (status == 0 && apply != nullptr) {
    status = apply(&context);
    if (status == 0) return 0;
    std::memcpy(at, old.data(), 4 * old.size());
    apply(&context);
    return WithModule(status);
  }
  if (status == 0) status = WithoutHandler(&context, id, old, at);
  if (status != 0) std::memcpy(at, old.data(), 4 * old.size());
  return status;
}

}  // namespace

QelStatus AcqSetPrm(QelHandle* handle, std::uint32_t id, const void* value) {
  if (const QelStatus checked = AcqCheckHandle(handle); checked != 0) return checked;
  if (value == nullptr) return AcqApiNullOut(3);
  AcqDeviceRecord* record = nullptr;
  if (const QelStatus status = AcqGetDeviceRecord(handle, &record); status != 0) return WithModule(status);
  if (AcqIsLocked(record)) return kAcqApiLocked;
  const std::uint32_t index = AcqPrmIndex(id);
  if (IsLevel(index)) {
    if (!IsLevelId(id)) return Undefined(id);
    std::uint32_t word = 0;
    std::memcpy(&word, value, 4);
    return WithModule(SetLevelPrm(handle, record, id, word));
  }
  if (AcqCheckPrmId(id) != 0) return Undefined(id);
  return WithModule(SetBlockPrm(record, id, value));
}

QelStatus AcqSetPrmValue(QelHandle* handle, std::uint32_t id, std::uint32_t value) {
  if (AcqPrmSize(id) != 4) return Undefined(id);
  return AcqSetPrm(handle, id, &value);
}
