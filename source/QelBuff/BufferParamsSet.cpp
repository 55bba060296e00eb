// Writing buffer parameters: a child's place and size, the state and its
// link, the signed flag, the current plane, the surface lock, the depth.
#include <cstring>

#include "source/QelAPI/QelApi.h"
#include "source/QelBuff/BufferParams.h"

namespace {

// A child's new place or size within its parent.
QelStatus Reshape(BufferDescriptor* child, std::uint32_t x, std::uint32_t y, std::uint32_t width,
                  std::uint32_t height) {
  const BufferDescriptor* parent = BufferParentOf(child);
  if (std::uint64_t{x} + width > parent->width) return BufferStatus(3, 0x35);
  if (std::uint64_t{y} + height > parent->height) return BufferStatus(3, 0x35);
  if (const QelStatus status = BufferCheckChildPlace(parent, x, y, width, height); status != QEL_OK)
    return BufferStatus(3, 0x35);
  child->regionX = parent->regionX + x;
  child->regionY = parent->regionY + y;
  child->width = width;
  child->height = height;
  BufferPlaceChild(child, parent);
  return QEL_OK;
}

QelStatus SetGeometry(BufferDescriptor* d, std::uint32_t id, std::uint32_t value) {
  const BufferDescriptor* parent = BufferParentOf(d);
  if (parent == nullptr) return BufferPrmStatus(id, kBufferPrmNotAvailable);
  std::uint32_t x = d->regionX - parent->regionX;
  std::uint32_t y = d->regionY - parent->regionY;
  std::uint32_t width = d->width;
  std::uint32_t height = d->height;
  switch (id) {
    case kBufferPrmX: x = value; break;
    case kBufferPrmY: y = value; break;
    case kBufferPrmWidth: width = value; break;
    default: height = value; break;
  }
  return Reshape(d, x, y, width, height);
}

// Formats whose signedness may change: the mono formats and MONO1.
bool SignedChangeable(std::uint32_t formatIndex) { return formatIndex <= 5 || formatIndex == 24; }

QelStatus SetSigned(BufferDescriptor* d, std::uint32_t value) {
  if (!SignedChangeable(d->formatIndex)) return QEL_OK;
  constexpr std::uint32_t kSignedBit = 1u << 28;
  d->format = static_cast<std::int32_t>(value) > 0 ? (d->format | kSignedBit) : (d->format & ~kSignedBit);
  d->formatTableIndex = QelManGetFormatIndex(d->format);
  return QEL_OK;
}

QelStatus SetDepth(BufferDescriptor* d, std::uint32_t value) {
  if (BufferParentOf(d) != nullptr) return BufferPrmStatus(kBufferPrmDepth, kBufferPrmNotAvailable);
  if (value < QelManGetFormatPixelDepthMin(d->format) || value > QelManGetFormatPixelDepthMax(d->format))
    return BufferPrmStatus(kBufferPrmDepth, kBufferPrmOutOfRange);
  d->significantBits = value;
  return QEL_OK;
}

QelStatus SetState(BufferDescriptor* d, std::uint32_t value) {
  if (!ApiLock()) return kQelApiLockTimeout;
  BufferWriteState(d, value);
  ApiUnlock();
  return QEL_OK;
}

QelStatus SetLocked(BufferDescriptor* d, std::uint32_t value) {
  if ((d->memoryKind & (kBufferKindDisplay | kBufferKindDisplayContiguous | kBufferKindDisplayLocked)) == 0)
    return BufferPrmStatus(kBufferPrmLocked, kBufferPrmReadOnly);
  return BufferLockSurface(d, value != 0);
}

bool IsReadOnly(std::uint32_t id) {
  switch (id) {
    case kBufferPrmFormat: case kBufferPrmKind: case kBufferPrmElementSize: case kBufferPrmBits:
    case kBufferPrmAddress: case kBufferPrmPhysical: case kBufferPrmRoot: case kBufferPrmParent:
    case kBufferPrmPitch: case kBufferPrmBlockHeight: case kBufferPrmPlanes: case kBufferPrmCounter:
    case kBufferPrmSize: case kBufferPrmServerOffset: case kBufferPrmBytesPerLine: case kBufferPrmDisplayInfo:
      return true;
    default:
      return false;
  }
}

}  // namespace

QelStatus BufferSetPrmValue(const QelHandle* buffer, std::uint32_t id, std::uint32_t value) {
  BufferDescriptor* d = BufferDescriptorOf(buffer);
  if (d == nullptr) return kBufferInvalidHandle;
  switch (id) {
    case kBufferPrmX:
    case kBufferPrmY:
    case kBufferPrmWidth:
    case kBufferPrmHeight: return SetGeometry(d, id, value);
    case kBufferPrmState: return SetState(d, value);
    case kBufferPrmSigned: return SetSigned(d, value);
    case kBufferPrmPlane:
      if (value >= d->planes) return BufferPrmStatus(id, kBufferPrmOutOfRange);
      d->currentPlane = value;
      return QEL_OK;
    case kBufferPrmLocked: return SetLocked(d, value);
    case kBufferPrmDepth: return SetDepth(d, value);
    case kBufferPrmStateLink:
      d->stateLinkDescriptor = value;
      return QEL_OK;
    default:
      return BufferPrmStatus(id, IsReadOnly(id) ? kBufferPrmReadOnly : kBufferPrmUndefined);
  }
}

QelStatus BufferSetPrmEx(const QelHandle* buffer, std::uint32_t id, const void* value) {
  if (BufferDescriptorOf(buffer) == nullptr) return kBufferInvalidHandle;
  if (value == nullptr) return BufferStatus(3, kQelKindNullPointer);
  if (BufferPrmSize(id) != sizeof(std::uint32_t))
    return BufferPrmStatus(id, IsReadOnly(id) ? kBufferPrmReadOnly : kBufferPrmUndefined);
  std::uint32_t word = 0;
  std::memcpy(&word, value, sizeof word);
  return BufferSetPrmValue(buffer, id, word);
}
