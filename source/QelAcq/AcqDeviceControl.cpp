// Selecting a device's camera input and acquisition control over several
// connectors at once.
#include <array>

#include "driver/user/Pardow.h"
#include "source/QelAcq/AcqDetect.h"
#include "source/QelAcq/AcqDeviceHandles.h"
#include "source/QelAcq/AcqDeviceOps.h"
#include "source/QelAcq/AcqHwHandles.h"
#include "source/QelXfer/YatAcqBuffers.h"

namespace {

constexpr std::int32_t kContinuous = -1;
constexpr std::int32_t kFreeze = 0;
constexpr std::int32_t kAbort = -2;

}  // namespace

QelStatus AcqSelectInput(std::uint32_t board, std::uint32_t select, std::uint32_t slot) {
  if (select == 0 && AcqGetHandle(board, slot) != nullptr) {
    if (AcqDeviceRecord* record = AcqSharedRecord(AcqGetSharedTables(), board, slot)) record->prm70d = 0;
    YatAcqFreeInternalBuffers(board, slot);
    // Onboard buffers left behind would outlive their memory, which the
    // driver gives back when the process ends.
    if (const AcqDeviceRecord* record = AcqSharedRecord(AcqGetSharedTables(), board, slot))
      YatAcqFreeOnboardBuffers(board, LowestBitIndex(record->resourceMask));
  }
  return TranslateStatus(QelHw_Acq_Select(AcqGetHwHandle(board, slot), select));
}

QelStatus AcqControl(std::uint32_t board, std::uint32_t, std::uint32_t mask, std::int32_t frames, std::int32_t* out) {
  std::array<YatAcqHandle*, kAcqSlotsPerBoard> handles{};
  std::uint32_t count = 0;
  const std::uint32_t devices = AcqGetDeviceCount(board);
  for (std::uint32_t device = 0; device < devices && device < kAcqSlotsPerBoard; ++device) {
    const AcqDeviceRecord* record = AcqSharedRecord(AcqGetSharedTables(), board, device);
    if (record == nullptr) return kAcqNoSuchDevice;
    if ((record->resourceMask & mask) == 0 || !AcqHasHwHandle(board, device)) continue;
    mask &= ~record->resourceMask;
    handles[count++] = AcqGetHwHandle(board, device);
  }
  if (count == 0) return 0;
  QelHwStatus status;
  std::int32_t answer = 0;
  switch (frames) {
    case kContinuous:
      status = QelHw_Acq_AcquireVideoEx(handles.data(), count);
      answer = kContinuous;
      break;
    case kFreeze: status = QelHw_Acq_FreezeVideoEx(handles.data(), count); break;
    case kAbort: status = QelHw_Acq_AbortVideoEx(handles.data(), count); break;
    default:
      status = QelHw_Acq_AcquireNFramesEx(handles.data(), count, static_cast<std::uint32_t>(frames));
      answer = frames - 1;
      break;
  }
  if (out != nullptr) *out = answer;
  return TranslateStatus(status);
}
