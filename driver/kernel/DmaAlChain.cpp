// AL descriptor chains: camera data into the acquisition buffers. Their
// addresses are offsets into the buffer named by the buffer-list entry that
// starts the chain, so one table serves every buffer of a channel. Chains are
// built in host copies of on-board buckets and then written to the board.
#include <algorithm>
#include <cstring>

#include "driver/kernel/DmaTable.h"
#include "driver/kernel/OnboardMemoryAccess.h"
#include "driver/kernel/ResourceManager.h"
#include "driver/kernel/StavroGlobals.h"
#include "driver/kernel/StavroLog.h"
#include "platform/kernel/memory.h"

using namespace plat::kernel;

namespace {

constexpr std::uint32_t kTagRegions = StavroPoolTag('R');
constexpr std::uint32_t kOnboardBoundary = kDmaOnboardBoundary;
constexpr std::uint32_t kMaxRegions = 4096;
constexpr std::uint64_t kMaxOnboard = kDmaMaxOnboard;

struct AlChain {
  const YatAlElement* element;
  std::uint32_t options;  // channel options
  YatLocalDescriptor* previous = nullptr;
  YatLocalDescriptor* last = nullptr;
  std::uint32_t head = 0;
  std::uint32_t line1Head = 0;
};

AlChain& Al(DmaBuildRequest* request) { return *static_cast<AlChain*>(request->context); }

std::uint32_t AlChannelOptions(const YatAlElement& e) {
  const YatImageGeometry& g = e.geometry;
  const bool leftEdge = g.left == 0;
  const bool rightEdge = g.left + g.linePitch == g.imageWidth || (e.optionWord & 0x2) != 0;
  std::uint32_t options = 0x10;
  if (e.mirror == 0) options |= (leftEdge ? 0x1 : 0) | (rightEdge ? 0x2 : 0);
  else options |= (leftEdge ? 0x2 : 0) | (rightEdge ? 0x1 : 0);
  if (g.topLine == 0) options |= 0x4;
  if (g.topLine + g.lineCount == g.imageHeight) options |= 0x8;
  options |= (e.flags & 1) != 0 ? 0x40 : 0x20;
  return options;
}

bool AlNextPacket(DmaBuildRequest*, DmaPacket* packet) {
  packet->address = packet->bufferOffset;
  const std::uint64_t room = kOnboardBoundary - packet->address % kOnboardBoundary;
  packet->length = static_cast<std::uint32_t>(std::min<std::uint64_t>(packet->length, room));
  return true;
}

void* AlNextDescriptor(DmaBuildRequest* request, std::uint32_t) {
  std::uint32_t address = 0;
  YatLocalDescriptor* descriptor = DmaNextLocalDescriptor(request->board, request->transfer, request->result, &address);
  if (descriptor == nullptr) return nullptr;
  descriptor->next = address;  // its own address until linked
  return descriptor;
}

bool AlFill(DmaBuildRequest* request, void* slot, const DmaPacket* packet, std::uint32_t group) {
  AlChain& chain = Al(request);
  if (packet->address > kMaxOnboard || packet->address + packet->length > kMaxOnboard) return false;
  auto* descriptor = static_cast<YatLocalDescriptor*>(slot);
  const std::uint32_t self = descriptor->next;
  const std::uint32_t o = chain.options;
  std::uint32_t control = (packet->length & 0xFFF) | YAT_AL_FIXED;
  if (request->regions[packet->region].lineStep < 0) control |= YAT_AL_NEGATIVE_STEP;
  if (packet->lineStart) {
    control |= YAT_AL_LINE_START | ((o & 0x1) << 26);
    if (packet->line == 0) control |= YAT_AL_FIRST_LINE;
    if (packet->line == 1 && chain.line1Head == 0) chain.line1Head = self;
  }
  control |= ((o >> 1) & 1) << 27;
  if (packet->lineEnd) {
    control |= YAT_AL_LINE_END;
    if (packet->lastLine) control |= YAT_AL_LAST_LINE | ((o >> 5) & 1) << 29;
  }
  descriptor->address = static_cast<std::uint32_t>(packet->address);
  descriptor->channelMask = 0;
  descriptor->kindBits = 0;
  descriptor->control = control;
  if (chain.head == 0) {
    chain.head = self;
    request->result->head[group] = self;
  }
  if (chain.previous != nullptr) chain.previous->next = self;
  descriptor->next = chain.head;
  chain.previous = descriptor;
  return true;
}

// A line walked right to left is cut from its end one pixel at a time.
bool AlRightToLeft(const YatAlElement& e) { return (e.stepWord & 0x80) != 0; }

// The regions of an AL element as offsets into the acquisition buffer, and
// the count of descriptors they need at most.
struct AlExtent {
  bool inside = true;
  std::uint64_t descriptors = 0;
};

AlExtent AlRegionsExtent(const YatAlElement& e, const YatAlRegion* regions, std::uint32_t bpp, std::uint64_t memory) {
  const YatImageGeometry& g = e.geometry;
  const std::uint64_t pitch = std::uint64_t{g.imageWidth} * bpp;
  const std::uint64_t base = DmaSaturatingSum(DmaSaturatingProduct(g.topLine, pitch), std::uint64_t{g.left} * bpp);
  const std::uint32_t lineCount = (e.flags & 1) != 0 ? g.imageHeight : g.lineCount;
  const std::uint32_t count = e.regionCount ? e.regionCount : 1;
  AlExtent extent;
  for (std::uint32_t i = 0; i < count && extent.inside; ++i) {
    YatAlRegion region = e.regionCount ? regions[i] : YatAlRegion{0, 0, g.linePitch, lineCount};
    if ((e.flags & 1) != 0 || region.height > g.imageHeight) region.height = std::min(region.height, g.imageHeight);
    const std::uint64_t start =
        DmaSaturatingSum(DmaSaturatingSum(base, DmaSaturatingProduct(region.y, pitch)), std::uint64_t{region.x} * bpp);
    const std::uint64_t bytes = std::uint64_t{region.width} * bpp;
    extent.inside = base <= memory && DmaExtentWithin(start, bytes, pitch, region.height, memory);
    const std::uint64_t pieces = bytes / kOnboardBoundary + 2 + (AlRightToLeft(e) ? region.width : 0);
    if (bytes != 0) extent.descriptors += std::uint64_t{region.height} * pieces;
  }
  return extent;
}

}  // namespace

YatLocalDescriptor* DmaNextLocalDescriptor(YatBoardExtension* board, YatXferObject* transfer, DmaResult* result,
                                           std::uint32_t* address) {
  void* slot = GDrv_GetNextBucketObjectEx(board, &result->chain, 0, sizeof(YatLocalDescriptor),
                                          DmaOnboardCode(transfer->acqChannel));
  if (slot == nullptr) return nullptr;
  result->ownsChain = 1;
  const std::uint64_t onboard = GetBucketPhysicalAddress(board, &result->chain, slot);
  if (onboard == 0 || onboard > kMaxOnboard) return nullptr;
  *address = static_cast<std::uint32_t>(onboard);
  return static_cast<YatLocalDescriptor*>(slot);
}

// Every region ends inside the board's memory, and the chain's descriptors
// fit the on-board memory they are kept in; anything wider is refused
// before a descriptor is built.
QelHwStatus YatCheckAlElement(YatBoardExtension* board, const YatAlElement& element, const YatAlRegion* regions) {
  const std::uint32_t bpp = YatBytesPerPixel(element.geometry.pixelFormat);
  if (bpp == 0) return QELHW_OK;  // refused with its own message by the builder
  std::uint64_t memory = 0;
  const QelHwStatus status = YatOnboardMemoryBytes(board, &memory);
  if (status != QELHW_OK) return status;
  const AlExtent extent = AlRegionsExtent(element, regions, bpp, memory);
  if (extent.inside && DmaSaturatingProduct(extent.descriptors, kDmaDescriptorBytes) <= memory) return QELHW_OK;
  STAVRO_LOG(kLogError, "%s: >CreateALDmaDesc< Regions past the on-board memory");
  return QELHW_ERROR_PARAMETER_INVALID;
}

QelHwStatus CreateALDmaDesc(YatBoardExtension* board, YatXferObject* transfer, const YatAlElement* element,
                            const YatAlRegion* regions, DmaResult** result) {
  *result = nullptr;
  const std::uint32_t bpp = YatBytesPerPixel(element->geometry.pixelFormat);
  if (bpp == 0) {
    STAVRO_LOG(kLogError, "%s: >CreateALDmaDesc< Invalid pixel size");
    return QELHW_ERROR_PARAMETER_INVALID;
  }
  const YatImageGeometry& g = element->geometry;
  const std::uint32_t count = element->regionCount ? element->regionCount : 1;
  if (count > kMaxRegions) return QELHW_ERROR_PARAMETER_INVALID;
  auto* specs = static_cast<DmaRegionSpec*>(allocate_pool(PoolType::kPaged, sizeof(DmaRegionSpec) * count, kTagRegions));
  if (specs == nullptr) {
    STAVRO_LOG(kLogError, "%s: >CreateALDmaDesc< Can't get memory bufer roi info");
    return QELHW_ERROR_INSUFFICIENT_MEMORY;
  }
  // The acquisition buffer holds the whole frame; the window sits at its left and top.
  const std::uint64_t pitch = static_cast<std::uint64_t>(g.imageWidth) * bpp;
  const std::uint64_t base = static_cast<std::uint64_t>(g.topLine) * pitch + static_cast<std::uint64_t>(g.left) * bpp;
  const auto step = static_cast<std::int8_t>(element->stepWord >> 8);
  const std::uint32_t lineCount = (element->flags & 1) != 0 ? g.imageHeight : g.lineCount;
  for (std::uint32_t i = 0; i < count; ++i) {
    YatAlRegion region = element->regionCount ? regions[i] : YatAlRegion{0, 0, g.linePitch, lineCount};
    if ((element->flags & 1) != 0 || region.height > g.imageHeight) region.height = std::min(region.height, g.imageHeight);
    specs[i] = DmaRegionSpec{0, base + region.y * pitch + static_cast<std::uint64_t>(region.x) * bpp, region.width * bpp,
                             step == 0 ? 1 : step, region.height, 0, AlRightToLeft(*element) ? bpp : 0};
  }
  AlChain chain{element, AlChannelOptions(*element)};
  DmaBuildRequest request = DmaRequest(board, transfer, &chain, bpp, pitch, count << 2, specs,
                                       {nullptr, AlNextPacket, nullptr, nullptr, AlNextDescriptor, AlFill});
  bool built = Dma_BuildDmaTable(&request);
  free_pool_with_tag(specs, kTagRegions);
  *result = request.result;
  if (built && chain.previous != nullptr && (chain.options & 0x40) != 0 && chain.line1Head != 0)
    chain.previous->next = chain.line1Head;
  QelHwStatus status = built ? DmaCopyChainToBoard(board, request.result ? request.result->chain : nullptr)
                             : QELHW_ERROR_INSUFFICIENT_MEMORY;
  if (!built) STAVRO_LOG(kLogError, "%s: >CreateALDmaDesc< Unable to build the descriptor table");
  if (status == QELHW_OK)
    status = Yat_WriteReg(board, 0x304C + transfer->acqChannel * 0x400, element->registerValue);
  return status;
}
