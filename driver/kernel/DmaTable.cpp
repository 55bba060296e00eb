#include "driver/kernel/DmaTable.h"

#include <cstdlib>
#include <cstring>

#include "driver/kernel/MutexHold.h"
#include "driver/kernel/OnboardMemoryAccess.h"
#include "driver/kernel/StavroGlobals.h"
#include "driver/kernel/StavroLog.h"
#include "platform/kernel/memory.h"
#include "platform/kernel/sync.h"

using namespace plat::kernel;

namespace {

constexpr std::uint32_t kTagDmaTable = StavroPoolTag('D');

struct RegionState {
  std::uint32_t skip;
  std::uint32_t lineTotal;
  std::uint32_t lineCounter;
  std::uint32_t offset;
  std::uint32_t group;
};

// Line `line` of a region, as a byte offset from the buffer's start.
std::uint64_t LineOffset(const DmaBuildRequest& request, const DmaRegionSpec& region, std::uint32_t line) {
  const std::uint32_t step = static_cast<std::uint32_t>(std::abs(region.lineStep));
  const std::uint32_t row = region.lineStep < 0 ? region.lineCount - 1 - line * step : line * step;
  return region.startOffset + static_cast<std::uint64_t>(row) * request.pitchBytes;
}

bool BuildPiece(DmaBuildRequest* request, RegionState& state, std::uint32_t index) {
  const DmaRegionSpec& region = request->regions[index];
  DmaPacket packet{};
  packet.region = index;
  packet.line = state.lineCounter;
  packet.lineTotal = state.lineTotal;
  packet.offset = state.offset;
  packet.length = region.bytesPerLine - state.offset;
  packet.bufferOffset = LineOffset(*request, region, state.lineCounter) + state.offset;
  if (region.reverseStep != 0) {
    // Elements from the line's end; the bytes of one element stay in order.
    const std::uint32_t element = state.offset / region.reverseStep;
    const std::uint32_t within = state.offset % region.reverseStep;
    packet.length = region.reverseStep - within;
    packet.bufferOffset = LineOffset(*request, region, state.lineCounter) + region.bytesPerLine -
                          std::uint64_t{element + 1} * region.reverseStep + within;
  }
  if (!request->callbacks.nextPacket(request, &packet)) {
    STAVRO_LOG(kLogError, "%s: Dma_BuildDmaTable, Could not Get Next Packet");
    return false;
  }
  if (request->callbacks.split != nullptr && !request->callbacks.split(request, &packet)) {
    STAVRO_LOG(kLogError, "%s: Dma_BuildDmaTable, Could not Split Packet");
    return false;
  }
  if (packet.length == 0 || packet.length > region.bytesPerLine - state.offset) return false;
  // Marks follow the walk: a mirrored line starts at its right end.
  packet.lineStart = packet.offset == 0;
  packet.lineEnd = packet.offset + packet.length == region.bytesPerLine;
  packet.firstLine = packet.line == 0 && packet.lineStart;
  packet.lastLine = packet.line + 1 == state.lineTotal && packet.lineEnd;
  if (request->callbacks.complete == nullptr || !request->callbacks.complete(request, &packet)) {
    void* descriptor = request->callbacks.nextDescriptor(request, state.group);
    if (descriptor == nullptr) {
      STAVRO_LOG(kLogError, "%s: Dma_BuildDmaTable, Could not Get Next Descriptor");
      return false;
    }
    if (!request->callbacks.fill(request, descriptor, &packet, state.group)) {
      STAVRO_LOG(kLogError, "%s: Dma_BuildDmaTable, Could not Fill Descriptor");
      return false;
    }
  }
  state.offset += packet.length;
  return true;
}

template <typename T>
T* NewRows(std::uint32_t count, const char* message) {
  auto* rows = static_cast<T*>(allocate_pool(PoolType::kPaged, sizeof(T) * (count ? count : 1), kTagDmaTable));
  if (rows == nullptr) STAVRO_LOG(kLogError, message);
  else std::memset(rows, 0, sizeof(T) * (count ? count : 1));
  return rows;
}

// The round robin over the regions: the next one with lines left, passing
// over (and counting down) regions that still skip lines.
bool NextRegion(DmaBuildRequest* request, RegionState* states, std::uint32_t count, std::uint32_t* current) {
  std::uint32_t tries = 0;
  std::uint32_t index = *current;
  while (tries <= count) {
    index = (index + 1) % count;
    RegionState& state = states[index];
    if (state.lineCounter >= state.lineTotal) {
      ++tries;
      continue;
    }
    if ((request->options & kDmaStepEachLine) != 0 && state.skip != 0) {
      --state.skip;
      continue;
    }
    *current = index;
    return true;
  }
  return false;
}

}  // namespace

DmaResult* DmaNewResult(std::uint32_t groupCount) {
  const std::size_t size = sizeof(DmaResult) + sizeof(std::uint64_t) * (groupCount ? groupCount - 1 : 0);
  auto* result = static_cast<DmaResult*>(allocate_pool(PoolType::kPaged, size, kTagDmaTable));
  if (result == nullptr) return nullptr;
  std::memset(result, 0, size);
  result->groupCount = groupCount;
  return result;
}

void DmaFreeResult(YatBoardExtension* board, DmaResult* result) {
  if (result == nullptr) return;
  if (result->ownsChain) FreePageForPCI(board, &result->chain);
  free_pool_with_tag(result, kTagDmaTable);
}

bool Dma_BuildDmaTable(DmaBuildRequest* request) {
  const std::uint32_t regionCount = DmaRegionCount(request->options);
  const std::uint32_t groups = (request->options & kDmaOneGroup) != 0 || regionCount == 0 ? 1 : regionCount;
  request->result = DmaNewResult(groups);
  if (request->result == nullptr) {
    STAVRO_LOG(kLogError, "%s: Dma_BuildDmaTable, Could not allocate Paged Pool for DMA_RESULT");
    return false;
  }
  if (request->callbacks.lock != nullptr && !request->callbacks.lock(request)) {
    STAVRO_LOG(kLogError, "%s: Dma_BuildDmaTable, Could not Lock Buffer");
    return false;
  }
  if (regionCount == 0) return true;
  auto* states = NewRows<RegionState>(regionCount, "%s: Dma_BuildDmaTable, Could not allocate Paged Pool for DMA_REGION_INFO");
  if (states == nullptr) return false;
  std::uint64_t linesLeft = 0;
  for (std::uint32_t i = 0; i < regionCount; ++i) {
    const DmaRegionSpec& region = request->regions[i];
    const std::uint32_t step = static_cast<std::uint32_t>(std::abs(region.lineStep ? region.lineStep : 1));
    states[i].skip = region.skipCount;
    const bool whole = region.reverseStep == 0 || region.bytesPerLine % region.reverseStep == 0;
    states[i].lineTotal = region.bytesPerLine == 0 || !whole ? 0 : (region.lineCount + region.skipCount) / step;
    if (states[i].lineTotal * step > region.lineCount) states[i].lineTotal = region.lineCount / step;
    states[i].group = i % groups;
    linesLeft += states[i].lineTotal;
  }
  bool ok = true;
  std::uint32_t current = regionCount - 1;
  if (linesLeft != 0) ok = NextRegion(request, states, regionCount, &current);
  while (ok && linesLeft != 0) {
    RegionState& state = states[current];
    ok = BuildPiece(request, state, current);
    if (!ok) break;
    if (state.offset == request->regions[current].bytesPerLine) {
      state.offset = 0;
      ++state.lineCounter;
      --linesLeft;
    }
    const bool regionDone = state.lineCounter >= state.lineTotal;
    if (linesLeft != 0 && ((request->options & kDmaStepEachLine) != 0 ? state.offset == 0 : regionDone))
      ok = NextRegion(request, states, regionCount, &current);
  }
  free_pool_with_tag(states, kTagDmaTable);
  return ok;
}

QelHwStatus DmaCopyChainToBoard(YatBoardExtension* board, YatBucketHeader* chain) {
  if (chain == nullptr) return QELHW_OK;
  YatBucketHeader* bucket = chain;
  while (bucket->previous != 0) bucket = reinterpret_cast<YatBucketHeader*>(bucket->previous);
  if (bucket->base == kBucketSystemMemory || bucket->base == kBucketMemoryDriver) return QELHW_OK;
  QelHwStatus status = QELHW_OK;
  for (; bucket != nullptr && status == QELHW_OK; bucket = reinterpret_cast<YatBucketHeader*>(bucket->next)) {
    // The engine is taken bucket by bucket: a long chain lets other memory jobs in between.
    YatMutexHold engine(&board->onboardMemoryMutex);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(bucket);
    const auto address = static_cast<std::uint32_t>(bucket->base);
    status = FpgaWriteMemory(board, address, 2048, bytes, 0);
    if (status == QELHW_OK) status = FpgaWriteMemory(board, address + 2048, 2048, bytes + 2048, 0);
  }
  return status;
}
