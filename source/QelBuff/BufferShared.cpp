// Named shared buffers: a 44-byte header, then the image, in a named section
// that every process of the machine may open. The process that creates it
// writes the header; the others must agree with it.
#include <cstddef>
#include <cstring>
#include <new>

#include "firmware/win32/QelUtilSharedBuffer.h"
#include "platform/win/process.h"
#include "source/QelBuff/BufferInternal.h"

namespace {

#pragma pack(push, 1)
struct SharedHeader {
  std::uint32_t width;
  std::uint32_t height;
  std::uint32_t format;
  std::uint32_t reserved[2];
  std::uint64_t imageSize;        // bytes of the image after the header
  std::uint64_t creatorProcess;   // the process that created the section
};
#pragma pack(pop)
static_assert(sizeof(SharedHeader) == 36);
static_assert(offsetof(SharedHeader, imageSize) == 20);
static_assert(offsetof(SharedHeader, creatorProcess) == 28);
constexpr std::uint64_t kHeaderSize = 44;

constexpr std::uint32_t kSharedTypes = kBufferKindScatterGather | kBufferKindShared;

// Owns the section and its window until the buffer takes them over.
struct SharedMemory {
  QelUtilSharedBuffer* object = new (std::nothrow) QelUtilSharedBuffer{};
  QelUtilSharedWindow window{};
  std::uint8_t* start = nullptr;  // the header

  ~SharedMemory() {
    if (window.view != nullptr) QelUtilUnmapSharedBuffer(&window);
    if (object != nullptr) {
      if (object->mapping != plat::kNullHandle) QelUtilFreeSharedBuffer(object);
      delete object;
    }
  }
  SharedHeader Header() const {
    SharedHeader header{};
    std::memcpy(&header, start, sizeof header);
    return header;
  }
  bool Map(std::uint64_t size) {
    start = static_cast<std::uint8_t*>(QelUtilMapSharedBuffer(object, 0, size, &window));
    return start != nullptr;
  }
};

// The image after the header becomes a buffer on the caller's memory.
QelStatus Adopt(SharedMemory& shared, std::uint32_t type, QelHandle** out) {
  const SharedHeader header = shared.Header();
  const QelStatus status =
      BufferNewEx(header.width, header.height, header.format, (type & kBufferKindScatterGather) | kBufferKindShared,
                  0, reinterpret_cast<std::uint64_t>(shared.start + kHeaderSize), out);
  if (status != QEL_OK) return status;
  BufferDescriptor* descriptor = BufferDescriptorOf(*out);
  descriptor->sharedObject = reinterpret_cast<std::uint64_t>(shared.object);
  descriptor->sharedWindow = reinterpret_cast<std::uint64_t>(shared.window.view);
  shared.object = nullptr;
  shared.window.view = nullptr;
  return QEL_OK;
}

bool Agrees(const SharedHeader& header, std::uint32_t width, std::uint32_t height, std::uint32_t format) {
  return header.width == width && header.height == height && header.format == format;
}

}  // namespace

QelStatus BufferNewShared(std::uint32_t width, std::uint32_t height, std::uint32_t format, std::uint32_t type,
                          const char* name, QelHandle** out) {
  if (out == nullptr) return BufferStatus(7, kQelKindNullPointer);
  *out = nullptr;
  if ((type & ~kSharedTypes) != 0) return BufferStatus(4, 0x35);
  const std::uint64_t image = BufferMemorySize(width, height, format);
  SharedMemory shared;
  if (shared.object == nullptr || !QelUtilAllocSharedBuffer(kHeaderSize + image, name, shared.object))
    return kBufferNoMemory;
  if (QelUtilHasCreatedSharedBuffer(shared.object)) {
    if (!shared.Map(kHeaderSize + image)) return kBufferNoMemory;
    SharedHeader header{width, height, format, {0, 0}, image,
                        static_cast<std::uint64_t>(plat::current_process().pid)};
    std::memcpy(shared.start, &header, sizeof header);
    return Adopt(shared, type, out);
  }
  // Another process made it: it must be the same image.
  if (!shared.Map(kHeaderSize)) return kBufferNoMemory;
  const bool agrees = Agrees(shared.Header(), width, height, format);
  QelUtilUnmapSharedBuffer(&shared.window);
  if (!agrees) return kBufferNotAllowed;
  if (!shared.Map(kHeaderSize + image)) return kBufferNoMemory;
  return Adopt(shared, type, out);
}

QelStatus BufferAttachShared(std::uint32_t type, const char* name, QelHandle** out) {
  if (out == nullptr) return BufferStatus(4, kQelKindNullPointer);
  *out = nullptr;
  if ((type & ~kSharedTypes) != 0) return BufferStatus(1, 0x35);
  SharedMemory shared;
  if (shared.object == nullptr || !QelUtilOpenSharedBuffer(name, shared.object)) return kBufferNotAllowed;
  if (shared.object->size < kHeaderSize || !shared.Map(kHeaderSize)) return kBufferNoMemory;
  const SharedHeader header = shared.Header();
  QelUtilUnmapSharedBuffer(&shared.window);
  const std::uint64_t size = kHeaderSize + BufferMemorySize(header.width, header.height, header.format);
  if (size > shared.object->size) return kBufferNotAllowed;
  if (!shared.Map(size)) return kBufferNoMemory;
  return Adopt(shared, type, out);
}
