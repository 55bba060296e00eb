// The device operations that sit on the appliers' parameters (othStruct slots
// 14, 15, 20, 23, 24 and 30): the user LUT stored and written, the
// board-library handle opened again, the entries of the camera-control table
// (CAM 73) and the camera status word.
//
// Bounds of ours: a stored LUT lies within the board's four (channel + LUT
// number below 4, at most 4096 entries of 1 or 2 bytes), else 0x400333; the
// camera-control entries a value spreads over stop at entry 31.
#include <algorithm>
#include <cstring>

#include "driver/user/Pardow.h"
#include "source/QelAcq/AcqBlocks.h"
#include "source/QelAcq/AcqDeviceHandles.h"
#include "source/QelAcq/AcqDeviceOps.h"
#include "source/QelAcq/AcqFeatureApply.h"
#include "source/QelAcq/AcqHwHandles.h"
#include "source/QelAcq/AcqLutShadows.h"
#include "source/QelAcq/AcqOthStruct.h"
#include "source/QelAcq/AcqPrmAccess.h"

namespace {

constexpr std::uint32_t kCameraControl = 73;
constexpr std::uint32_t kEntries = 32, kEntryWords = 9;
constexpr std::uint32_t kWidthWord = 4, kValueWord = 8;

QelStatus DeviceOf(const QelHandle* handle, AcqDeviceRecord** record) {
  if (handle == nullptr || !AcqIsDeviceTag(handle->tag)) return kAcqInvalidHandle;
  const QelStatus status = AcqGetDeviceRecord(handle, record);
  return status == 0 ? 0 : status | kQelModuleAcquisition;
}

bool Present(const std::uint32_t* table, std::uint32_t entry) {
  return entry < kEntries && (table[entry * kEntryWords] & 0xFF) != 0;
}

// CAM 73 set on the device as the set road sets one parameter: the new table
// current, its validator and apply handler run, the old table put back and
// applied again when they refuse.
QelStatus SetCameraControlTable(AcqValidationContext* c, const std::uint32_t* table) {
  std::uint32_t* current = AcqPrmWords(c->camCurrent, kCameraControl);
  std::uint32_t old[kEntries * kEntryWords];
  std::memcpy(old, current, sizeof old);
  std::memcpy(current, table, sizeof old);
  const othStruct* device = AcqGetOthStructOf(c->record);
  const AcqPrmHandler validate = device == nullptr ? nullptr : device->camValidators[kCameraControl];
  const AcqPrmHandler apply = device == nullptr ? nullptr : device->camApplyTable[kCameraControl];
  QelStatus status = validate != nullptr ? validate(c) : 0;
  if (status == 0 && apply != nullptr) status = apply(c);
  if (status == 0) return 0;
  std::memcpy(current, old, sizeof old);
  if (apply != nullptr) apply(c);
  return status | kQelModuleAcquisition;
}

}  // namespace

QelStatus YatAcqStoreLut(QelHandle* handle, std::uint32_t lut, std::uint32_t count, std::uint32_t elementSize,
                         void* data) {
  if (data == nullptr) return kAcqMissingPointer;
  AcqValidationContext c{};
  QelStatus status = AcqGetContext(handle, &c);
  if (status != 0) return status;
  const std::uint64_t entry = std::uint64_t{AcqGetConnectorIndexOfContext(&c)} + lut;
  if (entry >= kAcqLutsPerBoard || count > kAcqLutEntries || (elementSize != 1 && elementSize != 2))
    return kAcqLutOutOfRange;
  std::uint16_t* stored = AcqMonoLut(c.record->boardIndex, static_cast<std::uint32_t>(entry));
  for (std::uint32_t i = 0; i < count; ++i)
    stored[i] = elementSize == 1 ? static_cast<const std::uint8_t*>(data)[i]
                                 : static_cast<const std::uint16_t*>(data)[i];
  if (AcqNewPrm(&c, 2075) == 0 && AcqLutIsWider(&c)) return 0;
  return AcqWriteLutData(&c);
}

QelStatus YatAcqRewriteLut(QelHandle* handle) {
  AcqValidationContext c{};
  const QelStatus status = AcqGetContext(handle, &c);
  return status != 0 ? status : AcqWriteLutData(&c);
}

QelStatus YatAcqReopenHwHandle(QelHandle* handle) {
  AcqDeviceRecord* record = nullptr;
  const QelStatus status = DeviceOf(handle, &record);
  if (status != 0) return status;
  AcqCloseHwHandle(record->boardIndex, record->slotIndex);
  return TranslateStatus(AcqOpenHwHandle(record->boardIndex, record->slotIndex, LowestBitIndex(record->resourceMask)));
}

QelStatus YatAcqGetCameraControl(QelHandle* handle, std::uint32_t entry, std::uint32_t* out, CamPrmBlock* cam) {
  AcqDeviceRecord* record = nullptr;
  const QelStatus status = DeviceOf(handle, &record);
  if (status != 0) return status;
  if (out == nullptr) return kAcqMissingPointer;
  const std::uint32_t* table = AcqPrmWords(cam != nullptr ? cam : &record->cam, kCameraControl);
  if (!Present(table, entry)) return kQelModuleAcquisition | kAcqCameraControlAbsent;
  *out = table[entry * kEntryWords + kValueWord];
  return 0;
}

QelStatus YatAcqSetCameraControl(QelHandle* handle, std::uint32_t entry, std::uint32_t value,
                                 AcqValidationContext* context) {
  AcqValidationContext own{};
  QelStatus status = context != nullptr ? 0 : AcqGetContext(handle, &own);
  if (status != 0) return status;
  AcqValidationContext* c = context != nullptr ? context : &own;
  std::uint32_t table[kEntries * kEntryWords];
  std::memcpy(table, AcqPrmWords(c->camCurrent, kCameraControl), sizeof table);
  if (Present(table, entry)) {
    const std::uint32_t width = table[entry * kEntryWords + kWidthWord];
    for (std::uint32_t bit = 0; bit < width && entry + bit < kEntries; ++bit)
      table[(entry + bit) * kEntryWords + kValueWord] = (value >> bit) & 1;
  }
  return SetCameraControlTable(c, table);
}

QelStatus YatAcqGetCameraStatus(QelHandle* handle, std::uint32_t* out) {
  AcqDeviceRecord* record = nullptr;
  const QelStatus status = DeviceOf(handle, &record);
  if (status != 0) return status;
  if ((record->resourceMask & 0x3) == 0) return kAcqNoCameraStatus;
  if (out == nullptr) return kAcqMissingPointer;
  *out = 0;
  const std::uint32_t taps = *AcqPrmWords(&record->cam, 49);
  const std::uint32_t second = (record->resourceMask & 0x1) == 0 ? 1 : 0;
  return TranslateStatus(Yat_FPGA_Camera_Status(record->boardIndex, second, taps, out));
}
