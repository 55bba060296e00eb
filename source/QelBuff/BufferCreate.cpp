// Creation and release of root buffers: BufferNew on memory the module takes,
// BufferNewEx on memory the caller gives.
#include "platform/win/memory_probe.h"
#include "platform/win/physical_memory.h"
#include "source/QelAPI/QelApi.h"
#include "source/QelBuff/BufferInternal.h"

namespace {

constexpr std::uint32_t kCallerAndShared = kBufferKindCaller | kBufferKindShared;

// The type without the caller and shared flags and without the display option.
std::uint32_t BaseType(std::uint32_t type) { return type & ~(kCallerAndShared | kBufferKindDisplayOption); }

QelStatus CheckFormat(std::uint32_t width, std::uint32_t format) {
  const std::uint32_t bits = BufferFormatBits(format);
  if (bits == 0) return BufferStatus(4, 0x35);
  if (bits < 8 && width % (8 / bits) != 0) return BufferStatus(2, 0x35);
  return QEL_OK;
}

bool IsPlain(std::uint32_t base) { return base == 0 || base == 1 || base == 32 || base == 64 || base == 160; }

// Display types as BufferNew keeps them; 0 for a type that is none.
std::uint32_t DisplayKind(std::uint32_t base) {
  switch (base) {
    case 4: case 12: case 13: case 14: return 6;
    case 6: case 8: case 10: return base;
    default: return 0;
  }
}

QelStatus NewOnMemory(const BufferMemoryRequest& request, QelHandle** out) {
  BufferDescriptor* descriptor = nullptr;
  std::uint64_t physical = 0;
  if (const QelStatus status = BufferAllocMemory(request, &descriptor, &physical); status != QEL_OK)
    return status | kBufferModule;
  if (const QelStatus status = BufferNewRecord(descriptor, physical, out); status != QEL_OK) {
    BufferFreeMemory(descriptor);
    return status;
  }
  return QEL_OK;
}

}  // namespace

QelStatus BufferNew(std::uint32_t width, std::uint32_t height, std::uint32_t format, std::uint32_t type,
                    QelHandle** out) {
  if (out == nullptr) return BufferStatus(5, kQelKindNullPointer);
  *out = nullptr;
  if (const QelStatus status = CheckFormat(width, format); status != QEL_OK) return status;
  const std::uint32_t base = BaseType(type);
  if (IsPlain(base)) {
    return NewOnMemory({width, height, format, base, base != kBufferKindNoMemory, 0, 0}, out);
  }
  const std::uint32_t display = DisplayKind(base);
  if (display == 0) return BufferStatus(5, 0x35);
  if (format == kBufferFormatMono1) return BufferStatus(4, 0x34);
  return BufferNewDisplay(width, height, format, display | (type & kBufferKindDisplayOption), out);
}

QelStatus BufferNewEx(std::uint32_t width, std::uint32_t height, std::uint32_t format, std::uint32_t type,
                      std::uint64_t physical, std::uint64_t address, QelHandle** out) {
  if (out == nullptr) return BufferStatus(7, kQelKindNullPointer);
  *out = nullptr;
  if (const QelStatus status = CheckFormat(width, format); status != QEL_OK) return status;
  const std::uint32_t base = BaseType(type);
  const std::uint32_t shared = type & kBufferKindShared;
  const std::uint64_t size = BufferMemorySize(width, height, format);
  BufferMemoryRequest request{width, height, format, base | kBufferKindCaller | shared, false, address, 0};
  switch (base) {
    case kBufferKindNoMemory:
      request.kind = base | shared;
      request.address = 0;
      break;
    case kBufferKindHeap:
    case kBufferKindScatterGather:
    case kBufferKindScatterGather | kBufferKindPhysicalPages:
      if (address == 0) return BufferStatus(9, 0x35);
      if (physical != 0) return BufferStatus(8, 0x35);
      // The caller's memory must be there for the whole image.
      if (!plat::memory_readable(BufferAddressOf(address), size)) return BufferStatus(9, 0x35);
      break;
    case kBufferKindContiguous:
    case kBufferKindDisplay:
    case kBufferKindDisplay | kBufferKindDisplayLocked: {
      if (address != 0) return BufferStatus(9, 0x35);
      // Only physical memory that this process holds may become a buffer.
      if (physical == 0 || size == 0 || !plat::physical_range_held(physical, size)) return BufferStatus(8, 0x35);
      void* mapped = nullptr;
      if (QelManMapBuffer(physical, size, &mapped) != QEL_OK) return kBufferNoMemory;
      request.address = reinterpret_cast<std::uint64_t>(mapped);
      request.physical = physical;
      if (base != kBufferKindContiguous)
        request.kind = kBufferKindDisplay | kBufferKindDisplayLocked | kBufferKindCaller | shared;
      const QelStatus status = NewOnMemory(request, out);
      if (status != QEL_OK) QelManUnmapBuffer(mapped);
      return status;
    }
    default:
      return BufferStatus(5, 0x35);
  }
  return NewOnMemory(request, out);
}

QelStatus BufferFree(const QelHandle* buffer) {
  BufferDescriptor* descriptor = BufferDescriptorOf(buffer);
  if (descriptor == nullptr) return kBufferInvalidHandle;
  const QelStatus status = BufferFreeMemory(descriptor);
  return status == QEL_OK ? QEL_OK : (status | kBufferModule);
}
