// Reading buffer parameters and the capability.
#include <cstring>

#include "source/QelAPI/QelApi.h"
#include "source/QelBuff/BufferParams.h"

namespace {

QelStatus Put32(void* value, std::uint32_t word) {
  std::memcpy(value, &word, sizeof word);
  return QEL_OK;
}

QelStatus Put64(void* value, std::uint64_t quad) {
  std::memcpy(value, &quad, sizeof quad);
  return QEL_OK;
}

QelStatus PutHandle(void* value, const BufferDescriptor* descriptor) {
  if (descriptor == nullptr) {
    std::memset(value, 0, sizeof(QelHandle));
  } else {
    std::memcpy(value, &BufferRecordOf(descriptor)->handle, sizeof(QelHandle));
  }
  return QEL_OK;
}

const BufferDescriptor* RootOf(const BufferDescriptor* descriptor) {
  while (const BufferDescriptor* parent = BufferParentOf(descriptor)) descriptor = parent;
  return descriptor;
}

// A display surface is locked around a read that needs its address.
template <typename Read>
QelStatus WithSurface(BufferDescriptor* descriptor, Read&& read) {
  const bool lock = (descriptor->memoryKind & kBufferKindDisplayLocked) != 0 && !BufferSurfaceLocked(descriptor);
  if (lock) {
    if (const QelStatus status = BufferLockSurface(descriptor, true); status != QEL_OK) return status;
  }
  const QelStatus status = read();
  if (lock) BufferLockSurface(descriptor, false);
  return status;
}

QelStatus ReadAddress(BufferDescriptor* descriptor, void* value) {
  return WithSurface(descriptor, [&] {
    if ((descriptor->memoryKind & kBufferKindNoMemory) != 0 || descriptor->dataAddress == 0)
      return BufferPrmStatus(kBufferPrmAddress, kBufferPrmNotAvailable);
    return Put64(value, descriptor->dataAddress);
  });
}

QelStatus ReadPhysical(BufferDescriptor* descriptor, void* value) {
  return WithSurface(descriptor, [&] {
    if (descriptor->sgEntriesUsed > 1) return BufferPrmStatus(kBufferPrmPhysical, kBufferPrmNotAvailable);
    return Put64(value, descriptor->sgFirstPhysical);
  });
}

QelStatus ReadState(BufferDescriptor* descriptor, void* value) {
  if (!ApiLock()) return kQelApiLockTimeout;
  const std::uint32_t state = BufferReadState(descriptor);
  ApiUnlock();
  return Put32(value, state);
}

std::uint32_t SizeOf(const BufferDescriptor* descriptor) {
  if (descriptor->sizeOverride != 0) return descriptor->sizeOverride;
  return descriptor->bytesPerLine * descriptor->planes * descriptor->height;
}

QelStatus ReadWord(BufferDescriptor* d, std::uint32_t id, void* value) {
  switch (id) {
    case kBufferPrmFormat: return Put32(value, d->format);
    case kBufferPrmKind: return Put32(value, d->memoryKind);
    case kBufferPrmElementSize: return Put32(value, d->elementSize);
    case kBufferPrmBits: return Put32(value, d->bitsPerElement);
    case kBufferPrmX: return Put32(value, d->regionX);
    case kBufferPrmY: return Put32(value, d->regionY);
    case kBufferPrmWidth: return Put32(value, d->width);
    case kBufferPrmHeight: return Put32(value, d->height);
    case kBufferPrmPitch: return Put32(value, d->pitch);
    case kBufferPrmBlockHeight: return Put32(value, d->planeLines);
    case kBufferPrmSigned: return Put32(value, BufferFormatIsSigned(d->format) ? 1 : 0);
    case kBufferPrmPlanes: return Put32(value, d->planes);
    case kBufferPrmPlane: return Put32(value, d->currentPlane);
    case kBufferPrmCounter: return Put32(value, BufferReadCounter(d));
    case kBufferPrmSize: return Put32(value, SizeOf(d));
    case kBufferPrmSgUsed: return Put32(value, d->sgEntriesUsed);
    case kBufferPrmLocked: return Put32(value, BufferSurfaceLocked(d) ? 1 : 0);
    case kBufferPrmBytesPerLine: return Put32(value, BufferSurfacePitch(d));
    case kBufferPrmDepth: return Put32(value, d->significantBits);
    case kBufferPrmStateLink: return Put32(value, d->stateLinkDescriptor);
    default: return BufferPrmStatus(id, kBufferPrmUndefined);
  }
}

}  // namespace

QelStatus BufferGetPrm(const QelHandle* buffer, std::uint32_t id, void* value) {
  BufferDescriptor* d = BufferDescriptorOf(buffer);
  if (d == nullptr) return kBufferInvalidHandle;
  if (value == nullptr) return BufferStatus(3, kQelKindNullPointer);
  switch (id) {
    case kBufferPrmAddress: return ReadAddress(d, value);
    case kBufferPrmPhysical: return ReadPhysical(d, value);
    case kBufferPrmRoot: return PutHandle(value, RootOf(d));
    case kBufferPrmParent: return PutHandle(value, BufferParentOf(d));
    case kBufferPrmState: return ReadState(d, value);
    case kBufferPrmServerOffset: return Put64(value, d->serverAddressOffset);
    case kBufferPrmSgList:
    case kBufferPrmSgPages: return BufferPrmStatus(id, kBufferPrmNotAvailable);
    case kBufferPrmDisplayInfo: return Put64(value, d->displayInfo);
    default: return ReadWord(d, id, value);
  }
}

QelStatus BufferGetCap(const QelHandle* buffer, std::uint32_t id, void* value) {
  const BufferDescriptor* d = BufferDescriptorOf(buffer);
  if (d == nullptr) return kBufferInvalidHandle;
  if (value == nullptr) return BufferStatus(3, kQelKindNullPointer);
  if (id != kBufferCapDepthChangeable) return BufferPrmStatus(id, 0x1E);
  const bool changeable = QelManGetFormatPixelDepthMin(d->format) != QelManGetFormatPixelDepthMax(d->format);
  return Put32(value, changeable ? 1 : 0);
}
