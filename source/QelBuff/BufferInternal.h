// What the buffer module's files share: records, descriptors, memory of each
// kind, display surfaces.
#pragma once

#include <cstdint>

#include "source/QelBuff/BufferModule.h"

inline constexpr char kBufferLabel[] = "QELBUFF.VKM";
inline constexpr std::uint32_t kBufferDescriptorLimit = 0x4000000;  // the board reads descriptors below it

// ---- Records and descriptors ------------------------------------------------
// A descriptor in contiguous memory (zeroed) and its bus address.
QelStatus BufferAllocDescriptor(BufferDescriptor** descriptor, std::uint64_t* physical);
void BufferFreeDescriptor(BufferDescriptor* descriptor);
// The handle of a new buffer: registered with its descriptor, owner set.
QelStatus BufferNewRecord(BufferDescriptor* descriptor, std::uint64_t physical, QelHandle** out);
// Unregisters and frees the record and the descriptor.
void BufferDeleteRecord(BufferDescriptor* descriptor);

// Fills a root descriptor for an image of the format at `address` (0: none).
void BufferFillDescriptor(BufferDescriptor* descriptor, std::uint32_t width, std::uint32_t height,
                          std::uint32_t format, std::uint32_t kind, std::uint64_t address);
std::uint32_t BufferLineBytes(std::uint32_t width, std::uint32_t format);

// ---- Memory ------------------------------------------------------------------
struct BufferMemoryRequest {
  std::uint32_t width;
  std::uint32_t height;
  std::uint32_t format;
  std::uint32_t kind;      // BufferMemoryKind flags as stored
  bool allocate;           // false: kind 0x40, or memory already given
  std::uint64_t address;   // the caller's memory (kind 0x10), else 0
  std::uint64_t physical;  // the caller's physical memory (contiguous kinds), else 0
};
// Step by step as the module allocates a root buffer: the descriptor, then the
// memory of the kind; on failure nothing is kept and the status is returned
// without the module's bits (71 for memory).
QelStatus BufferAllocMemory(const BufferMemoryRequest& request, BufferDescriptor** descriptor,
                            std::uint64_t* descriptorPhysical);
// Releases a buffer's memory and descriptor: 85 while it has children.
QelStatus BufferFreeMemory(BufferDescriptor* descriptor);

// ---- Display surfaces ---------------------------------------------------------
// Kinds with 0x04 or 0x08: the display library attached once per process.
QelStatus BufferNewDisplay(std::uint32_t width, std::uint32_t height, std::uint32_t format, std::uint32_t kind,
                           QelHandle** out);
bool BufferHasSurface(const BufferDescriptor* descriptor);
// Parameter 24: locks (true) or unlocks the surface; a lock refreshes the
// element address. A buffer of a display kind without a surface has nothing
// to lock and answers 0.
QelStatus BufferLockSurface(BufferDescriptor* descriptor, bool lock);
bool BufferSurfaceLocked(const BufferDescriptor* descriptor);
std::uint32_t BufferSurfacePitch(const BufferDescriptor* descriptor);
// Releases the surface and what it holds (memory, registration, overlay).
QelStatus BufferFreeDisplay(BufferDescriptor* descriptor);

// ---- Children -----------------------------------------------------------------
// The alignment a child of the format needs for x and width; MONO1 children
// must be the whole parent.
QelStatus BufferCheckChildPlace(const BufferDescriptor* parent, std::uint32_t x, std::uint32_t y,
                                std::uint32_t width, std::uint32_t height);
// Element address and scatter-gather view of a child at its offsets.
void BufferPlaceChild(BufferDescriptor* child, const BufferDescriptor* parent);

inline BufferDescriptor* BufferParentOf(const BufferDescriptor* descriptor) {
  return reinterpret_cast<BufferDescriptor*>(static_cast<std::uintptr_t>(descriptor->parent));
}
inline std::uint8_t* BufferAddressOf(std::uint64_t address) {
  return reinterpret_cast<std::uint8_t*>(static_cast<std::uintptr_t>(address));
}
