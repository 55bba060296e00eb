// On-board descriptor chains: AL (camera data into the acquisition buffers)
// and LB (pieces of the acquired frame onward to the host channels). Their
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
constexpr std::uint32_t kOnboardBoundary = 2048;
constexpr std::uint32_t kMaxRegions = 4096;
constexpr std::uint64_t kMaxOnboard = 0xFFFFFFFFull;

// A descriptor slot of a kind-2 chain and its on-board address.
YatLocalDescriptor* NextLocalDescriptor(YatBoardExtension* board, YatXferObject* transfer, DmaResult* result,
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

// ---- AL ----

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
  YatLocalDescriptor* descriptor = NextLocalDescriptor(request->board, request->transfer, request->result, &address);
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

// ---- LB ----

struct LbBuild {
  YatBoardExtension* board;
  YatXferObject* transfer;
  DmaResult* result;
  YatLocalDescriptor* previous = nullptr;
  std::uint32_t head = 0;
  bool frameOpened = false;
};

bool LbEmit(LbBuild& build, std::uint32_t address, const YatLbPiece& piece, std::uint32_t control) {
  std::uint32_t self = 0;
  YatLocalDescriptor* descriptor = NextLocalDescriptor(build.board, build.transfer, build.result, &self);
  if (descriptor == nullptr) return false;
  descriptor->address = address;
  descriptor->channelMask = piece.channelMask;
  descriptor->kindBits = piece.kindBits;
  descriptor->control = control;
  if (build.head == 0) {
    build.head = self;
    build.result->head[0] = self;
  }
  if (build.previous != nullptr) build.previous->next = self;
  descriptor->next = build.head;
  build.previous = descriptor;
  return true;
}

bool LineNotifies(std::uint32_t options, std::uint32_t line) {
  const std::uint32_t n = options >> 5;
  if ((options & 0x10) != 0) return n >= 1 && (line + 1) % n == 0;
  return line == n;
}

// The source line of window line `line`: the element's top line plus the
// window line, wrapping at the line count.
std::uint32_t SourceLine(const YatLbElement& e, std::uint32_t line) {
  const std::uint32_t count = e.geometry.imageHeight ? e.geometry.imageHeight : 1;
  return e.geometry.topLine + line % count;
}

// The cuts of one run [start, end) bytes of a piece's line.
bool LbCutRun(LbBuild& build, const YatLbElement& e, const YatLbPiece& piece, std::uint64_t source,
              std::uint32_t bytes, std::uint32_t line, std::uint32_t lastLine, bool opens, bool closes) {
  const std::uint32_t split = piece.splitWidth;
  std::uint32_t done = 0;
  while (done < bytes) {
    const std::uint64_t at = source + done;
    std::uint64_t cut = std::min<std::uint64_t>(bytes - done, kOnboardBoundary - at % kOnboardBoundary);
    if (split != 0) cut = std::min<std::uint64_t>(cut, split - done % split);
    if (at > kMaxOnboard || at + cut > kMaxOnboard) return false;
    std::uint32_t control = static_cast<std::uint32_t>(cut) & 0xFFF;
    control |= (piece.stampWord & 0x3) << 16;
    const bool first = done == 0 && opens;
    const bool last = done + cut == bytes && closes;
    if (!build.frameOpened) {
      control |= YAT_LB_FRAME_OPEN | YAT_LB_FIRST_PASS_LINE0;
      build.frameOpened = true;
    }
    const bool notifying = LineNotifies(e.notifyOptions, line);
    if (first) {
      control |= YAT_LB_LINE_OPEN;
      if (e.stamp != 0) control |= YAT_LB_PASS_OPEN;
      if (notifying && (e.notifyOptions & 0x1) != 0) control |= 1u << 18;
    }
    if (last) {
      control |= YAT_LB_LINE_CLOSE | YAT_LB_PASS_CLOSE;
      if (line == lastLine) control |= YAT_LB_LAST_LINE;
      if (notifying && (e.notifyOptions & 0x2) != 0) control |= 1u << 19;
    }
    if (!LbEmit(build, static_cast<std::uint32_t>(at), piece, control)) return false;
    done += static_cast<std::uint32_t>(cut);
  }
  return true;
}

// The line records that feed window line `line` over the piece's columns,
// as one run from the first to the last of them.
bool LbRunOf(const YatLbLine* lines, std::uint32_t lineCount, const YatLbPiece& piece, std::uint32_t line,
             std::uint32_t* start, std::uint32_t* end) {
  bool found = false;
  const std::uint64_t pieceEnd = static_cast<std::uint64_t>(piece.x) + piece.width;
  for (std::uint32_t i = 0; i < lineCount; ++i) {
    const YatLbLine& record = lines[i];
    const std::uint64_t recordEnd = static_cast<std::uint64_t>(record.x) + record.width;
    if (line < record.y || line >= static_cast<std::uint64_t>(record.y) + record.height) continue;
    if (recordEnd <= piece.x || record.x >= pieceEnd) continue;
    const auto s = static_cast<std::uint32_t>(std::max<std::uint64_t>(piece.x, record.x));
    const auto t = static_cast<std::uint32_t>(std::min<std::uint64_t>(pieceEnd, recordEnd));
    if (!found) {
      *start = s;
      *end = t;
      found = true;
    } else if (s <= *end + 1) {
      *start = std::min(*start, s);
      *end = std::max(*end, t);
    }
  }
  return found;
}

bool LbBuildLines(LbBuild& build, const YatLbElement& e, const YatLbLine* lines, const YatLbPiece* pieces,
                  const YatSourceEntry* source) {
  const std::uint32_t bpp = YatBytesPerPixel(e.geometry.pixelFormat);
  const std::uint32_t windowLines = e.geometry.lineCount;  // the window's height
  const std::uint64_t pitch = static_cast<std::uint64_t>(e.geometry.imageWidth) * bpp;
  const std::uint32_t lastLine = windowLines ? windowLines - 1 : 0;
  for (std::uint32_t line = 0; line < windowLines; ++line) {
    for (std::uint32_t p = 0; p < e.pieceCount; ++p) {
      const YatLbPiece& piece = pieces[p];
      const bool opens = p == 0 || (e.period != 0 && p % e.period == 0) || e.opensEveryRun != 0;
      const bool closes = p + 1 == e.pieceCount || (e.period != 0 && (p + 1) % e.period == 0) || e.opensEveryRun != 0;
      std::uint32_t start = 0, end = 0;
      if (!LbRunOf(lines, e.lineCount, piece, line, &start, &end)) {
        std::uint32_t control = YAT_LB_EMPTY | YAT_LB_PASS_OPEN | YAT_LB_PASS_CLOSE;
        if (line == 0) control |= (1u << 24) | ((e.notifyOptions >> 2) & 1) << 16;
        control |= ((e.notifyOptions >> 3) & 1) << 17;
        if (!LbEmit(build, 0, piece, control)) return false;
        continue;
      }
      std::uint64_t lineOffset = piece.oneLine != 0 ? 0 : SourceLine(e, line) * pitch;
      lineOffset += static_cast<std::uint64_t>(e.geometry.left) * bpp;
      std::uint64_t address = static_cast<std::uint64_t>(start) * bpp + lineOffset;
      if (piece.onboardAddress != 0xFFFFFFFFull) {
        address += piece.onboardAddress;
        if ((piece.flags & 1) == 0 && source != nullptr) address -= source->onboardAddress;
      }
      const std::uint64_t bytes = static_cast<std::uint64_t>(end - start) * bpp;
      if (bytes > 0xFFFFFFFFull) return false;
      if (!LbCutRun(build, e, piece, address, static_cast<std::uint32_t>(bytes), line, lastLine, opens, closes))
        return false;
    }
  }
  return true;
}

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
    if (bytes != 0) extent.descriptors += std::uint64_t{region.height} * (bytes / kOnboardBoundary + 2);
  }
  return extent;
}

}  // namespace

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

QelHwStatus YatCheckLbElement(YatBoardExtension* board, const YatLbElement& e, const YatLbPiece* pieces) {
  const std::uint32_t bpp = YatBytesPerPixel(e.geometry.pixelFormat);
  if (bpp == 0) return QELHW_OK;
  std::uint64_t memory = 0;
  const QelHwStatus status = YatOnboardMemoryBytes(board, &memory);
  if (status != QELHW_OK) return status;
  const std::uint64_t room = memory / kDmaDescriptorBytes;
  const std::uint64_t windowLines = e.geometry.lineCount;
  const std::uint64_t pieceCount = e.pieceCount, lineCount = e.lineCount;  // copies: the record is packed
  bool inside = DmaSaturatingProduct(windowLines, pieceCount == 0 ? 1 : pieceCount) <= room &&
                DmaSaturatingProduct(windowLines, lineCount) <= room;
  for (std::uint32_t p = 0; p < e.pieceCount && inside; ++p)
    inside = std::uint64_t{pieces[p].width} * bpp <= memory;
  if (inside) return QELHW_OK;
  STAVRO_LOG(kLogError, "%s: >CreateLBDmaDesc< Window past the on-board memory");
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
                             step == 0 ? 1 : step, region.height, 0};
  }
  AlChain chain{element, AlChannelOptions(*element)};
  DmaBuildRequest request{};
  request.board = board;
  request.transfer = transfer;
  request.context = &chain;
  request.bytesPerPixel = bpp;
  request.pitchBytes = pitch;
  request.options = count << 2;
  request.regions = specs;
  request.callbacks = {nullptr, AlNextPacket, nullptr, nullptr, AlNextDescriptor, AlFill};
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

QelHwStatus CreateLBDmaDesc(YatBoardExtension* board, YatXferObject* transfer, const YatLbElement* element,
                            const YatLbLine* lines, const YatLbPiece* pieces, const YatSourceEntry* source,
                            DmaResult** result) {
  if (result == nullptr) {
    STAVRO_LOG(kLogError, "%s: >CreateLBDmaDesc< pResult = NULL: Argument Invalid");
    return QELHW_ERROR_PARAMETER_INVALID;
  }
  *result = DmaNewResult(1);
  if (*result == nullptr) {
    STAVRO_LOG(kLogError, "%s: >CreateLBDmaDesc< Host memory allocation error");
    return QELHW_ERROR_INSUFFICIENT_MEMORY;
  }
  for (std::uint32_t i = 0; i < element->lineCount; ++i) {
    if (lines[i].lineStep == 0) {
      STAVRO_LOG(kLogError, "%s: >CreateLBDmaDesc< Division by 0: lineIncrease = 0");
      return QELHW_ERROR_PARAMETER_INVALID;
    }
  }
  if (YatBytesPerPixel(element->geometry.pixelFormat) == 0) return QELHW_ERROR_PARAMETER_INVALID;
  LbBuild build{board, transfer, *result};
  if (!LbBuildLines(build, *element, lines, pieces, source)) {
    STAVRO_LOG(kLogError, "%s: >CreateLBDmaDesc< Unable to build the descriptor table");
    return QELHW_ERROR_INSUFFICIENT_MEMORY;
  }
  return DmaCopyChainToBoard(board, (*result)->chain);
}
