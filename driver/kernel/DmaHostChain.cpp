// Host descriptor chains (BH): one ring of 16-byte descriptors per host
// buffer over the page list of the buffer's scatter-gather lock, in the
// transfer's host buckets.
#include <cstring>

#include "driver/kernel/DmaTable.h"
#include "driver/kernel/OutsideDrivers.h"
#include "driver/kernel/StavroGlobals.h"
#include "driver/kernel/StavroLog.h"
#include "driver/kernel/XferObjects.h"
#include "platform/kernel/client.h"
#include "platform/kernel/memory.h"

using namespace plat::kernel;

namespace {

constexpr std::uint32_t kTagRegions = StavroPoolTag('R');
constexpr std::uint32_t kMaxPiece = 4096;
constexpr std::uint64_t kBelow4GB = 0xFFFFFFFFull;
// More regions than a buffer can sensibly have are refused before any allocation.
constexpr std::uint32_t kMaxRegions = 4096;

struct HostChain {
  const YatBhBufferRecord* record;
  YatBhDmaInfo* info;
  const QelMemPageEntry* pages = nullptr;
  std::uint32_t pageCount = 0;
  std::uint32_t cachedEntry = 0;
  std::uint64_t cachedStart = 0;  // buffer offset of the cached entry's first byte
  YatHostDescriptor* previous = nullptr;
  std::uint64_t head = 0;
};

HostChain& Chain(DmaBuildRequest* request) { return *static_cast<HostChain*>(request->context); }

// The lock record was read (into info->lock) when the regions were checked.
bool LockBuffer(DmaBuildRequest* request) {
  HostChain& chain = Chain(request);
  YatBhDmaInfo* info = chain.info;
  info->lock.page_list = 0;
  info->lock.page_count = 0;
  info->lock.lock_id = 0;
  if (QelMemScatterGatherLockEx(nullptr, &info->lock, 0, 0) == 0) {
    STAVRO_LOG(kLogError, "%s: >CreateBHDmaDesc: QelMemScatterGatherLockEx failed.");
    return false;
  }
  info->locked = 1;
  chain.pages = reinterpret_cast<const QelMemPageEntry*>(info->lock.page_list);
  chain.pageCount = info->lock.page_count;
  return chain.pages != nullptr;
}

// The page entry that holds byte `position` of the buffer, from the cached one on.
bool FindEntry(HostChain& chain, std::uint64_t position) {
  if (position < chain.cachedStart) {
    chain.cachedEntry = 0;
    chain.cachedStart = 0;
  }
  while (chain.cachedEntry < chain.pageCount &&
         position >= chain.cachedStart + chain.pages[chain.cachedEntry].length) {
    chain.cachedStart += chain.pages[chain.cachedEntry].length;
    ++chain.cachedEntry;
  }
  return chain.cachedEntry < chain.pageCount;
}

bool GetNextHostMemoryBlock(DmaBuildRequest* request, DmaPacket* packet) {
  HostChain& chain = Chain(request);
  if (!FindEntry(chain, packet->bufferOffset)) {
    STAVRO_LOG(kLogError, "%s: >GetNextHostMemoryBlock< Reach the end of the buffer memory info list");
    return false;
  }
  const QelMemPageEntry& entry = chain.pages[chain.cachedEntry];
  const std::uint64_t into = packet->bufferOffset - chain.cachedStart;
  std::uint64_t length = std::min<std::uint64_t>(packet->length, entry.length - into);
  packet->length = static_cast<std::uint32_t>(std::min<std::uint64_t>(length, kMaxPiece));
  packet->address = entry.physical + into;
  return true;
}

bool SplitAtPage(DmaBuildRequest*, DmaPacket* packet) {
  const std::uint64_t room = kMaxPiece - packet->address % kMaxPiece;
  if (packet->length > room) packet->length = static_cast<std::uint32_t>(room);
  return true;
}

void* NextHostDescriptor(DmaBuildRequest* request, std::uint32_t) {
  return GetHostDesc(request->board, request->transfer);
}

std::uint32_t HostControl(std::uint32_t options, const DmaPacket& packet) {
  std::uint32_t control = packet.length & YAT_HOST_COUNT_MASK;
  if (packet.firstLine) control |= YAT_HOST_FIRST_LINE;
  if (packet.lastLine) control |= YAT_HOST_LAST_LINE;
  if (packet.lineStart) control |= YAT_HOST_LINE_START;
  if (packet.lineEnd) control |= YAT_HOST_LINE_END;
  if (packet.firstLine && (options & 0x4) != 0) control |= YAT_HOST_FRAME_NOTIFY;
  if ((options & 0x8) != 0) control |= YAT_HOST_EVERY;
  const bool notifying = DmaLineNotifies(options, packet.line);
  if (notifying && packet.lineStart && (options & 0x1) != 0) control |= YAT_HOST_LINE_START_NOTIFY;
  if (notifying && packet.lineEnd && (options & 0x2) != 0) control |= YAT_HOST_LINE_END_NOTIFY;
  return control;
}

bool FillHostDescriptor(DmaBuildRequest* request, void* slot, const DmaPacket* packet, std::uint32_t group) {
  HostChain& chain = Chain(request);
  const std::uint64_t physical = GetBucketPhysicalAddress(request->board, &request->transfer->hostChain, slot);
  if (physical == 0) {
    STAVRO_LOG(kLogError, "%s: GetHostDesc, Could not get Bucket Object Physical Addr");
    return false;
  }
  if (chain.head == 0) {
    if (physical > kBelow4GB) return false;
    chain.head = physical;
    request->result->head[group] = physical;
  }
  auto* descriptor = static_cast<YatHostDescriptor*>(slot);
  descriptor->addressLow = static_cast<std::uint32_t>(packet->address);
  descriptor->zero = 0;
  descriptor->addressHigh = static_cast<std::uint16_t>(packet->address >> 32);
  descriptor->control = HostControl(chain.record->notifyOptions, *packet);
  descriptor->next = static_cast<std::uint32_t>(chain.head);
  if (chain.previous != nullptr) chain.previous->next = static_cast<std::uint32_t>(physical);
  chain.previous = descriptor;
  return true;
}

QelHwStatus ReadRegions(const YatBhBufferRecord* record, std::uint32_t count, YatBhPiece* pieces) {
  return plat::nt_success(copy_from_caller(record->regions, pieces, sizeof(YatBhPiece) * count))
             ? QELHW_OK
             : QELHW_ERROR_PARAMETER_INVALID;
}

void FillRegionSpecs(const YatBhBufferRecord* record, const YatBhPiece* pieces, std::uint32_t count,
                     std::uint32_t bpp, DmaRegionSpec* specs) {
  const YatImageGeometry& g = record->geometry;
  const std::uint64_t pitch = static_cast<std::uint64_t>(g.linePitch ? g.linePitch : g.imageWidth) * bpp;
  const std::uint64_t imageStart =
      DmaSaturatingProduct(DmaSaturatingSum(DmaSaturatingProduct(g.topLine, g.imageWidth), g.left), bpp);
  for (std::uint32_t i = 0; i < count; ++i) {
    const YatBhPiece& piece = pieces[i];
    specs[i].skipCount = piece.skipCount;
    specs[i].startOffset =
        DmaSaturatingSum(DmaSaturatingSum(imageStart, DmaSaturatingProduct(piece.firstLine, pitch)), std::uint64_t{piece.x} * bpp);
    const std::uint64_t bytes = std::uint64_t{piece.width} * bpp;
    specs[i].bytesPerLine = bytes > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(bytes);
    specs[i].lineStep = piece.options.lineStep == 0 ? 1 : piece.options.lineStep;
    specs[i].lineCount = piece.height;
    specs[i].last = 0;
    specs[i].reverseStep = (piece.direction & YAT_BH_RIGHT_TO_LEFT) != 0 ? bpp : 0;
  }
}

// Every region lies inside the host buffer the lock record names: a region
// past it could only describe memory the buffer does not have.
bool RegionsInsideBuffer(const DmaRegionSpec* specs, std::uint32_t count, std::uint64_t pitch, std::uint64_t size) {
  for (std::uint32_t i = 0; i < count; ++i) {
    const DmaRegionSpec& spec = specs[i];
    if (!DmaExtentWithin(spec.startOffset, spec.bytesPerLine, pitch, spec.lineCount, size) ||
        DmaSaturatingProduct(spec.bytesPerLine, spec.lineCount) > size) {
      STAVRO_LOG(kLogError, "%s: >CreateBHDmaDesc< Region past the host buffer");
      return false;
    }
  }
  return true;
}

}  // namespace

void* GetHostDesc(YatBoardExtension* board, YatXferObject* transfer) {
  void* slot = GDrv_GetNextBucketObjectEx(board, &transfer->hostChain, kBucketKindHost,
                                          sizeof(YatHostDescriptor), 0);
  if (slot == nullptr) STAVRO_LOG(kLogError, "%s: GetHostDesc, Could not get Next Bucket Object");
  return slot;
}

QelHwStatus CreateBHDmaDesc(YatBoardExtension* board, YatXferObject* transfer, const YatBhBufferRecord* record,
                            YatBhDmaInfo* info) {
  const std::uint32_t bpp = YatBytesPerPixel(record->geometry.pixelFormat);
  if (bpp == 0) {
    STAVRO_LOG(kLogError, "%s: >CreateBHDmaDesc< Invalid pixel size");
    return QELHW_ERROR_PARAMETER_INVALID;
  }
  const std::uint32_t count = record->regionCount & 0x3FFFFFFF;
  if (count > kMaxRegions) return QELHW_ERROR_PARAMETER_INVALID;
  const std::size_t bytes = (sizeof(YatBhPiece) + sizeof(DmaRegionSpec)) * (count ? count : 1);
  auto* memory = static_cast<std::uint8_t*>(allocate_pool(PoolType::kPaged, bytes, kTagRegions));
  if (memory == nullptr) {
    STAVRO_LOG(kLogError, "%s: >CreateBHDmaDesc< Can't get memory buffer roi info");
    return QELHW_ERROR_INSUFFICIENT_MEMORY;
  }
  std::memset(memory, 0, bytes);
  auto* specs = reinterpret_cast<DmaRegionSpec*>(memory);
  auto* pieces = reinterpret_cast<YatBhPiece*>(memory + sizeof(DmaRegionSpec) * (count ? count : 1));
  QelHwStatus status = ReadRegions(record, count, pieces);
  if (status == QELHW_OK && !plat::nt_success(copy_from_caller(record->lockRecord, &info->lock, sizeof info->lock)))
    status = QELHW_ERROR_PARAMETER_INVALID;
  const YatImageGeometry& g = record->geometry;
  const std::uint64_t pitch = std::uint64_t{g.linePitch ? g.linePitch : g.imageWidth} * bpp;
  if (status == QELHW_OK) {
    FillRegionSpecs(record, pieces, count, bpp, specs);
    if (!RegionsInsideBuffer(specs, count, pitch, info->lock.buffer_size)) status = QELHW_ERROR_PARAMETER_INVALID;
  }
  if (status == QELHW_OK) {
    HostChain chain{record, info};
    const std::uint32_t options = (record->stepEachLine & 1u) | count << 2 | kDmaOneGroup;
    DmaBuildRequest request =
        DmaRequest(board, transfer, &chain, bpp, pitch, options, specs,
                   {LockBuffer, GetNextHostMemoryBlock, SplitAtPage, nullptr, NextHostDescriptor, FillHostDescriptor});
    const bool built = Dma_BuildDmaTable(&request);
    info->result = request.result;
    if (!built) {
      STAVRO_LOG(kLogError, "%s: >CreateBHDmaDesc< Unable to build the descriptor table");
      status = QELHW_ERROR_INSUFFICIENT_MEMORY;
    }
  }
  free_pool_with_tag(memory, kTagRegions);
  return status;
}
