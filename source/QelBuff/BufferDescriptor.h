// The descriptor of one buffer: where its image lies, its geometry and its
// pixel format. The buffer module keeps it in contiguous memory that the board
// reads, native buffer files store it byte for byte, and the pixel-format
// operations read it, so its layout is fixed: packed, little-endian, 196 bytes.
#pragma once

#include <cstddef>
#include <cstdint>

#pragma pack(push, 1)

struct BufferDescriptor {
  std::uint32_t formatTableIndex;     // position of the format in the data-format name table
  std::uint64_t blockAddress;         // memory block (a child's is its root's)
  std::uint32_t pitch;                // elements per line of the block
  std::uint32_t planeLines;           // lines of the block, lines per plane
  std::uint32_t regionX;              // position of this buffer in the block
  std::uint32_t regionY;
  std::uint32_t width;
  std::uint32_t height;
  std::uint32_t format;               // buffer format code
  std::uint64_t dataAddress;          // element (0, 0)
  std::uint64_t displayInfo;          // display information block of the display kinds
  std::uint32_t reserved;
  std::uint64_t sharedObject;         // shared-memory or physical-page object
  std::uint64_t sharedWindow;         // mapped window of that object
  std::uint32_t elementSize;          // bytes per element, (bits + 7) >> 3
  std::uint32_t bitsPerElement;
  std::uint32_t planes;
  std::uint32_t formatIndex;          // selects the pixel-format operations
  std::uint32_t bytesPerLine;
  std::uint64_t owner;                // handle that holds this descriptor
  std::uint64_t parent;               // parent descriptor, 0 for a root buffer
  std::uint32_t memoryKind;
  std::uint32_t childCount;
  std::uint32_t state;
  std::uint32_t currentPlane;
  std::uint32_t counter;
  std::uint32_t sizeOverride;         // 0 when none
  std::uint32_t significantBits;      // significant pixel depth
  std::uint64_t stateLinkMirror;      // mirror word, or argument of the link function
  std::uint64_t stateLinkTarget;      // linked word, or link function
  std::uint32_t stateLinkDescriptor;
  std::uint64_t serverAddressOffset;
  std::uint64_t memoryObject;         // memory-library object of the block
  std::uint32_t sgEntriesAllocated;
  std::uint32_t sgEntriesUsed;
  std::uint64_t sgFirstPhysical;      // first scatter-gather entry
  std::uint32_t sgFirstLength;
};

#pragma pack(pop)

static_assert(sizeof(BufferDescriptor) == 196);
static_assert(offsetof(BufferDescriptor, formatTableIndex) == 0);
static_assert(offsetof(BufferDescriptor, blockAddress) == 4);
static_assert(offsetof(BufferDescriptor, pitch) == 12);
static_assert(offsetof(BufferDescriptor, planeLines) == 16);
static_assert(offsetof(BufferDescriptor, regionX) == 20);
static_assert(offsetof(BufferDescriptor, regionY) == 24);
static_assert(offsetof(BufferDescriptor, width) == 28);
static_assert(offsetof(BufferDescriptor, height) == 32);
static_assert(offsetof(BufferDescriptor, format) == 36);
static_assert(offsetof(BufferDescriptor, dataAddress) == 40);
static_assert(offsetof(BufferDescriptor, displayInfo) == 48);
static_assert(offsetof(BufferDescriptor, reserved) == 56);
static_assert(offsetof(BufferDescriptor, sharedObject) == 60);
static_assert(offsetof(BufferDescriptor, sharedWindow) == 68);
static_assert(offsetof(BufferDescriptor, elementSize) == 76);
static_assert(offsetof(BufferDescriptor, bitsPerElement) == 80);
static_assert(offsetof(BufferDescriptor, planes) == 84);
static_assert(offsetof(BufferDescriptor, formatIndex) == 88);
static_assert(offsetof(BufferDescriptor, bytesPerLine) == 92);
static_assert(offsetof(BufferDescriptor, owner) == 96);
static_assert(offsetof(BufferDescriptor, parent) == 104);
static_assert(offsetof(BufferDescriptor, memoryKind) == 112);
static_assert(offsetof(BufferDescriptor, childCount) == 116);
static_assert(offsetof(BufferDescriptor, state) == 120);
static_assert(offsetof(BufferDescriptor, currentPlane) == 124);
static_assert(offsetof(BufferDescriptor, counter) == 128);
static_assert(offsetof(BufferDescriptor, sizeOverride) == 132);
static_assert(offsetof(BufferDescriptor, significantBits) == 136);
static_assert(offsetof(BufferDescriptor, stateLinkMirror) == 140);
static_assert(offsetof(BufferDescriptor, stateLinkTarget) == 148);
static_assert(offsetof(BufferDescriptor, stateLinkDescriptor) == 156);
static_assert(offsetof(BufferDescriptor, serverAddressOffset) == 160);
static_assert(offsetof(BufferDescriptor, memoryObject) == 168);
static_assert(offsetof(BufferDescriptor, sgEntriesAllocated) == 176);
static_assert(offsetof(BufferDescriptor, sgEntriesUsed) == 180);
static_assert(offsetof(BufferDescriptor, sgFirstPhysical) == 184);
static_assert(offsetof(BufferDescriptor, sgFirstLength) == 192);

// Buffer format code: bits per element in bits 8-15, format index in bits
// 16-21, plane count in bits 24-27, signed in bit 28, colour and interleaved
// in bits 29 and 30.
constexpr std::uint32_t BufferFormatBits(std::uint32_t code) { return (code >> 8) & 0xFF; }
constexpr std::uint32_t BufferFormatIndex(std::uint32_t code) { return (code >> 16) & 63; }
constexpr std::uint32_t BufferFormatPlanes(std::uint32_t code) { return (code >> 24) & 15; }
constexpr bool BufferFormatIsSigned(std::uint32_t code) { return ((code >> 28) & 1) != 0; }
constexpr std::uint32_t BufferFormatElementSize(std::uint32_t code) {
  return (BufferFormatBits(code) + 7) >> 3;
}

inline constexpr std::uint32_t kBufferFormatMono8 = 0x01010800;
inline constexpr std::uint32_t kBufferFormatInt8 = 0x11010800;
inline constexpr std::uint32_t kBufferFormatRgbp8 = 0x03010800;
inline constexpr std::uint32_t kBufferFormatMono16 = 0x01021000;
inline constexpr std::uint32_t kBufferFormatInt16 = 0x11021000;
inline constexpr std::uint32_t kBufferFormatRgbp16 = 0x03021000;
inline constexpr std::uint32_t kBufferFormatMono24 = 0x01031800;
inline constexpr std::uint32_t kBufferFormatInt24 = 0x11031800;
inline constexpr std::uint32_t kBufferFormatMono32 = 0x01042000;
inline constexpr std::uint32_t kBufferFormatInt32 = 0x11042000;
inline constexpr std::uint32_t kBufferFormatMono64 = 0x01054000;
inline constexpr std::uint32_t kBufferFormatInt64 = 0x11054000;
inline constexpr std::uint32_t kBufferFormatRgb5551 = 0x61061000;
inline constexpr std::uint32_t kBufferFormatRgb565 = 0x61071000;
inline constexpr std::uint32_t kBufferFormatRgb888 = 0x61081800;
inline constexpr std::uint32_t kBufferFormatRgb8888 = 0x61092000;
inline constexpr std::uint32_t kBufferFormatRgb101010 = 0x610A2000;
inline constexpr std::uint32_t kBufferFormatRgb161616 = 0x610B3000;
inline constexpr std::uint32_t kBufferFormatHsv = 0x610C2000;
inline constexpr std::uint32_t kBufferFormatUyvy = 0x610D1000;
inline constexpr std::uint32_t kBufferFormatYuy2 = 0x610E1000;
inline constexpr std::uint32_t kBufferFormatYvyu = 0x610F1000;
inline constexpr std::uint32_t kBufferFormatYuyv = 0x61101000;
inline constexpr std::uint32_t kBufferFormatY411 = 0x61110C00;
inline constexpr std::uint32_t kBufferFormatY211 = 0x61120C00;
inline constexpr std::uint32_t kBufferFormatYuv = 0x61132000;
inline constexpr std::uint32_t kBufferFormatFloat = 0x11142000;
inline constexpr std::uint32_t kBufferFormatComplex = 0x11154000;
inline constexpr std::uint32_t kBufferFormatPoint = 0x11164000;
inline constexpr std::uint32_t kBufferFormatFpoint = 0x11174000;
inline constexpr std::uint32_t kBufferFormatMono1 = 0x01180100;
inline constexpr std::uint32_t kBufferFormatHsi = 0x61192000;
inline constexpr std::uint32_t kBufferFormatUyv = 0x611A1800;
inline constexpr std::uint32_t kBufferFormatRgb16161616 = 0x611B4000;
inline constexpr std::uint32_t kBufferFormatLab = 0x611C2000;
inline constexpr std::uint32_t kBufferFormatLab16161616 = 0x611D4000;
inline constexpr std::uint32_t kBufferFormatLab101010 = 0x611E2000;
inline constexpr std::uint32_t kBufferFormatRgbr888 = 0x611F1800;
