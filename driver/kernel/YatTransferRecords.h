// Transfer records as the board library hands them to the driver (section 1
// of the device-control interface): the request records of both caller
// widths, the AL, LB and BH element arrays with their nested records, the BH
// header, and the transfer object the driver keeps. Included on both sides,
// so it carries no kernel types. Every record is packed.
#pragma once

#include <cstddef>
#include <cstdint>

#include "driver/kernel/YatIoctl.h"

inline constexpr std::uint32_t YAT_ACQ_CHANNELS = 8;
inline constexpr std::uint32_t YAT_BH_CHANNELS = 16;
inline constexpr std::uint32_t YAT_PIXEL_FORMATS = 29;

// DMA types of XFER_POSITION_XFER and parts of DBG_MAP_DESC.
inline constexpr std::uint32_t YAT_DMA_TYPE_AL = 0;
inline constexpr std::uint32_t YAT_DMA_TYPE_LB = 1;
inline constexpr std::uint32_t YAT_DMA_TYPE_BH = 2;

// Buffer-list entry (32 bytes, eight u32) and its control word.
inline constexpr std::uint32_t YAT_ENTRY_WORDS = 8;
inline constexpr std::uint32_t YAT_ENTRY_BYTES = 32;
inline constexpr std::uint32_t YAT_ENTRY_ARMED = 0x80000000;       // BH word 0
inline constexpr std::uint32_t YAT_CONTROL_STATE = 1u << 24;       // BH and AL control word
inline constexpr std::uint32_t YAT_CONTROL_CYCLE_SHIFT = 25;       // BH control bits 25..26
inline constexpr std::uint32_t YAT_CONTROL_CYCLE_MASK = 3u << 25;
// The state word mapped into the caller: word 0 (bit 31) from this DMA
// controller version up, else the control word (bit 24).
inline constexpr std::uint32_t YAT_DMA_VERSION_ARMED_WORD = 0x42010000;

// Host descriptor (BH) control word.
inline constexpr std::uint32_t YAT_HOST_COUNT_MASK = 0xFFF;
inline constexpr std::uint32_t YAT_HOST_FRAME_NOTIFY = 1u << 16;
inline constexpr std::uint32_t YAT_HOST_EVERY = 1u << 17;
inline constexpr std::uint32_t YAT_HOST_LINE_START_NOTIFY = 1u << 18;
inline constexpr std::uint32_t YAT_HOST_LINE_END_NOTIFY = 1u << 19;
inline constexpr std::uint32_t YAT_HOST_FIRST_LINE = 1u << 24;
inline constexpr std::uint32_t YAT_HOST_LAST_LINE = 1u << 25;
inline constexpr std::uint32_t YAT_HOST_LINE_START = 1u << 26;
inline constexpr std::uint32_t YAT_HOST_LINE_END = 1u << 27;

// AL descriptor control word.
inline constexpr std::uint32_t YAT_AL_FIXED = 0xC000;               // bits 14 and 15
inline constexpr std::uint32_t YAT_AL_NEGATIVE_STEP = 1u << 12;
inline constexpr std::uint32_t YAT_AL_LINE_START = 1u << 30;
inline constexpr std::uint32_t YAT_AL_LINE_END = 1u << 31;
inline constexpr std::uint32_t YAT_AL_FIRST_LINE = (1u << 20) | (1u << 28);
inline constexpr std::uint32_t YAT_AL_LAST_LINE = 1u << 21;

// LB descriptor control word.
inline constexpr std::uint32_t YAT_LB_FRAME_OPEN = 1u << 28;
inline constexpr std::uint32_t YAT_LB_FIRST_PASS_LINE0 = (1u << 20) | (1u << 24);
inline constexpr std::uint32_t YAT_LB_EMPTY = 1u << 13;
inline constexpr std::uint32_t YAT_LB_LINE_OPEN = 1u << 30;
inline constexpr std::uint32_t YAT_LB_PASS_OPEN = 1u << 26;
inline constexpr std::uint32_t YAT_LB_LINE_CLOSE = 1u << 31;
inline constexpr std::uint32_t YAT_LB_PASS_CLOSE = 1u << 27;
inline constexpr std::uint32_t YAT_LB_LAST_LINE = 1u << 21;

#pragma pack(push, 1)

// The 16-byte descriptors the DMA engines walk.
struct YatHostDescriptor {
  std::uint32_t addressLow;
  std::uint16_t zero;
  std::uint16_t addressHigh;  // bits 32..47
  std::uint32_t control;
  std::uint32_t next;         // physical address of the next descriptor
};
struct YatLocalDescriptor {   // AL and LB
  std::uint32_t address;      // on-board address (LB: the source)
  std::uint16_t channelMask;  // LB: the piece's channel mask; AL: 0
  std::uint16_t kindBits;     // LB: the piece's kind bits; AL: 0
  std::uint32_t control;
  std::uint32_t next;         // on-board address of the next descriptor
};

// Image geometry of an element or buffer record.
struct YatImageGeometry {
  std::uint32_t imageWidth;   // pixels
  std::uint32_t imageHeight;  // lines
  std::uint32_t pixelFormat;  // 1..29
  std::uint32_t left;         // pixels
  std::uint32_t topLine;
  std::uint32_t linePitch;    // pixels
  std::uint32_t lineCount;
};

// A buffer of an acquisition channel in on-board memory.
struct YatSourceEntry {
  std::uint32_t bufferIndex;
  std::uint32_t camera;
  std::uint64_t onboardAddress;
};

// A region of an AL element: four u32 of region geometry.
struct YatAlRegion {
  std::uint32_t x;       // pixels, from the element's left
  std::uint32_t y;       // lines, from the element's top line
  std::uint32_t width;   // pixels
  std::uint32_t height;  // lines
};

struct YatAlElement {
  std::uint32_t dmaChannel;
  std::uint32_t controlBits;   // bits 0..3: entry control bits 28..31
  std::uint32_t optionWord;    // bit 1 forces the right-edge mark
  YatImageGeometry geometry;
  std::uint32_t stepWord;      // low byte direction (1 or 0xFF), second byte line step
  std::uint32_t lastLineWord;
  std::uint32_t tapGroupMask;
  std::uint32_t regionCount;
  std::uint64_t regions;       // YatAlRegion[regionCount]
  std::uint32_t sourceCount;
  std::uint64_t sources;       // YatSourceEntry[sourceCount]
  std::uint32_t flags;         // bit 0: the line count exceeds the image height
  std::uint32_t registerValue; // written to 0x304C + channel x 0x400
  std::uint32_t reserved;
  std::uint8_t mirror;
  std::uint8_t taps;
  std::uint16_t reserved2;
};
struct YatAlElement32 {
  std::uint32_t dmaChannel;
  std::uint32_t controlBits;
  std::uint32_t optionWord;
  YatImageGeometry geometry;
  std::uint32_t stepWord;
  std::uint32_t lastLineWord;
  std::uint32_t tapGroupMask;
  std::uint32_t regionCount;
  std::uint32_t regions;
  std::uint32_t sourceCount;
  std::uint32_t sources;
  std::uint32_t flags;
  std::uint32_t registerValue;
  std::uint32_t reserved;
  std::uint8_t mirror;
  std::uint8_t taps;
  std::uint16_t reserved2;
};

// A window line of an LB element: which on-board rows feed it.
struct YatLbLine {
  std::int32_t lineStep;
  std::uint32_t x;
  std::uint32_t y;
  std::uint32_t width;
  std::uint32_t height;
  std::uint32_t extension;
};
// A piece of each line of an LB element.
struct YatLbPiece {
  std::uint16_t channelMask;  // host DMA channels that receive the piece
  std::uint16_t kindBits;
  std::uint32_t stampWord;
  std::uint32_t x;
  std::uint32_t y;
  std::uint32_t width;
  std::uint32_t height;
  std::uint64_t onboardAddress;  // a stamp's address, or 0xFFFFFFFF for image data
  std::uint32_t flags;           // bit 0: the address is absolute; bit 2: step back at the last split
  std::uint16_t oneLine;         // non-zero: the piece does not advance with the line
  std::uint16_t splitWidth;      // bytes
};

struct YatLbElement {
  std::uint32_t dmaChannel;
  std::uint32_t notifyMask;
  std::uint32_t controlBits;   // bits 0..3: entry control bits 28..31
  std::uint32_t notifyOptions;
  YatImageGeometry geometry;   // image width, line count, format, four window words
  std::uint32_t sourceCount;
  std::uint64_t sources;       // YatSourceEntry[sourceCount]
  std::uint8_t stamp;
  std::uint32_t lineCount;
  std::uint64_t lines;         // YatLbLine[lineCount]
  std::uint32_t pieceCount;
  std::uint64_t pieces;        // YatLbPiece[pieceCount]
  std::uint32_t optionBits;
  std::uint32_t period;
  std::uint32_t chunkCount;
  std::uint8_t perSource;
  std::uint8_t opensEveryRun;
};
struct YatLbElement32 {
  std::uint32_t dmaChannel;
  std::uint32_t notifyMask;
  std::uint32_t controlBits;
  std::uint32_t notifyOptions;
  YatImageGeometry geometry;
  std::uint32_t sourceCount;
  std::uint32_t sources;
  std::uint8_t stamp;
  std::uint32_t lineCount;
  std::uint32_t lines;
  std::uint32_t pieceCount;
  std::uint32_t pieces;
  std::uint32_t optionBits;
  std::uint32_t period;
  std::uint32_t chunkCount;
  std::uint8_t perSource;
  std::uint8_t opensEveryRun;
};

// A region of a host buffer. Its first two bytes read as the AL element's
// step word does: the direction along the line, then the signed line step.
// Bit 7 of the direction walks each line from its right end (the image comes
// out mirrored); a negative line step walks the region from its last line up
// (the image comes out upside down); a line step of 0 reads as 1. A vertical
// flip is therefore written as a line step of -1 (0xFF in the second byte),
// never as 0xFF in the first, which mirrors the image instead: the board
// library and the driver both keep to this.
inline constexpr std::uint8_t YAT_BH_LEFT_TO_RIGHT = 0x01;
inline constexpr std::uint8_t YAT_BH_RIGHT_TO_LEFT = 0x80;
struct YatBhPieceOptions {
  std::int8_t lineStep;
  std::uint8_t reserved;
};
struct YatBhPiece {
  std::uint8_t direction;     // bit 7: right to left
  YatBhPieceOptions options;  // the signed line step
  std::uint8_t zero;
  std::uint32_t skipCount;  // lines passed over before the region starts
  std::uint32_t x;          // pixels
  std::uint32_t firstLine;
  std::uint32_t width;      // pixels
  std::uint32_t height;     // lines
};

struct YatBhBufferRecord {
  std::uint32_t endNotify;      // bit 0: control bit 27
  std::uint32_t readyOnly;      // bit 0: control bit 22
  std::uint32_t word8;          // bit 0: control bit 23
  std::uint32_t notifyOptions;  // of the buffer's host chain
  std::uint32_t controlBits;    // bits 0..3: control bits 28..31
  std::uint64_t stateWordAddress;  // out
  std::uint32_t stateBit;          // out: 31 or 24
  std::uint8_t mapFailed;          // out: 0 when mapped
  std::uint32_t bufferIndex;
  std::uint32_t camera;
  YatImageGeometry geometry;
  std::uint64_t lockRecord;     // the buffer's scatter-gather lock record
  std::uint8_t reserved[12];
  std::uint8_t stepEachLine;    // bit 0
  std::uint32_t regionCount;    // low 30 bits
  std::uint64_t regions;        // YatBhPiece[regionCount]
};
struct YatBhBufferRecord32 {
  std::uint32_t endNotify;
  std::uint32_t readyOnly;
  std::uint32_t word8;
  std::uint32_t notifyOptions;
  std::uint32_t controlBits;
  std::uint32_t stateWordAddress;
  std::uint32_t stateBit;
  std::uint8_t mapFailed;
  std::uint32_t bufferIndex;
  std::uint32_t camera;
  YatImageGeometry geometry;
  std::uint32_t lockRecord;
  std::uint8_t reserved[8];
  std::uint8_t stepEachLine;
  std::uint32_t regionCount;
  std::uint32_t regions;
};

struct YatBhElement {
  std::uint32_t dmaChannel;  // 0..15
  std::uint32_t modeWord;    // bits 0..1: control bits 25..26
  std::uint32_t bufferCount;
  std::uint64_t buffers;     // YatBhBufferRecord[bufferCount]
};
struct YatBhElement32 {
  std::uint32_t dmaChannel;
  std::uint32_t modeWord;
  std::uint32_t bufferCount;
  std::uint32_t buffers;
};

struct YatBhHeader {
  std::uint32_t acqChannel;
  std::uint32_t dualMode;
  std::uint32_t taps;
  std::uint32_t lastIndex;
  std::uint32_t unused;
  std::uint32_t routeFlag;
  std::uint32_t eventId;
};

// The library's host buffer list. Its entries are YatHostBufferEntry
// (driver/user/YatTransferDesc.h); the driver needs only their size and
// where the buffer's scatter-gather lock record lies in them.
struct YatHostBufferList {
  std::uint32_t reserved;
  std::uint32_t cyclingMode;
  std::uint32_t bufferCount;
  std::uint64_t entries;
  std::uint32_t listFlags;
};
struct YatHostBufferList32 {
  std::uint32_t reserved;
  std::uint32_t cyclingMode;
  std::uint32_t bufferCount;
  std::uint32_t entries;
  std::uint32_t listFlags;
};
inline constexpr std::uint32_t YAT_HOST_BUFFER_ENTRY_SIZE = 296;
inline constexpr std::uint32_t YAT_HOST_BUFFER_LOCK_OFFSET = 108;

// Requests (after the 8-byte header) and answers.
struct YatDmaXferRecord {  // SET_AL_XFERS, SET_LB_XFERS
  YatIocHeader header;
  std::uint64_t handle;
  std::uint32_t count;
  std::uint64_t elements;
};
struct YatDmaXferRecord32 {
  YatIocHeader header;
  std::uint32_t handle;
  std::uint32_t count;
  std::uint32_t elements;
};
struct YatBhXferRecord {  // SET_BH_XFERS
  YatIocHeader header;
  std::uint64_t handle;
  std::uint64_t bhHeader;
  std::uint32_t count;
  std::uint64_t elements;
};
struct YatBhXferRecord32 {
  YatIocHeader header;
  std::uint32_t handle;
  std::uint32_t bhHeader;
  std::uint32_t count;
  std::uint32_t elements;
};
struct YatCreateXferRecord {
  YatIocHeader header;
  std::uint32_t acqChannel;
};
struct YatCreateXferOut {
  YatIocStatus status;
  std::uint64_t handle;
};
struct YatCreateXferOut32 {
  YatIocStatus status;
  std::uint32_t handle;
};
struct YatDestroyXferRecord {
  YatIocHeader header;
  std::uint64_t handle;
  std::uint64_t lists[4];  // YatHostBufferList
  std::uint32_t listCount;
};
struct YatDestroyXferRecord32 {
  YatIocHeader header;
  std::uint32_t handle;
  std::uint32_t lists[4];
  std::uint32_t listCount;
};
struct YatXferCommandRecord {  // START_AUTO_XFER, ABORT_XFER
  YatIocHeader header;
  std::uint64_t handle;
};
struct YatXferCommandRecord32 {
  YatIocHeader header;
  std::uint32_t handle;
};
struct YatXferPositionRecord {
  YatIocHeader header;
  std::uint64_t handle;
  std::uint32_t dmaType;
  std::uint32_t dmaChannel;
  std::uint32_t position;
};
struct YatXferPositionRecord32 {
  YatIocHeader header;
  std::uint32_t handle;
  std::uint32_t dmaType;
  std::uint32_t dmaChannel;
  std::uint32_t position;
};
struct YatCycleModeRecord {
  YatIocHeader header;
  std::uint64_t handle;
  std::uint32_t mode;
};
struct YatCycleModeRecord32 {
  YatIocHeader header;
  std::uint32_t handle;
  std::uint32_t mode;
};
struct YatDbgMapDescRecord {
  YatIocHeader header;
  std::uint64_t handle;
  std::uint32_t part;         // 0 AL, 1 LB, other BH
  std::uint32_t unused;
  std::uint32_t dmaInfoIndex; // 0xFFFFFFFF: the part's buffer list
  std::uint32_t skipBuckets;
};
struct YatDbgMapDescRecord32 {
  YatIocHeader header;
  std::uint32_t handle;
  std::uint32_t part;
  std::uint32_t unused;
  std::uint32_t dmaInfoIndex;
  std::uint32_t skipBuckets;
};
struct YatDbgMapDescOut {
  YatIocStatus status;
  std::uint64_t userAddress;
};
struct YatDbgMapDescOut32 {
  YatIocStatus status;
  std::uint32_t userAddress;
};
struct YatDbgUnmapDescRecord {
  YatIocHeader header;
  std::uint64_t userAddress;
};
struct YatDbgUnmapDescRecord32 {
  YatIocHeader header;
  std::uint32_t userAddress;
};

#pragma pack(pop)

static_assert(sizeof(YatHostDescriptor) == 16 && offsetof(YatHostDescriptor, addressHigh) == 6 &&
              offsetof(YatHostDescriptor, control) == 8 && offsetof(YatHostDescriptor, next) == 12);
static_assert(sizeof(YatLocalDescriptor) == 16 && offsetof(YatLocalDescriptor, kindBits) == 6 &&
              offsetof(YatLocalDescriptor, control) == 8);
static_assert(sizeof(YatImageGeometry) == 28);
static_assert(sizeof(YatSourceEntry) == 16 && offsetof(YatSourceEntry, onboardAddress) == 8);
static_assert(sizeof(YatAlRegion) == 16);
static_assert(sizeof(YatAlElement) == 92);
static_assert(offsetof(YatAlElement, geometry) == 12 && offsetof(YatAlElement, stepWord) == 40 &&
              offsetof(YatAlElement, lastLineWord) == 44 && offsetof(YatAlElement, tapGroupMask) == 48 &&
              offsetof(YatAlElement, regionCount) == 52 && offsetof(YatAlElement, regions) == 56 &&
              offsetof(YatAlElement, sourceCount) == 64 && offsetof(YatAlElement, sources) == 68 &&
              offsetof(YatAlElement, flags) == 76 && offsetof(YatAlElement, registerValue) == 80 &&
              offsetof(YatAlElement, mirror) == 88 && offsetof(YatAlElement, taps) == 89);
static_assert(sizeof(YatAlElement32) == 84 && offsetof(YatAlElement32, sources) == 64 &&
              offsetof(YatAlElement32, mirror) == 80);
static_assert(sizeof(YatLbLine) == 24);
static_assert(sizeof(YatLbPiece) == 40 && offsetof(YatLbPiece, onboardAddress) == 24 && offsetof(YatLbPiece, flags) == 32 &&
              offsetof(YatLbPiece, oneLine) == 36 && offsetof(YatLbPiece, splitWidth) == 38);
static_assert(sizeof(YatLbElement) == 95);
static_assert(offsetof(YatLbElement, notifyOptions) == 12 && offsetof(YatLbElement, geometry) == 16 &&
              offsetof(YatLbElement, sourceCount) == 44 && offsetof(YatLbElement, sources) == 48 &&
              offsetof(YatLbElement, stamp) == 56 && offsetof(YatLbElement, lineCount) == 57 &&
              offsetof(YatLbElement, lines) == 61 && offsetof(YatLbElement, pieceCount) == 69 &&
              offsetof(YatLbElement, pieces) == 73 && offsetof(YatLbElement, optionBits) == 81 &&
              offsetof(YatLbElement, period) == 85 && offsetof(YatLbElement, chunkCount) == 89 &&
              offsetof(YatLbElement, perSource) == 93 && offsetof(YatLbElement, opensEveryRun) == 94);
static_assert(sizeof(YatLbElement32) == 83 && offsetof(YatLbElement32, perSource) == 81);
static_assert(sizeof(YatBhPieceOptions) == 2);
static_assert(sizeof(YatBhPiece) == 24 && offsetof(YatBhPiece, options) == 1 && offsetof(YatBhPiece, skipCount) == 4 && offsetof(YatBhPiece, x) == 8 &&
              offsetof(YatBhPiece, width) == 16);
static_assert(sizeof(YatBhBufferRecord) == 102);
static_assert(offsetof(YatBhBufferRecord, notifyOptions) == 12 && offsetof(YatBhBufferRecord, controlBits) == 16 &&
              offsetof(YatBhBufferRecord, stateWordAddress) == 20 && offsetof(YatBhBufferRecord, stateBit) == 28 &&
              offsetof(YatBhBufferRecord, mapFailed) == 32 && offsetof(YatBhBufferRecord, bufferIndex) == 33 &&
              offsetof(YatBhBufferRecord, camera) == 37 && offsetof(YatBhBufferRecord, geometry) == 41 &&
              offsetof(YatBhBufferRecord, lockRecord) == 69 && offsetof(YatBhBufferRecord, stepEachLine) == 89 &&
              offsetof(YatBhBufferRecord, regionCount) == 90 && offsetof(YatBhBufferRecord, regions) == 94);
static_assert(sizeof(YatBhBufferRecord32) == 86 && offsetof(YatBhBufferRecord32, bufferIndex) == 29 &&
              offsetof(YatBhBufferRecord32, lockRecord) == 65 && offsetof(YatBhBufferRecord32, regions) == 82);
static_assert(sizeof(YatBhElement) == 20 && offsetof(YatBhElement, buffers) == 12);
static_assert(sizeof(YatBhElement32) == 16);
static_assert(sizeof(YatBhHeader) == 28 && offsetof(YatBhHeader, routeFlag) == 20 &&
              offsetof(YatBhHeader, eventId) == 24);
static_assert(sizeof(YatHostBufferList) == 24 && offsetof(YatHostBufferList, bufferCount) == 8 &&
              offsetof(YatHostBufferList, entries) == 12);
static_assert(sizeof(YatHostBufferList32) == 20);
static_assert(sizeof(YatDmaXferRecord) == 28 && offsetof(YatDmaXferRecord, count) == 16 &&
              offsetof(YatDmaXferRecord, elements) == 20);
static_assert(sizeof(YatDmaXferRecord32) == 20 && offsetof(YatDmaXferRecord32, elements) == 16);
static_assert(sizeof(YatBhXferRecord) == 36 && offsetof(YatBhXferRecord, bhHeader) == 16 &&
              offsetof(YatBhXferRecord, count) == 24 && offsetof(YatBhXferRecord, elements) == 28);
static_assert(sizeof(YatBhXferRecord32) == 24 && offsetof(YatBhXferRecord32, elements) == 20);
static_assert(sizeof(YatCreateXferRecord) == 12);
static_assert(sizeof(YatCreateXferOut) == 12 && offsetof(YatCreateXferOut, handle) == 4);
static_assert(sizeof(YatCreateXferOut32) == 8);
static_assert(sizeof(YatDestroyXferRecord) == 52 && offsetof(YatDestroyXferRecord, lists) == 16 &&
              offsetof(YatDestroyXferRecord, listCount) == 48);
static_assert(sizeof(YatDestroyXferRecord32) == 32 && offsetof(YatDestroyXferRecord32, listCount) == 28);
static_assert(sizeof(YatXferCommandRecord) == 16 && sizeof(YatXferCommandRecord32) == 12);
static_assert(sizeof(YatXferPositionRecord) == 28 && offsetof(YatXferPositionRecord, dmaType) == 16 &&
              offsetof(YatXferPositionRecord, position) == 24);
static_assert(sizeof(YatXferPositionRecord32) == 24 && offsetof(YatXferPositionRecord32, position) == 20);
static_assert(sizeof(YatCycleModeRecord) == 20 && sizeof(YatCycleModeRecord32) == 16);
static_assert(sizeof(YatDbgMapDescRecord) == 32 && offsetof(YatDbgMapDescRecord, dmaInfoIndex) == 24);
static_assert(sizeof(YatDbgMapDescRecord32) == 28);
static_assert(sizeof(YatDbgMapDescOut) == 12 && sizeof(YatDbgMapDescOut32) == 8);
static_assert(sizeof(YatDbgUnmapDescRecord) == 16 && sizeof(YatDbgUnmapDescRecord32) == 12);

// Bytes per pixel of pixel formats 1..29; 0 for any other index.
constexpr std::uint32_t YatBytesPerPixel(std::uint32_t format) {
  constexpr std::uint8_t kTable[YAT_PIXEL_FORMATS] = {1, 2, 2, 2, 3, 4, 2, 2, 1, 2, 4, 1, 2, 4, 3,
                                                     6, 4, 3, 4, 3, 6, 8, 4, 3, 6, 8, 4, 4, 3};
  return format >= 1 && format <= YAT_PIXEL_FORMATS ? kTable[format - 1] : 0;
}

// The driver's transfer object; its address is the 64-bit transfer handle.
struct YatBoardExtension;
struct YatBucketHeader;
struct YatChannelInfo;
struct YatXferPart {
  std::uint32_t channelCount;
  std::uint32_t reserved;
  YatChannelInfo* channels[YAT_BH_CHANNELS];  // in the order they were first named
  YatBucketHeader* bufferList;               // chain of the part's 32-byte buffer-list entries
  std::uint32_t dmaInfoCount;                // BH: the number of buffers
  std::uint32_t dmaInfoCapacity;
  void** dmaInfos;                           // pool array of the part's DMA information blocks
};
struct YatXferObject {
  std::uint64_t selfTag;  // the object's own address mixed with a constant: no other block can carry it
  YatBoardExtension* board;
  std::uint32_t acqChannel;
  std::uint32_t started;
  YatXferPart al;
  YatXferPart lb;
  YatXferPart bh;
  YatBucketHeader* hostChain;  // the host descriptors of every BH buffer
  std::uint32_t bhInUse;
};
