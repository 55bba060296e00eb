// Buffer checks and surface locks of the data operations, the clear to black,
// and file load and save.
#include "source/QelBuff/BufferAccess.h"

#include "buffer-formats/BufferFormatOps.h"
#include "source/QelAPI/QelCapiBuf.h"
#include "source/QelBuff/BufferCommands.h"
#include "source/QelBuff/BufferFile.h"
#include "source/QelBuff/BufferParams.h"

namespace {

constexpr QelStatus kLockFailed = 0x80006B;

bool NeedsLock(const BufferDescriptor* descriptor) {
  return (descriptor->memoryKind & kBufferKindDisplayLocked) != 0 && BufferHasSurface(descriptor) &&
         !BufferSurfaceLocked(descriptor);
}

const QelHandle* HandleOf(const BufferDescriptor* descriptor) { return &BufferRecordOf(descriptor)->handle; }

bool HasMemory(const BufferDescriptor* descriptor) {
  return descriptor->memoryKind != kBufferKindNoMemory && descriptor->dataAddress != 0;
}

using FileRoutine = std::uint32_t (*)(const BufferDescriptor*, const char*);

FileRoutine RoutineOf(std::uint32_t kind, bool save) {
  switch (kind) {
    case kBufferFileBmp: return save ? BufferSaveBmp : BufferLoadBmp;
    case kBufferFileNone: return BufferFileUnsupported;
    case kBufferFileNative: return save ? BufferSaveRaw : BufferLoadRaw;
    default: return nullptr;
  }
}

QelStatus RunFile(const QelHandle* buffer, std::uint32_t kind, const char* fileName, bool save) {
  BufferDescriptor* descriptor = nullptr;
  if (const QelStatus status = BufferCheckForData(buffer, kBufferInvalidHandle, &descriptor); status != QEL_OK)
    return status;
  const FileRoutine routine = RoutineOf(kind, save);
  if (routine == nullptr) return BufferStatus(2, 0x35);
  if (fileName == nullptr) return BufferStatus(3, 0x36);
  BufferSurfaceLocks locks;
  if (locks.Take(descriptor) != QEL_OK) return kLockFailed;
  const std::uint32_t status = routine(descriptor, fileName);
  locks.Release();
  return status == 0 ? QEL_OK : (status | kBufferModule);
}

}  // namespace

QelStatus BufferCheckForData(const QelHandle* handle, QelStatus refusal, BufferDescriptor** descriptor) {
  *descriptor = BufferDescriptorOf(handle);
  if (*descriptor == nullptr || !HasMemory(*descriptor)) {
    *descriptor = nullptr;
    return refusal;
  }
  return QEL_OK;
}

QelStatus BufferSurfaceLocks::Take(BufferDescriptor* descriptor) {
  if (!NeedsLock(descriptor)) return QEL_OK;
  if (const QelStatus status = QelBufferSetPrm(HandleOf(descriptor), kBufferPrmLocked, 1); status != QEL_OK)
    return status | kBufferModule;
  if (count_ < locked_.size()) locked_[count_++] = descriptor;
  return QEL_OK;
}

QelStatus BufferSurfaceLocks::Release() {
  QelStatus result = QEL_OK;
  while (count_ > 0) {
    const QelStatus status = QelBufferSetPrm(HandleOf(locked_[--count_]), kBufferPrmLocked, 0);
    if (status != QEL_OK && result == QEL_OK) result = status | kBufferModule;
  }
  return result;
}

QelStatus BufferLoadFile(const QelHandle* buffer, std::uint32_t kind, const char* fileName) {
  return RunFile(buffer, kind, fileName, false);
}

QelStatus BufferSaveFile(const QelHandle* buffer, std::uint32_t kind, const char* fileName) {
  return RunFile(buffer, kind, fileName, true);
}

namespace {

// The black of the formats whose black is not zero.
std::uint32_t BlackOf(std::uint32_t format) {
  switch (format) {
    case kBufferFormatInt8: return static_cast<std::uint32_t>(-128);
    case kBufferFormatInt16: return static_cast<std::uint32_t>(-32768);
    case kBufferFormatUyvy: return 128;
    case kBufferFormatYuy2:
    case kBufferFormatYvyu:
    case kBufferFormatYuyv: return 32768;
    case kBufferFormatYuv: return 0x80800000;
    case kBufferFormatUyv: return 0x800080;
    default: return 0;
  }
}

// Two Y411 groups: chroma at mid-scale, luma 0.
constexpr std::uint8_t kY411Black[12] = {128, 0, 0, 128, 0, 0, 128, 0, 0, 128, 0, 0};

}  // namespace

QelStatus BufferClearBlack(const QelHandle* buffer) {
  BufferDescriptor* d = BufferDescriptorOf(buffer);
  if (d == nullptr) return kBufferInvalidHandle;
  if (!HasMemory(d)) return QEL_OK;
  return BufferDataOperation(std::array<BufferDescriptor*, 1>{d}, [d] {
    if (d->format == kBufferFormatY411)
      return BufferFormatCall(BufferFormatOps.ClearElement, d->formatIndex, d, kY411Black,
                              static_cast<std::uint32_t>(sizeof kY411Black));
    return BufferFormatCall(BufferFormatOps.Clear, d->formatIndex, d, BlackOf(d->format));
  });
}
