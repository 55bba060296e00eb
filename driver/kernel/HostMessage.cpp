// Host DMA messages: the board's eight-word messages from the message window
// become YatTransferMessage records of the process that routed the message's
// camera slot, with the flags the transfer code reads and the merge of
// consecutive progress messages.
#include <atomic>
#include <cstring>

#include "driver/kernel/MsgRouting.h"
#include "driver/kernel/ResourceManager.h"
#include "driver/kernel/StavroLog.h"

namespace {

constexpr std::uint32_t kHostMessageWindow = 0x15000;
constexpr std::uint32_t kHostMessageWords = 8;
constexpr std::uint32_t kHostDmaStatus = 0x10014;
constexpr std::uint32_t kMessageInterruptOn = 0x1;
constexpr std::uint32_t kMessageWindowReset = 0x2;

constexpr std::uint32_t kKindMask = 0x3;
constexpr std::uint32_t kKindProgress = 0x3;
constexpr std::uint32_t kWord1Abort = 1u << 9;
constexpr std::uint32_t kWord1Start = 1u << 12;
constexpr std::uint32_t kWord1End = 1u << 13;
constexpr std::uint32_t kWord1Bit15 = 1u << 15;
constexpr std::uint32_t kWord1LastField = 1u << 20;
constexpr std::uint32_t kSplitCleared = kWord1Abort | kWord1Start | kWord1End | kWord1LastField;

constexpr std::uint32_t kFlagAbort = 1u << 31;
constexpr std::uint32_t kFlagStart = 1u << 19;
constexpr std::uint32_t kFlagEnd = 1u << 23;

std::uint32_t RouteIndex(std::uint32_t word0) { return (word0 >> 17) & 7u; }
std::uint32_t HostChannel(std::uint32_t word0) { return (word0 >> 24) & 0x3Fu; }

bool Mergeable(const void* newest, const void* record) {
  YatTransferMessage queued{};
  YatTransferMessage next{};
  std::memcpy(&queued, newest, sizeof queued);
  std::memcpy(&next, record, sizeof next);
  return (queued.word1 & kKindMask) == kKindProgress && (queued.word1 & kWord1Abort) == 0 &&
         RouteIndex(queued.word0) == RouteIndex(next.word0) && (queued.tag & 0xF0u) == (next.tag & 0xF0u);
}

// Start and end entries of a channel whose kernel notification mode is 7.
void StampStartAndEnd(YatMsgQueue* queue, const YatTransferMessage& message, std::uint32_t mask,
                      const YatChannelMessage& entry) {
  const bool endWanted = (message.word1 & kWord1End) != 0 && (mask & (1u << 23)) != 0;
  const bool startWanted = (message.word1 & kWord1Start) != 0 && (mask & (1u << 19)) != 0;
  for (bool wanted : {endWanted, startWanted}) {
    if (!wanted) continue;
    QelHwStatus status = AddMsgToFifo(queue, &entry);
    if (status != QELHW_OK) STAVRO_LOG(kLogError, "%s:  AddMsgToFifo => 0x%08X", static_cast<unsigned>(status));
  }
}

// The second plane's messages carry host channels 8 and up; they belong to
// the channel's half given by the field phase.
void ApplySplitRule(YatTransferMessage* message, const YatChannelFieldState& fields) {
  if (fields.bhChannelCount < 2) return;
  const std::uint32_t channel = HostChannel(message->word0);
  const bool secondPlane = channel >= 8;
  if (secondPlane) message->word0 = (message->word0 & ~(0x3Fu << 24)) | ((channel - 8) << 24);
  if ((secondPlane && fields.fieldPhase == 0) || (!secondPlane && fields.fieldPhase == 1))
    message->word1 &= ~kSplitCleared;
}

std::uint32_t ComputeFlags(std::uint32_t word0, std::uint32_t word1, YatChannelFieldState* fields,
                           std::uint32_t originalChannel) {
  std::uint32_t flags = 0;
  if ((word1 & kWord1Abort) != 0) flags |= kFlagAbort;
  if ((word1 & kWord1Bit15) != 0) flags |= 1u << 29;
  const bool start = (word1 & kWord1Start) != 0;
  const bool end = (word1 & kWord1End) != 0;
  const std::uint32_t half = ((fields->fieldMode == 1 && originalChannel >= 8) || fields->fieldMode == 2) ? 1 : 2;
  if (fields->fieldMode == 0) {
    if (start) flags |= kFlagStart;
    if (end) flags |= kFlagEnd;
  } else {
    if (start) flags |= (1u << 16) | (half == 1 ? 1u << 17 : 1u << 18) | (fields->startToggle == 0 ? kFlagStart : 0);
    if (end) flags |= (1u << 20) | (half == 1 ? 1u << 21 : 1u << 22) | ((word1 & kWord1LastField) ? kFlagEnd : 0);
  }
  if (start) {
    fields->lastState = fields->startToggle == 1 ? 3 : 1;
    fields->lastStartPosition = word0 & 0x1FFFFu;
    if (fields->fieldMode == 1) {
      fields->lastHalf = half;
      fields->startToggle ^= 1u;
    }
  }
  if (end) fields->lastState = fields->startToggle == 1 ? 2 : 4;
  return flags;
}

}  // namespace

QelHwStatus DecodeHostMessage(YatBoardExtension* board, std::uint64_t stamp) {
  std::uint32_t words[kHostMessageWords] = {};
  QelHwStatus status = Yat_ReadCacheDwords(board, kHostMessageWindow, words, kHostMessageWords);
  if (status != QELHW_OK) return status;
  YatTransferMessage message{};
  std::memcpy(&message, words, 5 * sizeof(std::uint32_t));
  message.words56 = static_cast<std::uint64_t>(words[5]) | static_cast<std::uint64_t>(words[6]) << 32;
  message.word7 = words[7];

  YatEventRouting* routing = YatBoardRouting(board);
  YatManagerExtension* manager = YatBoardManager(board);
  const std::uint32_t d = RouteIndex(message.word0);
  const std::uint32_t owner = routing->transferMessageOwner[d].load();
  if (owner >= kYatNoOwner) return QELHW_OK;
  message.tag = 2u + (board->boardSlot & 15u) * 16u;

  YatChannelFieldState& fields = routing->fields[d];
  const std::uint32_t mask = fields.notificationMask;
  YatMsgQueue* stampQueue = YatProcessQueue(manager, board->boardSlot, YAT_MSG_TIMESTAMP_QUEUE + d % 4);
  if (fields.notificationMode == 7 && mask != 0) {
    YatChannelMessage entry{0, 0, stamp, (board->boardSlot & 15u) * 16u + d};
    StampStartAndEnd(stampQueue, message, mask, entry);
  }
  if (mask != 0 && (message.word1 & kWord1End) != 0) {
    YatChannelMessage oldest{};
    status = GetMessageEvent(stampQueue, &oldest, true);
    if (status != QELHW_OK) STAVRO_LOG(kLogError, "%s:  GetMessageEvent => 0x%08X", static_cast<unsigned>(status));
    else message.words56 = oldest.timeStamp;
  }

  const std::uint32_t originalChannel = HostChannel(message.word0);
  ApplySplitRule(&message, fields);
  const bool mayMerge = (message.word1 & kKindMask) == kKindProgress && (message.word1 & kWord1Abort) == 0;
  message.flags = ComputeFlags(message.word0, message.word1, &fields, originalChannel);

  if ((message.flags & kFlagAbort) != 0) {
    const std::uint32_t eventOwner = routing->channelEventOwner[d].load();
    if (eventOwner < kYatNoOwner) {
      // The transfer ended in an abort: the channel is nobody's any more.
      std::atomic_ref<std::uint32_t>(board->acqOwner[d]).store(kYatNoOwner);
      status = RouteEvent(board, d, 0x2 | 0x4, eventOwner, kYatRouteKernel, false);
      if (status != QELHW_OK) return status;
    }
  }
  YatMsgQueue* queue = YatProcessQueue(manager, owner, YAT_MSG_TYPE_TRANSFER);
  if (mayMerge && ReplaceNewestMessage(queue, &message, Mergeable)) return QELHW_OK;
  if (!mayMerge && (message.flags & kFlagEnd) != 0) {
    if (fields.bhChannelCount >= 2) message.word3 *= fields.bhChannelCount;
    if ((fields.fieldMode & 1u) != 0) message.word3 *= 2;
  }
  return AddMsgToFifo(queue, &message);
}

QelHwStatus YatHostMessagesOn(YatBoardExtension* board) {
  std::uint32_t value = 0;
  QelHwStatus status = Yat_ReadReg(board, kHostDmaStatus, &value);
  if (status != QELHW_OK) return status;
  return Yat_WriteReg(board, kHostDmaStatus, kMessageInterruptOn);
}

QelHwStatus YatHostMessagesOffIfUnrouted(YatBoardExtension* board) {
  YatEventRouting* routing = YatBoardRouting(board);
  for (const auto& owner : routing->transferMessageOwner)
    if (owner.load() < kYatNoOwner) return QELHW_OK;
  QelHwStatus status = Yat_WriteReg(board, kHostDmaStatus, kMessageWindowReset);
  if (status != QELHW_OK) return status;
  return Yat_WriteReg(board, kHostDmaStatus, 0);
}
