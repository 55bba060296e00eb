// Running a transfer: loading each DMA channel with the entry it starts from,
// switching channels on and off through the DMA channel control register,
// moving a channel's start position, and relinking or re-arming the BH list.
#include <vector>

#include "driver/kernel/ProcessTable.h"
#include "driver/kernel/ResourceManager.h"
#include "driver/kernel/StavroLog.h"
#include "driver/kernel/Timing.h"
#include "driver/kernel/XferObjects.h"
#include "platform/kernel/sync.h"

using namespace plat::kernel;

namespace {

constexpr std::uint32_t kRegChannelControl = 0x428;
constexpr std::uint32_t kRegHostDma = 0x10010;
constexpr std::uint32_t kAlBlock = 0x7000;
constexpr std::uint32_t kLbBlock = 0x7800;
constexpr std::uint32_t kBhBlock = 0x16000;
constexpr std::uint32_t kBlockStride = 0x40;
constexpr std::uint32_t kBlockWords = 16;
constexpr std::uint32_t kStartEntry = 0x1C;
constexpr std::uint32_t kStatus = 0x18;
constexpr std::uint32_t kLbReset = 0x38;
constexpr std::uint32_t kLbBufferCount = 0x3C;
constexpr std::uint32_t kLocalChannels = 8;
constexpr std::uint32_t kMaxStatusPolls = 10000;
constexpr QelHwStatus kPositionFailed = static_cast<QelHwStatus>(0xC0000000);

void TraceEntry(YatManagerExtension* manager, const char* message) {
  if (manager != nullptr && (manager->traceFlags & kTraceChannels) != 0) STAVRO_LOG(kLogTrace, message);
}

void Delay(YatBoardExtension* board) { StallNanoseconds(board->transferAbortDelay * 1000u); }

QelHwStatus WriteWord(YatBoardExtension* board, std::uint32_t offset, std::uint32_t value) {
  return Yat_WriteCacheDwords(board, offset, &value, 1);
}

QelHwStatus ClearBlock(YatBoardExtension* board, std::uint32_t base) {
  const std::uint32_t zeros[kBlockWords] = {};
  return Yat_WriteCacheDwords(board, base, zeros, kBlockWords);
}

QelHwStatus ControlBit(YatBoardExtension* board, std::uint32_t bit, bool on) {
  return Yat_SetBitsReg(board, kRegChannelControl, on ? 1u << bit : 0, 1u << bit);
}

// The AL and LB operations refuse a board that is not set up for them.
bool LocalBoardUsable(YatBoardExtension* board, const char* noBoard, const char* noDelay) {
  if (board == nullptr) {
    STAVRO_LOG(kLogError, noBoard, 0u);
    return false;
  }
  if (board->transferAbortDelay == 0) {
    STAVRO_LOG(kLogError, noDelay, static_cast<unsigned>(board->boardSlot));
    return false;
  }
  return true;
}

QelHwStatus StartLocalChannel(YatBoardExtension* board, const YatChannelInfo& channel, bool lb) {
  const std::uint32_t c = channel.dmaChannel;
  if (c >= kLocalChannels) return QELHW_ERROR_PARAMETER_INVALID;
  const std::uint32_t base = (lb ? kLbBlock : kAlBlock) + c * kBlockStride;
  const std::uint32_t low = lb ? 8 + c : c;
  QelHwStatus status = ControlBit(board, low, false);
  if (status != QELHW_OK) return status;
  Delay(board);
  if ((status = ControlBit(board, low, true)) != QELHW_OK) return status;
  if ((status = ControlBit(board, low + 16, true)) != QELHW_OK) return status;
  if ((status = ClearBlock(board, base)) != QELHW_OK) return status;
  if (lb) {
    if ((status = WriteWord(board, base + kLbReset, 0)) != QELHW_OK) return status;
    if ((status = WriteWord(board, base + kLbBufferCount, channel.bufferCount)) != QELHW_OK) return status;
  }
  return WriteWord(board, base + kStartEntry, static_cast<std::uint32_t>(channel.selectedEntry));
}

QelHwStatus AbortLocalChannel(YatBoardExtension* board, const YatChannelInfo& channel, bool lb) {
  const std::uint32_t c = channel.dmaChannel;
  if (c >= kLocalChannels) return QELHW_ERROR_PARAMETER_INVALID;
  const std::uint32_t statusRegister = (lb ? kLbBlock : kAlBlock) + c * kBlockStride + kStatus;
  std::uint32_t previous = 0xFFFFFFFF;
  for (std::uint32_t poll = 0; poll < kMaxStatusPolls; ++poll) {
    std::uint32_t value = 0;
    QelHwStatus status = Yat_ReadCacheDwords(board, statusRegister, &value, 1);
    if (status != QELHW_OK) return status;
    value &= 0xFFFFFF;
    if (value == 0 || value == previous) break;
    previous = value;
    Delay(board);
  }
  if (lb) {
    std::uint32_t value = 0;
    Yat_ReadCacheDwords(board, statusRegister, &value, 1);
  }
  const std::uint32_t low = lb ? 8 + c : c;
  QelHwStatus status = ControlBit(board, low + 16, false);
  if (status != QELHW_OK) return status;
  Delay(board);
  status = ControlBit(board, low, false);
  Delay(board);
  return status;
}

QelHwStatus AbortPart(YatManagerExtension* manager, YatXferObject* transfer, bool lb) {
  TraceEntry(manager, lb ? "%s: >AbortLBXfer< Entry" : "%s: >AbortALXfer< Entry");
  YatBoardExtension* board = transfer->board;
  if (!LocalBoardUsable(board, lb ? "%s: >AbortLBXfer< Invalid board [%08X]" : "%s: >AbortALXfer< Invalid board [%08X]",
                        lb ? "%s: >AbortLBXfer< Invalid board extension[%08X]"
                           : "%s: >AbortALXfer< Invalid board extension [%08X]"))
    return QELHW_ERROR_BOARD_INDEX;
  const YatXferPart& part = lb ? transfer->lb : transfer->al;
  for (std::uint32_t i = 0; i < part.channelCount; ++i) {
    if (part.channels[i] == nullptr) {
      STAVRO_LOG(kLogError, lb ? "%s: >AbortLBXfer< Invalid handle [%d]" : "%s: >AbortALXfer< Invalid handle [%d]",
                 static_cast<int>(i));
      return QELHW_ERROR_INVALID_HANDLE;
    }
    QelHwStatus status = AbortLocalChannel(board, *part.channels[i], lb);
    if (status != QELHW_OK) return status;
  }
  return QELHW_OK;
}

QelHwStatus StartPart(YatManagerExtension* manager, YatXferObject* transfer, bool lb) {
  TraceEntry(manager, lb ? "%s: >StartLBXfer< Entry" : "%s: >StartALXfer< Entry");
  YatBoardExtension* board = transfer->board;
  if (!LocalBoardUsable(board, lb ? "%s: >StartLBXfer< Invalid board [%08X]" : "%s: >StartALXfer< Invalid board [%08X]",
                        lb ? "%s: >StartLBXfer< Invalid board extension [%08X]"
                           : "%s: >StartALXfer< Invalid board extension [%08X]"))
    return QELHW_ERROR_BOARD_INDEX;
  const YatXferPart& part = lb ? transfer->lb : transfer->al;
  for (std::uint32_t i = 0; i < part.channelCount; ++i) {
    QelHwStatus status = StartLocalChannel(board, *part.channels[i], lb);
    if (status != QELHW_OK) return status;
  }
  return QELHW_OK;
}

QelHwStatus HostDmaBit(YatBoardExtension* board, std::uint32_t clear, std::uint32_t bit, bool on) {
  std::uint32_t value = 0;
  QelHwStatus status = Yat_ReadReg(board, kRegHostDma, &value);
  if (status != QELHW_OK) return status;
  return Yat_WriteReg(board, kRegHostDma, (value & ~clear) | 0x2000 | (on ? bit : 0));
}

struct ListEntry {
  std::uint32_t* words;
  std::uint64_t address;
};

std::vector<ListEntry> CollectEntries(YatBoardExtension* board, YatBucketHeader* chain) {
  std::vector<ListEntry> entries;
  ForEachListEntry(chain, [&](YatBucketHeader* bucket, std::uint32_t* words, std::uint32_t) {
    YatBucketHeader* at = bucket;
    entries.push_back({words, GetBucketPhysicalAddress(board, &at, words)});
  });
  return entries;
}

bool BhUsable(YatXferObject* transfer, const char* message) {
  if (transfer->board == nullptr || transfer->acqChannel >= YAT_ACQ_CHANNELS) {
    STAVRO_LOG(kLogError, message, static_cast<int>(transfer->acqChannel));
    return false;
  }
  return true;
}

}  // namespace

XferMutex::XferMutex(YatBoardExtension* board, std::uint32_t acqChannel)
    : mutex_(&board->channels[acqChannel % kYatChannels].transferMutex) {
  while (!plat::nt_success(wait_for_object(mutex_, nullptr))) {
  }
}
XferMutex::~XferMutex() { release_mutex(mutex_); }

YatBucketHeader* FirstBucketOf(YatBucketHeader* chain) {
  while (chain != nullptr && chain->previous != 0) chain = reinterpret_cast<YatBucketHeader*>(chain->previous);
  return chain;
}

QelHwStatus SetHostDmaEnable(YatBoardExtension* board, bool on) { return HostDmaBit(board, 0xDF01, 1, on); }
QelHwStatus SetHostDmaRun(YatBoardExtension* board, bool on) { return HostDmaBit(board, 0xDF02, 2, on); }

QelHwStatus StartBHXfer(YatManagerExtension* manager, YatXferObject* transfer) {
  TraceEntry(manager, "%s: >StartBHXfer< Entry");
  if (!BhUsable(transfer, "%s: >StartBHXfer< Invalid board [%d]")) return QELHW_ERROR_BOARD_INDEX;
  YatBoardExtension* board = transfer->board;
  XferMutex held(board, transfer->acqChannel);
  for (std::uint32_t i = 0; i < transfer->bh.channelCount; ++i) {
    const YatChannelInfo& channel = *transfer->bh.channels[i];
    const std::uint32_t base = kBhBlock + channel.dmaChannel * kBlockStride;
    QelHwStatus status = ClearBlock(board, base);
    if (status == QELHW_OK) status = WriteWord(board, base + kStartEntry, static_cast<std::uint32_t>(channel.selectedEntry));
    if (status != QELHW_OK) return status;
  }
  QelHwStatus status = SetHostDmaRun(board, true);
  if (status == QELHW_OK) transfer->started = 1;
  return status;
}

QelHwStatus StartLBXfer(YatManagerExtension* manager, YatXferObject* transfer) { return StartPart(manager, transfer, true); }
QelHwStatus StartALXfer(YatManagerExtension* manager, YatXferObject* transfer) { return StartPart(manager, transfer, false); }
QelHwStatus AbortALXfer(YatManagerExtension* manager, YatXferObject* transfer) { return AbortPart(manager, transfer, false); }
QelHwStatus AbortLBXfer(YatManagerExtension* manager, YatXferObject* transfer) { return AbortPart(manager, transfer, true); }

QelHwStatus GetSelectedBufferAddress(YatBoardExtension* board, std::uint32_t position, YatChannelInfo* channel,
                                     YatBucketHeader* chain, std::uint32_t entrySize) {
  if (channel == nullptr || chain == nullptr || entrySize == 0) {
    STAVRO_LOG(kLogError, "%s: >GetSelectedBufferAddress(1) < argument NULL");
    return kPositionFailed;
  }
  const std::vector<ListEntry> entries = CollectEntries(board, chain);
  std::size_t start = 0;
  while (start < entries.size() && entries[start].address != channel->listStart) ++start;
  if (start == entries.size()) {
    STAVRO_LOG(kLogError, "%s: >GetSelectedBufferAddress(2) < argument NULL");
    return kPositionFailed;
  }
  if (start + position >= entries.size()) return kPositionFailed;
  channel->selectedEntry = entries[start + position].address;
  return QELHW_OK;
}

QelHwStatus XferSetPosition(YatBoardExtension* board, YatXferObject* transfer, std::uint32_t position,
                            std::uint32_t dmaType, std::uint32_t dmaChannel) {
  if (board == nullptr || transfer == nullptr) {
    STAVRO_LOG(kLogError, "%s: >YAT_IOCTRL_XFER_POSITION_XFER< Invalid pBoardExt %x", 0u);
    return QELHW_ERROR_PARAMETER_INVALID;
  }
  YatXferPart* part = dmaType == YAT_DMA_TYPE_AL ? &transfer->al
                      : dmaType == YAT_DMA_TYPE_LB ? &transfer->lb
                      : dmaType == YAT_DMA_TYPE_BH ? &transfer->bh
                                                   : nullptr;
  if (part == nullptr) {
    STAVRO_LOG(kLogError, "%s: >YAT_IOCTRL_XFER_POSITION_XFER< Invalid DMA type %d", static_cast<int>(dmaType));
    return QELHW_ERROR_PARAMETER_INVALID;
  }
  for (std::uint32_t i = 0; i < part->channelCount; ++i) {
    if (part->channels[i] == nullptr) {
      STAVRO_LOG(kLogError, "%s: >YAT_IOCTRL_XFER_POSITION_XFER< Invalid channel info index");
      return QELHW_ERROR_PARAMETER_INVALID;
    }
    if (part->channels[i]->dmaChannel == dmaChannel)
      return GetSelectedBufferAddress(board, position, part->channels[i], part->bufferList, YAT_ENTRY_BYTES);
  }
  STAVRO_LOG(kLogError, "%s: >YAT_IOCTRL_XFER_POSITION_XFER< Channel not Initialise 0x%08x", dmaChannel);
  return QELHW_ERROR_PARAMETER_INVALID;
}

QelHwStatus SetCycleModeBHXfer(YatManagerExtension*, YatXferObject* transfer, std::uint32_t mode) {
  if (!BhUsable(transfer, "%s: >SetCycleModeBHXfer< Invalid board [%d]")) return QELHW_ERROR_BOARD_INDEX;
  if (transfer->bh.channelCount == 0) return QELHW_ERROR_INVALID_HANDLE;
  const std::uint32_t perChannel = transfer->bh.dmaInfoCount / transfer->bh.channelCount;
  if (perChannel == 0) return QELHW_ERROR_INVALID_HANDLE;
  XferMutex held(transfer->board, transfer->acqChannel);
  const std::vector<ListEntry> entries = CollectEntries(transfer->board, transfer->bh.bufferList);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    std::uint32_t* words = entries[i].words;
    if (mode == 4) {
      words[2] = (words[2] & ~(1u << 26)) | (1u << 25);
      words[7] = static_cast<std::uint32_t>(entries[i].address);
      continue;
    }
    words[2] = (words[2] & ~YAT_CONTROL_CYCLE_MASK) | (mode & 3) << YAT_CONTROL_CYCLE_SHIFT;
    std::size_t next = i + 1;
    if (next % perChannel == 0 || next >= entries.size()) next = i - i % perChannel;
    words[7] = static_cast<std::uint32_t>(entries[next].address);
  }
  return QELHW_OK;
}

QelHwStatus RearmBHXfer(YatManagerExtension*, YatXferObject* transfer) {
  if (transfer->board == nullptr) {
    STAVRO_LOG(kLogError, "%s: >SetCycleModeBHXfer< Invalid board [%d]", 0);
    return QELHW_ERROR_BOARD_INDEX;
  }
  if (transfer->bh.channelCount == 0) return QELHW_ERROR_INVALID_HANDLE;
  ForEachListEntry(transfer->bh.bufferList,
                   [](YatBucketHeader*, std::uint32_t* words, std::uint32_t) { words[0] |= YAT_ENTRY_ARMED; });
  return QELHW_OK;
}

namespace {

// Back to buffer 0 on every BH channel (each answer logged), the BH list
// armed again, then the three parts started in turn; the first failure ends it.
QelHwStatus RestartFromFirstBuffer(YatManagerExtension* manager, YatXferObject* transfer) {
  YatBoardExtension* board = transfer->board;
  QelHwStatus status = QELHW_OK;
  for (std::uint32_t i = 0; i < transfer->bh.channelCount && status == QELHW_OK; ++i) {
    const YatChannelInfo* channel = transfer->bh.channels[i];
    if (channel == nullptr) return QELHW_ERROR_PARAMETER_INVALID;
    status = XferSetPosition(board, transfer, 0, YAT_DMA_TYPE_BH, channel->dmaChannel);
    if ((manager->traceFlags & kTraceChannels) != 0)
      STAVRO_LOG(kLogTrace, "%s: >YatAcqResetXferBufferList s:%d b:%d c:%d st:%x", static_cast<int>(transfer->acqChannel),
                 0, static_cast<int>(channel->dmaChannel), static_cast<unsigned>(status));
  }
  if (status == QELHW_OK) status = RearmBHXfer(manager, transfer);
  if (status == QELHW_OK) status = StartBHXfer(manager, transfer);
  if (status == QELHW_OK) status = StartLBXfer(manager, transfer);
  if (status == QELHW_OK) status = StartALXfer(manager, transfer);
  return status;
}

}  // namespace

// Every transfer of the board and channel is restarted, whichever process
// holds it and however many there are. The channel's transfer mutex is held
// throughout, so none of them is built, freed or restarted by anyone else
// meanwhile; the process table is held only to find them.
QelHwStatus YatAcqResetXferBufferList(YatBoardExtension* board, std::uint32_t acqChannel) {
  YatManagerExtension* manager = board ? ManagerOf(board->managerDevice) : nullptr;
  if (manager == nullptr || acqChannel >= kYatChannels) return QELHW_ERROR_RESOURCE_RANGE;
  XferMutex held(board, acqChannel);
  std::vector<YatXferObject*> transfers;
  {
    YatProcessTableLock lock(manager);
    for (std::uint32_t slot = 0; slot < kYatProcessSlots; ++slot) {
      for (std::int32_t position = 0;; ++position) {
        void* payload = ListGetAt(position, &manager->processRecords[slot].transferList);
        if (payload == nullptr) break;
        YatXferObject* transfer = XferFromHandle(manager, slot, reinterpret_cast<std::uint64_t>(payload));
        if (transfer != nullptr && transfer->board == board && transfer->acqChannel == acqChannel)
          transfers.push_back(transfer);
      }
    }
  }
  QelHwStatus status = QELHW_OK;
  for (YatXferObject* transfer : transfers) status = RestartFromFirstBuffer(manager, transfer);
  return status;
}
