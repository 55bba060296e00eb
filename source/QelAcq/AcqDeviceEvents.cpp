// Event routing, software trigger and the detected video format of a device.
#include <array>
#include <cstring>

#include "driver/user/Pardow.h"
#include "source/QelAcq/AcqDeviceHandles.h"
#include "source/QelAcq/AcqDeviceOps.h"
#include "source/QelAcq/AcqHwHandles.h"
#include "source/QelAcq/AcqStatus.h"
#include "source/QelAcq/YatBoardEvents.h"

namespace {

constexpr std::uint32_t kDetectedWidthId = 0x70a0004;
constexpr std::uint32_t kDetectedHeightId = 0x70b0004;
constexpr std::uint32_t kDetectedWidthWord = 24 / 4;
constexpr std::uint32_t kDetectedHeightWord = 44 / 4;

// The device a handle names; 0x400001 for a handle of another kind, 76 for
// one no device of this process answers to.
QelStatus Device(const QelHandle* handle, AcqDeviceRecord** record) {
  if (handle == nullptr || !AcqIsDeviceTag(handle->tag)) return kAcqInvalidHandle;
  return AcqGetDeviceRecord(handle, record) == 0 ? 0 : kAcqDeviceNotFound;
}

}  // namespace

QelStatus YatAcqSetEventMask(QelHandle* handle, std::uint32_t mask, AcqDeviceRecord*) {
  AcqDeviceRecord* record = nullptr;
  QelStatus status = Device(handle, &record);
  if (status != 0) return status;
  const YatBoardEventTable* events = YatGetBoardEventTable();
  if (events == nullptr) return kAcqDeviceNotFound;
  const std::uint32_t dropped = record->routedEventMask & ~mask;
  if (dropped != 0) {
    status = events->unrouteEvents(record->boardIndex, record->slotIndex, dropped);
    if (status != 0) return status;
  }
  return mask != 0 ? events->routeEvents(record->boardIndex, record->slotIndex, mask) : 0;
}

QelStatus YatAcqUnrouteEvents(QelHandle* handle, std::uint32_t mask, AcqDeviceRecord*) {
  AcqDeviceRecord* record = nullptr;
  const QelStatus status = Device(handle, &record);
  if (status != 0) return status;
  const YatBoardEventTable* events = YatGetBoardEventTable();
  if (events == nullptr) return kAcqDeviceNotFound;
  return events->unrouteEvents(record->boardIndex, record->slotIndex, mask);
}

QelStatus YatAcqSoftwareTrigger(QelHandle* handle, std::uint32_t type) {
  AcqDeviceRecord* record = nullptr;
  const QelStatus status = Device(handle, &record);
  if (status != 0) return status;
  if ((type & 0x3) == 0) return kAcqTriggerTypeRefused;
  return TranslateStatus(QelHw_Acq_SoftwareTrigger(AcqGetHwHandle(record->boardIndex, record->slotIndex), 1));
}

QelStatus YatAcqDetectVideoFormat(QelHandle* handle, std::uint32_t id, std::uint32_t* out) {
  AcqDeviceRecord* record = nullptr;
  const QelStatus status = Device(handle, &record);
  if (status != 0) return status;
  if (out == nullptr) return 54;
  std::array<std::uint32_t, kAcqVideoFormatSize / 4> format{};
  format[0] = kAcqVideoFormatSize;
  const QelHwStatus detected =
      Yat_Digital_DetectVideoFormat(AcqGetHwHandle(record->boardIndex, record->slotIndex), format.data());
  if (detected != QELHW_OK) return TranslateStatus(detected);
  if (id == kDetectedWidthId) {
    *out = format[kDetectedWidthWord];
  } else if (id == kDetectedHeightId) {
    *out = format[kDetectedHeightWord];
  } else {
    return QelStatusMake(id >> 16, kAcqKindPrmNotDefined);
  }
  return 0;
}
