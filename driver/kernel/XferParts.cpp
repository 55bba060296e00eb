// The AL, LB and BH parts of a transfer: a DMA table per element (or per
// buffer) and one 32-byte buffer-list entry per buffer, each channel's
// entries linked into a ring that the board's DMA engine walks.
#include <cstring>

#include "driver/kernel/KernelServices.h"
#include "driver/kernel/MsgRouting.h"
#include "driver/kernel/OnboardMemoryAccess.h"
#include "driver/kernel/ResourceManager.h"
#include "driver/kernel/StavroGlobals.h"
#include "driver/kernel/StavroLog.h"
#include "driver/kernel/XferObjects.h"
#include "platform/kernel/client.h"
#include "platform/kernel/memory.h"

using namespace plat::kernel;

namespace {

constexpr std::uint32_t kTagArrays = StavroPoolTag('X');
constexpr std::uint32_t kRegDmaVersion = 0x10018;
constexpr std::uint64_t kBelow4GB = 0xFFFFFFFFull;
constexpr std::uint32_t kPage = 4096;
constexpr std::uint32_t kMaxNested = 65536;  // sources, regions, lines, pieces of one element
constexpr std::uint32_t kMaxLineRecords = 4096;  // each window line looks through all of them

// A zero-filled pool copy of a nested array of the caller.
template <typename T>
class CallerArray {
 public:
  CallerArray(std::uint64_t address, std::uint32_t count) : count_(count) {
    if (count == 0) return;
    if (count > kMaxNested || address == 0) {
      failed_ = true;
      return;
    }
    data_ = static_cast<T*>(allocate_pool(PoolType::kPaged, sizeof(T) * count, kTagArrays));
    if (data_ == nullptr || !plat::nt_success(copy_from_caller(address, data_, sizeof(T) * count))) failed_ = true;
  }
  ~CallerArray() {
    if (data_ != nullptr) free_pool_with_tag(data_, kTagArrays);
  }
  CallerArray(const CallerArray&) = delete;
  CallerArray& operator=(const CallerArray&) = delete;
  bool ok() const { return !failed_; }
  const T* get() const { return data_; }
  const T& operator[](std::uint32_t i) const { return data_[i]; }
  std::uint32_t count() const { return count_; }

 private:
  std::uint32_t count_;
  T* data_ = nullptr;
  bool failed_ = false;
};

// A new entry of the part's buffer-list chain linked behind the channel's
// last one and back to its list start; null with the status set on failure.
std::uint32_t* AppendEntry(YatBoardExtension* board, YatXferPart* part, YatChannelInfo* channel, std::uint32_t kind,
                           std::uint32_t code, const char* who, QelHwStatus* status) {
  auto* entry = static_cast<std::uint32_t*>(GDrv_GetNextBucketObjectEx(board, &part->bufferList, kind, YAT_ENTRY_BYTES, code));
  if (entry == nullptr) {
    STAVRO_LOG(kLogError, "%s: >%s< Can't get memory for buffer list", who);
    *status = QELHW_ERROR_INSUFFICIENT_MEMORY;
    return nullptr;
  }
  const std::uint64_t address = GetBucketPhysicalAddress(board, &part->bufferList, entry);
  if (address == 0) {
    STAVRO_LOG(kLogError, "%s: >%s< Can't get buffer list physical address", who);
    *status = QELHW_ERROR_PARAMETER_INVALID;
    return nullptr;
  }
  if (channel->listStart == 0) channel->listStart = address;
  if (channel->lastEntry != nullptr) channel->lastEntry[7] = static_cast<std::uint32_t>(address);
  entry[7] = static_cast<std::uint32_t>(channel->listStart);
  channel->lastEntry = entry;
  ++channel->bufferCount;
  return entry;
}

std::uint32_t IndexAndCamera(std::uint32_t index, std::uint32_t camera) {
  return (index & 0x1FFFF) | (camera & 7) << 17;
}

// Buffers of an acquisition channel lie in the board's memory.
QelHwStatus SourcesInside(YatBoardExtension* board, const CallerArray<YatSourceEntry>& sources, const char* who) {
  std::uint64_t memory = 0;
  const QelHwStatus status = YatOnboardMemoryBytes(board, &memory);
  if (status != QELHW_OK) return status;
  for (std::uint32_t i = 0; i < sources.count(); ++i) {
    if (sources[i].onboardAddress < memory) continue;
    STAVRO_LOG(kLogError, "%s: >%s< Buffer past the on-board memory", who);
    return QELHW_ERROR_PARAMETER_INVALID;
  }
  return QELHW_OK;
}

QelHwStatus NewTableInfo(const YatXferOwner& owner, YatXferPart* part, DmaResult*** slot, const char* who) {
  auto* info = static_cast<DmaResult**>(XferAllocateBlock(owner, sizeof(DmaResult*)));
  if (info == nullptr || !XferAddDmaInfo(part, info)) {
    STAVRO_LOG(kLogError, "%s: >%s< Can't get memory for DMA info", who);
    return QELHW_ERROR_PARAMETER_INVALID;
  }
  *slot = info;
  return QELHW_OK;
}

QelHwStatus AlElement(YatBoardExtension* board, YatXferObject* transfer, const YatXferOwner& list,
                      const YatAlElement& e) {
  CallerArray<YatAlRegion> regions(e.regions, e.regionCount);
  CallerArray<YatSourceEntry> sources(e.sources, e.sourceCount);
  if (!regions.ok() || !sources.ok()) return QELHW_ERROR_PARAMETER_INVALID;
  QelHwStatus status = YatCheckAlElement(board, e, regions.get());
  if (status == QELHW_OK) status = SourcesInside(board, sources, "CreateALXfer");
  if (status != QELHW_OK) return status;
  board->alChannelMask[transfer->acqChannel] |= 1u << (e.dmaChannel & 31);
  YatChannelInfo* channel = GetChannelInfo(&transfer->al, list, e.dmaChannel);
  if (channel == nullptr) {
    STAVRO_LOG(kLogError, "%s: >CreateALXfer< Can't get memory for channel info");
    return QELHW_ERROR_PARAMETER_INVALID;
  }
  DmaResult** info = nullptr;
  status = NewTableInfo(list, &transfer->al, &info, "CreateALXfer");
  if (status != QELHW_OK) return status;
  status = CreateALDmaDesc(board, transfer, &e, regions.get(), info);
  if (status != QELHW_OK) return status;
  const std::uint32_t perGroup = e.taps ? e.sourceCount / e.taps : 0;
  for (std::uint32_t i = 0; i < e.sourceCount; ++i) {
    std::uint32_t* entry = AppendEntry(board, &transfer->al, channel, 0, DmaOnboardCode(transfer->acqChannel),
                                       "CreateALXfer", &status);
    if (entry == nullptr) return status;
    entry[0] = static_cast<std::uint32_t>(sources[i].onboardAddress);
    entry[1] = static_cast<std::uint32_t>((*info)->head[0]);
    entry[2] = IndexAndCamera(sources[i].bufferIndex, sources[i].camera) | YAT_CONTROL_STATE | (e.controlBits & 0xF) << 28;
    const bool groupEnd = perGroup != 0 && (i + 1) % perGroup == 0 && (e.mirror == 0 || e.taps > 1);
    entry[4] = i + 1 == e.sourceCount || groupEnd ? e.tapGroupMask : 0;
  }
  GetSelectedBufferAddress(board, 0, channel, transfer->al.bufferList, YAT_ENTRY_BYTES);
  return QELHW_OK;
}

QelHwStatus LbElement(YatBoardExtension* board, YatXferObject* transfer, const YatXferOwner& list,
                      const YatLbElement& e) {
  if (e.lineCount > kMaxLineRecords) return QELHW_ERROR_PARAMETER_INVALID;
  CallerArray<YatSourceEntry> sources(e.sources, e.sourceCount);
  CallerArray<YatLbLine> lines(e.lines, e.lineCount);
  CallerArray<YatLbPiece> pieces(e.pieces, e.pieceCount);
  if (!sources.ok() || !lines.ok() || !pieces.ok()) return QELHW_ERROR_PARAMETER_INVALID;
  QelHwStatus status = YatCheckLbElement(board, e, pieces.get());
  if (status == QELHW_OK) status = SourcesInside(board, sources, "CreateLBXfer");
  if (status != QELHW_OK) return status;
  YatChannelInfo* channel = GetChannelInfo(&transfer->lb, list, e.dmaChannel);
  if (channel == nullptr) {
    STAVRO_LOG(kLogError, "%s: >CreateLBXfer< Can't get memory for channel info");
    return QELHW_ERROR_PARAMETER_INVALID;
  }
  const std::uint32_t tables = e.perSource != 0 ? e.sourceCount : 1;
  DmaResult** shared = nullptr;
  for (std::uint32_t i = 0; i < e.sourceCount || (i == 0 && tables == 1); ++i) {
    DmaResult** info = shared;
    if (info == nullptr || e.perSource != 0) {
      status = NewTableInfo(list, &transfer->lb, &info, "CreateLBXfer");
      if (status == QELHW_OK)
        status = CreateLBDmaDesc(board, transfer, &e, lines.get(), pieces.get(), e.sourceCount ? &sources[i] : nullptr, info);
      if (status != QELHW_OK) return status;
      shared = info;
    }
    if (i >= e.sourceCount) break;
    std::uint32_t* entry = AppendEntry(board, &transfer->lb, channel, 0, DmaOnboardCode(transfer->acqChannel),
                                       "CreateLBXfer", &status);
    if (entry == nullptr) return status;
    entry[0] = static_cast<std::uint32_t>(sources[i].onboardAddress);
    entry[1] = static_cast<std::uint32_t>((*info)->head[0]);
    entry[2] = IndexAndCamera(sources[i].bufferIndex, sources[i].camera) | (e.controlBits & 0xF) << 28;
    entry[3] = e.notifyMask;
    if (e.pieceCount != 0) {
      const YatLbPiece& last = pieces[e.pieceCount - 1];
      entry[4] = last.channelMask | static_cast<std::uint32_t>(last.kindBits) << 16;
    }
  }
  GetSelectedBufferAddress(board, 0, channel, transfer->lb.bufferList, YAT_ENTRY_BYTES);
  return QELHW_OK;
}

// ---- BH ----

YatBhBufferRecord ReadBufferRecord(const YatBhElement& e, std::uint32_t i, bool narrow, QelHwStatus* status) {
  YatBhBufferRecord record{};
  if (!narrow) {
    if (!plat::nt_success(copy_from_caller(e.buffers + i * std::uint64_t{sizeof record}, &record, sizeof record)))
      *status = QELHW_ERROR_PARAMETER_INVALID;
    return record;
  }
  YatBhBufferRecord32 small{};
  if (!plat::nt_success(copy_from_caller(e.buffers + i * std::uint64_t{sizeof small}, &small, sizeof small))) {
    *status = QELHW_ERROR_PARAMETER_INVALID;
    return record;
  }
  std::memcpy(&record, &small, 20);
  record.stateWordAddress = small.stateWordAddress;
  record.stateBit = small.stateBit;
  record.mapFailed = small.mapFailed;
  record.bufferIndex = small.bufferIndex;
  record.camera = small.camera;
  record.geometry = small.geometry;
  record.lockRecord = small.lockRecord;
  record.stepEachLine = small.stepEachLine;
  record.regionCount = small.regionCount;
  record.regions = small.regions;
  return record;
}

// The out fields go back into the caller's array in its own width.
QelHwStatus WriteBackRecord(const YatBhElement& e, std::uint32_t i, bool narrow, const YatBhBufferRecord& record) {
  bool ok = false;
  if (!narrow) {
    const std::uint64_t at = e.buffers + i * std::uint64_t{sizeof record} + offsetof(YatBhBufferRecord, stateWordAddress);
    ok = plat::nt_success(copy_to_caller(at, reinterpret_cast<const std::uint8_t*>(&record) + 20, 13));
  } else {
    std::uint8_t out[9] = {};
    const auto address = static_cast<std::uint32_t>(record.stateWordAddress);
    std::memcpy(out, &address, 4);
    std::memcpy(out + 4, &record.stateBit, 4);
    out[8] = record.mapFailed;
    ok = plat::nt_success(copy_to_caller(e.buffers + i * std::uint64_t{sizeof(YatBhBufferRecord32)} + 20, out, sizeof out));
  }
  return ok ? QELHW_OK : QELHW_ERROR_PARAMETER_INVALID;
}

// Maps the state word into the caller, sharing the mapping of the element's
// previous buffer when it covers the word.
QelHwStatus MapStateWord(YatBhDmaInfo* info, const YatBhDmaInfo* previous, std::uint64_t physical) {
  if (previous != nullptr && previous->mappedLength != 0 && physical >= previous->mappedPhysical &&
      physical + 4 <= previous->mappedPhysical + previous->mappedLength) {
    info->userAddress = previous->mappedUser + (physical - previous->mappedPhysical);
    info->mappedUser = previous->mappedUser;
    info->mappedPhysical = previous->mappedPhysical;
    info->mappedLength = previous->mappedLength;
    return QELHW_OK;
  }
  std::uint64_t length = kPage - physical % kPage;
  if (length < 8) length = 8;
  std::uint64_t user = 0, mapped = 0;
  if (!plat::nt_success(MapBuffer(physical, length, &user, &mapped)) || user == 0) {
    STAVRO_LOG(kLogError, "%s: >CreateBHXfer< User mapping error");
    return QELHW_ERROR_RESOURCE_UNAVAILABLE;
  }
  info->userAddress = user;
  info->ownsMapping = 1;
  info->mappedUser = user;
  info->mappedPhysical = physical;
  info->mappedLength = mapped;
  return QELHW_OK;
}

std::uint32_t BhControl(const YatBhBufferRecord& r, const YatBhElement& e, const YatBhHeader& header,
                        std::uint32_t element) {
  std::uint32_t control = IndexAndCamera(r.bufferIndex, r.camera) | YAT_CONTROL_STATE;
  if (header.taps <= 2 || element + 1 == header.taps) control |= 1u << 21;
  const bool keepBits = header.taps <= 2 || element + 1 == header.taps;
  if (keepBits) {
    control |= (r.readyOnly & 1) << 22 | (r.word8 & 1) << 23 | (r.endNotify & 1) << 27;
  }
  control |= (e.modeWord & 3) << YAT_CONTROL_CYCLE_SHIFT;
  control |= (r.controlBits & 0xF) << 28;
  return control;
}

QelHwStatus BhBuffer(YatBoardExtension* board, YatXferObject* transfer, const YatXferOwner& list, const YatBhHeader& header,
                     const YatBhElement& e, std::uint32_t element, std::uint32_t i, bool narrow, bool armedWord,
                     YatBhDmaInfo** previous) {
  if (e.dmaChannel >= YAT_BH_CHANNELS) {
    STAVRO_LOG(kLogError, "%s: >CreateBHXfer< Invalid channel ID");
    return QELHW_ERROR_PARAMETER_INVALID;
  }
  QelHwStatus status = QELHW_OK;
  YatBhBufferRecord record = ReadBufferRecord(e, i, narrow, &status);
  if (status != QELHW_OK) return status;
  YatChannelInfo* channel = GetChannelInfo(&transfer->bh, list, e.dmaChannel);
  if (channel == nullptr) {
    STAVRO_LOG(kLogError, "%s: >CreateBHXfer< Can't get memory for channel info");
    return QELHW_ERROR_PARAMETER_INVALID;
  }
  auto* info = static_cast<YatBhDmaInfo*>(XferAllocateBlock(list, sizeof(YatBhDmaInfo)));
  if (info == nullptr || !XferAddDmaInfo(&transfer->bh, info)) {
    STAVRO_LOG(kLogError, "%s: >CreateBHXfer< Can't get memory for DMA info");
    return QELHW_ERROR_PARAMETER_INVALID;
  }
  transfer->bhInUse = 1;
  status = CreateBHDmaDesc(board, transfer, &record, info);
  if (status != QELHW_OK) return status;
  std::uint32_t* entry = AppendEntry(board, &transfer->bh, channel, kBucketKindHost, 0, "CreateBHXfer", &status);
  if (entry == nullptr) return QELHW_ERROR_PARAMETER_INVALID;
  if (channel->listStart > kBelow4GB) return QELHW_ERROR_MEMORY_WRITE;
  info->entry = entry;
  const std::uint64_t entryPhysical = GetBucketPhysicalAddress(board, &transfer->bh.bufferList, entry);
  const std::uint64_t stateWord = entryPhysical + (armedWord ? 0 : 8);
  QelHwStatus mapped = MapStateWord(info, *previous, stateWord);
  record.stateWordAddress = mapped == QELHW_OK ? info->userAddress : 0;
  record.mapFailed = mapped == QELHW_OK ? 0 : 1;
  record.stateBit = armedWord ? 31 : 24;
  const std::uint64_t head = info->result ? info->result->head[0] : 0;
  entry[0] = YAT_ENTRY_ARMED;
  entry[1] = static_cast<std::uint32_t>(head);
  entry[2] = BhControl(record, e, header, element);
  entry[3] = static_cast<std::uint32_t>(head >> 32);
  *previous = info;
  status = WriteBackRecord(e, i, narrow, record);
  return mapped != QELHW_OK ? mapped : status;
}

void StoreHeader(YatBoardExtension* board, const YatBhHeader& header) {
  YatChannelFieldState& fields = YatBoardRouting(board)->fields[header.acqChannel];
  fields.fieldMode = header.dualMode;
  fields.bhChannelCount = header.taps;
  fields.fieldPhase = header.lastIndex;
  fields.notificationMode = header.routeFlag;
  fields.notificationMask = header.eventId;
}

}  // namespace

YatChannelInfo* GetChannelInfo(YatXferPart* part, const YatXferOwner& owner, std::uint32_t dmaChannel) {
  for (std::uint32_t i = 0; i < part->channelCount; ++i)
    if (part->channels[i]->dmaChannel == dmaChannel) return part->channels[i];
  if (part->channelCount >= YAT_BH_CHANNELS) return nullptr;
  auto* channel = static_cast<YatChannelInfo*>(XferAllocateBlock(owner, sizeof(YatChannelInfo)));
  if (channel == nullptr) return nullptr;
  channel->dmaChannel = dmaChannel;
  part->channels[part->channelCount++] = channel;
  return channel;
}

bool XferAddDmaInfo(YatXferPart* part, void* info) {
  if (part->dmaInfoCount == part->dmaInfoCapacity) {
    const std::uint32_t capacity = part->dmaInfoCapacity ? part->dmaInfoCapacity * 2 : 16;
    auto* grown = static_cast<void**>(allocate_pool(PoolType::kPaged, sizeof(void*) * capacity, kTagArrays));
    if (grown == nullptr) return false;
    if (part->dmaInfos != nullptr) {
      std::memcpy(grown, part->dmaInfos, sizeof(void*) * part->dmaInfoCount);
      free_pool_with_tag(part->dmaInfos, kTagArrays);
    }
    part->dmaInfos = grown;
    part->dmaInfoCapacity = capacity;
  }
  part->dmaInfos[part->dmaInfoCount++] = info;
  return true;
}

QelHwStatus CreateALXfer(YatBoardExtension* board, YatXferObject* transfer, const YatXferOwner& list,
                         const YatAlElement* elements, std::uint32_t count) {
  for (std::uint32_t i = 0; i < count; ++i) {
    QelHwStatus status = AlElement(board, transfer, list, elements[i]);
    if (status != QELHW_OK) return status;
  }
  return DmaCopyChainToBoard(board, transfer->al.bufferList);
}

QelHwStatus CreateLBXfer(YatBoardExtension* board, YatXferObject* transfer, const YatXferOwner& list,
                         const YatLbElement* elements, std::uint32_t count) {
  for (std::uint32_t i = 0; i < count; ++i) {
    QelHwStatus status = LbElement(board, transfer, list, elements[i]);
    if (status != QELHW_OK) return status;
  }
  return DmaCopyChainToBoard(board, transfer->lb.bufferList);
}

QelHwStatus CreateBHXfer(YatBoardExtension* board, YatXferObject* transfer, const YatXferOwner& list,
                         const YatBhHeader* header, const YatBhElement* elements, std::uint32_t count, bool narrow) {
  const std::uint32_t slot = list.slot;
  XferMutex held(board, transfer->acqChannel);
  std::uint32_t version = 0;
  Yat_ReadReg(board, kRegDmaVersion, &version);
  const bool armedWord = version >= YAT_DMA_VERSION_ARMED_WORD;
  QelHwStatus status = QELHW_OK;
  for (std::uint32_t element = 0; element < count && status == QELHW_OK; ++element) {
    const YatBhElement& e = elements[element];
    if (e.bufferCount > kMaxNested) return QELHW_ERROR_PARAMETER_INVALID;
    YatBhDmaInfo* previous = nullptr;
    for (std::uint32_t i = 0; i < e.bufferCount && status == QELHW_OK; ++i)
      status = BhBuffer(board, transfer, list, *header, e, element, i, narrow, armedWord, &previous);
  }
  if (status != QELHW_OK) return status;
  if (transfer->bh.channelCount != 0)
    GetSelectedBufferAddress(board, 0, transfer->bh.channels[0], transfer->bh.bufferList, YAT_ENTRY_BYTES);
  StoreHeader(board, *header);
  if (header->eventId != 0 && header->routeFlag == 1)
    RouteEvent(board, header->acqChannel, header->eventId, slot, kYatRouteKernel, true);
  if (header->eventId != 0 && header->acqChannel < kYatTimeStampChannels)
    ResetMsgQueue(YatProcessQueue(YatBoardManager(board), board->boardSlot, YAT_MSG_TIMESTAMP_QUEUE + header->acqChannel));
  return QELHW_OK;
}
