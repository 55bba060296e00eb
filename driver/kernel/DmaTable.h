// Descriptor tables: the generic builder that cuts a buffer into pieces,
// region by region and line by line, and hands each piece to the callbacks
// of one kind of chain (host, AL), and the builders of the three chains.
#pragma once

#include <cstdint>

#include "driver/kernel/PageBucket.h"
#include "driver/kernel/YatExtensions.h"
#include "driver/kernel/YatTransferRecords.h"

// What the caller keeps of a built table: the descriptor chain (none when the
// descriptors live in a chain the caller owns) and the first descriptor of
// each group.
struct DmaResult {
  std::uint32_t groupCount;
  std::uint32_t ownsChain;
  YatBucketHeader* chain;
  std::uint64_t head[1];  // groupCount entries
};

// One region of a table as the kind's callbacks describe it.
struct DmaRegionSpec {
  std::uint32_t skipCount;
  std::uint64_t startOffset;  // bytes from the buffer's start to the region's first byte of line 0
  std::uint32_t bytesPerLine;
  std::int32_t lineStep;      // lines; negative walks from the region's last line up
  std::uint32_t lineCount;
  std::uint32_t last;         // the region row's last word
  // Non-zero: each line is walked from its end, one element of this many
  // bytes at a time (the engines write a piece front to back, so a line
  // mirrored in memory needs one piece per element).
  std::uint32_t reverseStep;
};

// One piece: where it starts in the buffer and its marks.
struct DmaPacket {
  std::uint32_t region;
  std::uint32_t line;        // index of the line inside its region
  std::uint32_t lineTotal;
  std::uint32_t offset;      // bytes of the line walked before this piece
  std::uint32_t length;
  std::uint64_t bufferOffset;  // bytes from the buffer's start
  std::uint64_t address;       // physical or on-board address
  bool lineStart, lineEnd, firstLine, lastLine;
};

struct DmaBuildRequest;
struct DmaCallbacks {
  bool (*lock)(DmaBuildRequest* request);
  bool (*nextPacket)(DmaBuildRequest* request, DmaPacket* packet);
  bool (*split)(DmaBuildRequest* request, DmaPacket* packet);
  bool (*complete)(DmaBuildRequest* request, const DmaPacket* packet);  // true: taken, no descriptor
  void* (*nextDescriptor)(DmaBuildRequest* request, std::uint32_t group);
  bool (*fill)(DmaBuildRequest* request, void* descriptor, const DmaPacket* packet, std::uint32_t group);
};

struct DmaBuildRequest {
  YatBoardExtension* board;
  YatXferObject* transfer;
  void* context;            // the kind's own state
  std::uint32_t bytesPerPixel;
  std::uint64_t pitchBytes; // bytes between two lines of the buffer
  std::uint32_t options;    // bit 0 step region each line, bit 1 one group, bits 2.. region count
  const DmaRegionSpec* regions;
  DmaCallbacks callbacks;
  DmaResult* result;        // out
};

inline DmaBuildRequest DmaRequest(YatBoardExtension* board, YatXferObject* transfer, void* context,
                                  std::uint32_t bytesPerPixel, std::uint64_t pitchBytes, std::uint32_t options,
                                  const DmaRegionSpec* regions, const DmaCallbacks& callbacks) {
  return DmaBuildRequest{board, transfer, context, bytesPerPixel, pitchBytes, options, regions, callbacks, nullptr};
}

inline constexpr std::uint32_t kDmaStepEachLine = 0x1;
inline constexpr std::uint32_t kDmaOneGroup = 0x2;
constexpr std::uint32_t DmaRegionCount(std::uint32_t options) { return options >> 2; }

// Whether `lines` lines of `bytes` each, `pitch` bytes apart from `start`,
// end within `limit` bytes (no arithmetic overflows on the way).
constexpr bool DmaExtentWithin(std::uint64_t start, std::uint64_t bytes, std::uint64_t pitch, std::uint64_t lines,
                               std::uint64_t limit) {
  if (lines == 0 || bytes == 0) return true;
  if (start > limit || bytes > limit - start) return false;
  return pitch == 0 || lines - 1 <= (limit - start - bytes) / pitch;
}
// a * b, or the largest value when it does not fit.
constexpr std::uint64_t DmaSaturatingProduct(std::uint64_t a, std::uint64_t b) {
  return b != 0 && a > ~std::uint64_t{0} / b ? ~std::uint64_t{0} : a * b;
}
constexpr std::uint64_t DmaSaturatingSum(std::uint64_t a, std::uint64_t b) { return a > ~b ? ~std::uint64_t{0} : a + b; }
inline constexpr std::uint32_t kDmaDescriptorBytes = 16;

// True when the whole buffer is described; the result is kept even on failure
// (the caller tears it down).
bool Dma_BuildDmaTable(DmaBuildRequest* request);
DmaResult* DmaNewResult(std::uint32_t groupCount);
// Frees the result and, when it owns one, its descriptor chain.
void DmaFreeResult(YatBoardExtension* board, DmaResult* result);

// The three chains. BH descriptors go to the transfer's host chain; AL and LB
// chains are written into on-board memory when built.
struct YatBhDmaInfo;
QelHwStatus CreateBHDmaDesc(YatBoardExtension* board, YatXferObject* transfer, const YatBhBufferRecord* record,
                            YatBhDmaInfo* info);
QelHwStatus CreateALDmaDesc(YatBoardExtension* board, YatXferObject* transfer, const YatAlElement* element,
                            const YatAlRegion* regions, DmaResult** result);
QelHwStatus CreateLBDmaDesc(YatBoardExtension* board, YatXferObject* transfer, const YatLbElement* element,
                            const YatLbLine* lines, const YatLbPiece* pieces, const YatSourceEntry* source,
                            DmaResult** result);
// The bounds of an element, checked before anything of it is built: -13
// (logged) when its regions or window reach past the board's memory, or its
// descriptors would not fit there.
QelHwStatus YatCheckAlElement(YatBoardExtension* board, const YatAlElement& element, const YatAlRegion* regions);
QelHwStatus YatCheckLbElement(YatBoardExtension* board, const YatLbElement& element, const YatLbPiece* pieces);
// Writes every on-board bucket of a chain to its on-board address; host chains answer 0.
QelHwStatus DmaCopyChainToBoard(YatBoardExtension* board, YatBucketHeader* chain);
// The bank and camera code of the on-board buckets of an acquisition channel.
constexpr std::uint32_t DmaOnboardCode(std::uint32_t acqChannel) { return acqChannel; }
// The next 16-byte descriptor slot of the transfer's host chain.
void* GetHostDesc(YatBoardExtension* board, YatXferObject* transfer);
// The next slot of a result's on-board chain (the transfer's bank and
// camera) and its on-board address; the result then owns the chain.
YatLocalDescriptor* DmaNextLocalDescriptor(YatBoardExtension* board, YatXferObject* transfer, DmaResult* result,
                                           std::uint32_t* address);
// On-board pieces never cross this boundary of on-board memory.
inline constexpr std::uint32_t kDmaOnboardBoundary = 2048;
inline constexpr std::uint64_t kDmaMaxOnboard = 0xFFFFFFFFull;

// Whether line `line` notifies under a chain's notification options: bit 4
// periodic (every N-th line), else only line N; N in bits 5 and up.
constexpr bool DmaLineNotifies(std::uint32_t options, std::uint32_t line) {
  const std::uint32_t n = options >> 5;
  if ((options & 0x10) != 0) return n >= 1 && (line + 1) % n == 0;
  return line == n;
}
