// The buffer module: images of width x height elements of one data format, in
// memory of one of several kinds so that the board's DMA can reach it, child
// buffers that view a region of a parent, the buffer parameters, release.
//
// A buffer is named by its BufferRecord's handle (tag 0xcccc0101) whose
// private record is the buffer's BufferDescriptor, kept in contiguous memory
// below 0x4000000 so that the board can read it. A handle names a buffer of
// this process only when this process made or attached it: every entry finds
// the descriptor through the process's handle registry (BufferDescriptorOf)
// and answers 0x800201 otherwise; no address carried in a handle is followed.
//
// Statuses are 0x800000 | (detail << 8) | kind; statuses of the memory and
// display libraries come back with 0x800000 added.
//
// The module has no lock of its own: one buffer is not used by two requests
// at once. Its memory and display calls take the API lock themselves, so the
// entries run with the API lock released (command handlers release it).
#pragma once

#include <cstdint>

#include "platform/support/qelmem_entries.h"
#include "source/QelAPI/QelHandle.h"
#include "source/QelAPI/QelStatus.h"
#include "source/QelBuff/BufferDescriptor.h"

inline constexpr QelStatus kBufferModule = kQelModuleBuffer;
constexpr QelStatus BufferStatus(std::uint32_t detail, std::uint32_t kind) {
  return kBufferModule | ((detail & 0xFFFu) << 8) | (kind & 0xFFu);
}
inline constexpr QelStatus kBufferInvalidHandle = 0x800201;
inline constexpr QelStatus kBufferBadParent = 0x800132;
inline constexpr QelStatus kBufferNoMemory = 0x800047;
inline constexpr QelStatus kBufferNoHandleMemory = 0x801547;
inline constexpr QelStatus kBufferNotAllowed = 0x80004C;
inline constexpr QelStatus kBufferNotSupported = 0x800046;
inline constexpr QelStatus kBufferHasChildren = 85;  // answered with the module's bits by BufferFree

// BufferMemoryKind: the memory-kind flags (parameter 1).
enum BufferMemoryKind : std::uint32_t {
  kBufferKindHeap = 0x00,
  kBufferKindContiguous = 0x01,
  kBufferKindDisplayLocked = 0x02,  // display surface locked around every data access
  kBufferKindDisplay = 0x04,
  kBufferKindDisplayContiguous = 0x08,
  kBufferKindCaller = 0x10,         // memory supplied by the caller, never freed here
  kBufferKindScatterGather = 0x20,  // pages locked for DMA
  kBufferKindNoMemory = 0x40,
  kBufferKindPhysicalPages = 0x80,
  kBufferKindShared = 0x100,
  kBufferKindDisplayOption = 0xF0000000,
};

// The record behind a buffer handle, on the process heap.
struct BufferRecord {
  QelHandle handle;  // local server, descriptor, tag 0xcccc0101, this record
  std::uint64_t descriptorPhysical;
};
static_assert(sizeof(BufferRecord) == 40);

// Creation. The new handle comes back in *out (the record's handle).
QelStatus BufferNew(std::uint32_t width, std::uint32_t height, std::uint32_t format, std::uint32_t type,
                    QelHandle** out);
QelStatus BufferNewEx(std::uint32_t width, std::uint32_t height, std::uint32_t format, std::uint32_t type,
                      std::uint64_t physical, std::uint64_t address, QelHandle** out);
QelStatus BufferNewShared(std::uint32_t width, std::uint32_t height, std::uint32_t format, std::uint32_t type,
                          const char* name, QelHandle** out);
QelStatus BufferAttachShared(std::uint32_t type, const char* name, QelHandle** out);
QelStatus BufferNewChild(const QelHandle* parent, std::uint32_t x, std::uint32_t y, std::uint32_t width,
                         std::uint32_t height, QelHandle** out);
// Frees the memory and the handle; a failure keeps the buffer.
QelStatus BufferFree(const QelHandle* buffer);

// Parameters and capabilities, id = (index << 16) | size.
QelStatus BufferGetPrm(const QelHandle* buffer, std::uint32_t id, void* value);
QelStatus BufferSetPrmEx(const QelHandle* buffer, std::uint32_t id, const void* value);
QelStatus BufferSetPrmValue(const QelHandle* buffer, std::uint32_t id, std::uint32_t value);
QelStatus BufferGetCap(const QelHandle* buffer, std::uint32_t id, void* value);

// ---- Lookup for the other modules of the server driver ----------------------
// The descriptor of a live buffer of this process, null for any other handle.
BufferDescriptor* BufferDescriptorOf(const QelHandle* buffer);
// The record that owns a descriptor.
BufferRecord* BufferRecordOf(const BufferDescriptor* descriptor);

// Where a buffer's image lies and how the board's DMA reaches it.
struct BufferMemoryView {
  std::uint8_t* address;          // element (0, 0); null without memory
  std::uint64_t size;             // bytes per line x planes x height
  std::uint32_t bytesPerLine;
  std::uint32_t kind;             // BufferMemoryKind flags
  std::uint64_t physical;         // bus address of element (0, 0) when the memory is contiguous, else 0
  qelmem::QelMemSgList* sgList;   // the pages' lock (scatter-gather memory), else null
  qelmem::QelMemPhysHandle pages; // the memory library's physical pages, else 0
};
QelStatus BufferGetMemory(const QelHandle* buffer, BufferMemoryView* view);

// Size of a buffer's memory in bytes: ((bits x width + 7) >> 3) x planes x height.
std::uint64_t BufferMemorySize(std::uint32_t width, std::uint32_t height, std::uint32_t format);
