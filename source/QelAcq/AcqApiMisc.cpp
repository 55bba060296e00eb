// The device operations behind single slots of its interface table: private
// commands, the client's callback, camera-control entries by name, software
// trigger, time stamp, internal and onboard buffers.
#include <cstring>

#include "source/QelAcq/AcqApi.h"
#include "source/QelAcq/AcqDeviceHandles.h"
#include "source/QelAcq/AcqModule.h"

namespace {

constexpr std::uint32_t kCameraControlIndex = 73;
constexpr std::uint32_t kControlEntries = 32;
constexpr std::uint32_t kControlEntryWords = 9;
constexpr std::uint32_t kControlNameBytes = 24;
constexpr std::uint32_t kControlKindWord = 6;
constexpr std::uint32_t kControlValueWord = 8;
constexpr std::uint32_t kKindReadOnly = 1;
constexpr std::uint32_t kKindKept = 2;
constexpr std::uint32_t kEventCap = 0x700;
constexpr std::uint32_t kTriggerCap = 0x701;
constexpr std::uint32_t kTimeStampCap = 0x702;
constexpr std::uint32_t kInternalBufferCap = 0x707;
constexpr std::uint32_t kOnboardBufferCap = 0x70F;

QelStatus WithModule(QelStatus status) { return status == 0 ? 0 : status | kQelModuleAcquisition; }

QelStatus Device(QelHandle* handle, AcqDeviceRecord** record) {
  if (const QelStatus checked = AcqCheckHandle(handle); checked != 0) return checked;
  return WithModule(AcqGetDeviceRecord(handle, record));
}

std::uint32_t LevelCap(const AcqDeviceRecord* record, std::uint32_t index) {
  return record->levelCaps.caps[index - kAcqLevelFirst];
}

QelStatus CapAbsent(std::uint32_t index) { return kQelModuleAcquisition | ((index & 0xFFFu) << 8) | 0x1F; }

// The entry of a name (compared within the entry's name field); -1 when
// none comes before the first empty name.
int FindControl(const AcqDeviceRecord* record, const char* name, std::uint32_t nameBytes) {
  const std::uint32_t* table = AcqPrmWords(&record->cam, kCameraControlIndex);
  for (std::uint32_t entry = 0; entry < kControlEntries; ++entry) {
    const char* own = reinterpret_cast<const char*>(table + entry * kControlEntryWords);
    if (own[0] == '\0') return -1;
    const std::size_t ownLength = strnlen(own, kControlNameBytes);
    const std::size_t length = strnlen(name, nameBytes);
    if (length == ownLength && std::memcmp(own, name, length) == 0) return static_cast<int>(entry);
  }
  return -1;
}

std::uint32_t ControlWord(const AcqDeviceRecord* record, int entry, std::uint32_t word) {
  return AcqPrmWords(&record->cam, kCameraControlIndex)[entry * kControlEntryWords + word];
}

// A buffer or time-stamp operation: the device, then its capability, then
// its slot, whose failure is answered with the module part.
template <auto Slot, typename... Args>
QelStatus CallSlot(QelHandle* handle, std::uint32_t cap, Args... args) {
  AcqDeviceRecord* record = nullptr;
  if (const QelStatus status = Device(handle, &record); status != 0) return status;
  if (LevelCap(record, cap) == 0) return CapAbsent(cap);
  const auto operation = AcqGetOthStructOf(record)->*Slot;
  if (operation == nullptr) return kAcqApiNotSupported;
  return WithModule(operation(handle, args...));
}

// A private command: the device and both buffers checked, then its slot;
// a write's failure is answered with the module part, a read's as it comes.
QelStatus CallPrivate(QelHandle* handle, AcqPrivateOp othStruct::*slot, bool answerWithModule, std::uint32_t command,
                      const void* in, std::uint32_t inSize, void* out, std::uint32_t outSize) {
  AcqDeviceRecord* record = nullptr;
  if (const QelStatus status = Device(handle, &record); status != 0) return status;
  if (inSize != 0 && in == nullptr) return AcqApiEmpty(3);
  if (outSize != 0 && out == nullptr) return AcqApiEmpty(5);
  const AcqPrivateOp operation = AcqGetOthStructOf(record)->*slot;
  if (operation == nullptr) return kAcqApiNotSupported;
  const QelStatus status = operation(handle, command, in, inSize, out, outSize);
  return answerWithModule ? WithModule(status) : status;
}

}  // namespace

QelStatus AcqPrivateRead(QelHandle* handle, std::uint32_t command, const void* in, std::uint32_t inSize, void* out,
                         std::uint32_t outSize) {
  return CallPrivate(handle, &othStruct::privateRead, false, command, in, inSize, out, outSize);
}

QelStatus AcqPrivateWrite(QelHandle* handle, std::uint32_t command, const void* in, std::uint32_t inSize, void* out,
                          std::uint32_t outSize) {
  return CallPrivate(handle, &othStruct::privateWrite, true, command, in, inSize, out, outSize);
}

QelStatus AcqRegisterCallback(QelHandle* handle, std::uint32_t mask, std::uint64_t callback, std::uint64_t context,
                              const QelHandle* client) {
  AcqDeviceRecord* record = nullptr;
  if (const QelStatus status = Device(handle, &record); status != 0) return status;
  if (record->callbackToken != 0 && (AcqHasOwnCallback(record) || !AcqIsOwnDevice(record->boardIndex, record->slotIndex)))
    return kAcqApiInUse;
  if (mask == 0) return kQelModuleAcquisition | 0x235;
  if (((mask & ~0x3u) & ~LevelCap(record, kEventCap)) != 0) return kAcqApiNotAllowed;
  return WithModule(AcqModRegisterCallback(handle, mask, callback, context, client));
}

QelStatus AcqUnregisterCallback(QelHandle* handle, std::uint64_t callback) {
  AcqDeviceRecord* record = nullptr;
  if (const QelStatus status = Device(handle, &record); status != 0) return status;
  std::uint64_t registered = 0;
  AcqGetPrm(handle, 0x7040008, &registered);
  if (callback != 0 && callback != registered) return kQelModuleAcquisition | 0x235;
  return WithModule(AcqModUnregisterCallback(handle));
}

QelStatus AcqGetCameraControl(QelHandle* handle, const char* name, std::uint32_t* out) {
  AcqDeviceRecord* record = nullptr;
  if (const QelStatus status = Device(handle, &record); status != 0) return status;
  if (name == nullptr) return AcqApiNullOut(2);
  if (out == nullptr) return AcqApiNullOut(3);
  const int entry = FindControl(record, name, kControlNameBytes);
  if (entry < 0) return AcqApiEmpty(2);
  if (ControlWord(record, entry, kControlKindWord) == kKindKept) {
    *out = ControlWord(record, entry, kControlValueWord);
    return 0;
  }
  const othStruct* table = AcqGetOthStructOf(record);
  if (table->cameraControlRead == nullptr) return kAcqApiNotSupported;
  return WithModule(table->cameraControlRead(handle, static_cast<std::uint32_t>(entry), out, &record->cam));
}

QelStatus AcqSetCameraControl(QelHandle* handle, const char* name, std::uint32_t value) {
  AcqDeviceRecord* record = nullptr;
  if (const QelStatus status = Device(handle, &record); status != 0) return status;
  if (name == nullptr) return AcqApiNullOut(2);
  if (AcqIsLocked(record)) return kAcqApiLocked;
  const int entry = FindControl(record, name, kControlNameBytes);
  if (entry < 0 || ControlWord(record, entry, kControlKindWord) == kKindReadOnly) return AcqApiEmpty(2);
  const othStruct* table = AcqGetOthStructOf(record);
  if (table->cameraControlWrite == nullptr) return kAcqApiNotSupported;
  AcqValidationContext context = AcqRecordContext(record);
  return WithModule(table->cameraControlWrite(handle, static_cast<std::uint32_t>(entry), value, &context));
}

QelStatus AcqSoftwareTrigger(QelHandle* handle, std::uint32_t kind) {
  AcqDeviceRecord* record = nullptr;
  if (const QelStatus status = Device(handle, &record); status != 0) return status;
  const othStruct* table = AcqGetOthStructOf(record);
  if (table->softwareTrigger == nullptr) return kAcqApiNotSupported;
  if ((kind & LevelCap(record, kTriggerCap)) == 0) return CapAbsent(kTriggerCap);
  return table->softwareTrigger(handle, kind);
}

QelStatus AcqResetTimeStamp(QelHandle* handle, std::uint32_t* out) {
  return CallSlot<&othStruct::resetTimeStamp>(handle, kTimeStampCap, out != nullptr ? *out : 0u);
}

QelStatus AcqCreateInternalBuffers(QelHandle* handle, std::uint32_t* out) {
  if (out == nullptr) return AcqApiEmpty(2);
  return CallSlot<&othStruct::internalBufferCreate>(handle, kInternalBufferCap, out);
}

QelStatus AcqFreeInternalBuffer(QelHandle* handle, std::uint32_t number) {
  return CallSlot<&othStruct::internalBufferFree>(handle, kInternalBufferCap, number);
}

QelStatus AcqWriteInternalBuffer(QelHandle* handle, std::uint32_t number, QelHandle* buffer, std::uint64_t extra) {
  return CallSlot<&othStruct::internalBufferWrite>(handle, kInternalBufferCap, number, buffer, extra);
}

QelStatus AcqReadInternalBuffer(QelHandle* handle, std::uint32_t number, QelHandle* buffer, std::uint64_t extra) {
  return CallSlot<&othStruct::internalBufferRead>(handle, kInternalBufferCap, number, buffer, extra);
}

QelStatus AcqCreateOnboardBuffer(QelHandle* handle, std::uint32_t* out) {
  if (out == nullptr) return AcqApiEmpty(2);
  return CallSlot<&othStruct::onboardBufferCreate>(handle, kOnboardBufferCap, out);
}

QelStatus AcqFreeOnboardBuffer(QelHandle* handle, std::uint32_t number) {
  return CallSlot<&othStruct::onboardBufferFree>(handle, kOnboardBufferCap, number);
}

QelStatus AcqWriteOnboardBuffer(QelHandle* handle, std::uint32_t number, QelHandle* buffer) {
  return CallSlot<&othStruct::onboardBufferWrite>(handle, kOnboardBufferCap, number, buffer, 0u);
}

QelStatus AcqReadOnboardBuffer(QelHandle* handle, std::uint32_t number, QelHandle* buffer) {
  return CallSlot<&othStruct::onboardBufferRead>(handle, kOnboardBufferCap, number, buffer, 0u);
}
