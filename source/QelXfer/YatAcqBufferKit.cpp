#include "source/QelXfer/YatAcqBufferKit.h"

#include "firmware/win32/QuilletShared.h"
#include "source/QelAcq/AcqApi.h"
#include "source/QelAcq/AcqDetect.h"
#include "source/QelAcq/AcqDeviceHandles.h"

QelStatus YatBufferDeviceOf(QelHandle* handle, YatBufferDevice* out) {
  AcqDeviceRecord* record = nullptr;
  const QelStatus status = AcqGetDeviceRecord(handle, &record);
  if (status != 0) return status | kQelModuleAcquisition;
  *out = YatBufferDevice{handle, record, record->boardIndex, LowestBitIndex(record->resourceMask),
                         record->slotIndex};
  return 0;
}

YatInternalBufferRecord* YatInternalRecord(std::uint32_t board, std::uint32_t device, std::uint32_t number) {
  if (board >= kYatBuffersBoards || device >= kYatBuffersDevices || number < 1 ||
      number > kYatInternalBuffersPerDevice)
    return nullptr;
  const std::uint32_t index = (board * kYatBuffersDevices + device) * kYatInternalBuffersPerDevice + number - 1;
  return &QuilletGetSharedData()->yatBuffers.internal[index];
}

YatOnboardBufferRecord* YatOnboardRecord(std::uint32_t board, std::uint32_t connector, std::uint32_t number) {
  if (board >= kYatBuffersBoards || connector >= kYatConnectors || number < 1 ||
      number > kYatOnboardBuffersPerConnector)
    return nullptr;
  const std::uint32_t index = (board * kYatConnectors + connector) * kYatOnboardBuffersPerConnector + number - 1;
  return &QuilletGetSharedData()->yatBuffers.onboard[index];
}

std::uint32_t YatAcqValue(QelHandle* handle, std::uint32_t id) {
  std::uint32_t value = 0;
  return AcqGetPrm(handle, id, &value) == 0 ? value : 0;
}

std::mutex& YatBufferMutex() {
  static std::mutex mutex;
  return mutex;
}

QelStatus YatFreeMemory(YatInternalBuffer* memory) {
  if (memory->size == 0) return 0;
  const QelStatus status = TranslateStatus(Yat_InternalBuffer_Free(memory));
  *memory = YatInternalBuffer{};
  return status;
}
