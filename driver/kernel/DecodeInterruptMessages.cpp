// The decoder: one event source of the board's deferred routine becomes
// channel, transfer or I/O-line messages in the queues of the processes the
// source is routed to.
#include <cstring>

#include "driver/kernel/MsgRouting.h"
#include "driver/kernel/ResourceManager.h"
#include "driver/kernel/StavroLog.h"
#include "platform/kernel/time.h"

namespace {

constexpr std::uint32_t kChannelStride = 0x400;
constexpr std::uint32_t kChannelStatus = 0x106C;
constexpr std::uint32_t kEventEnables = 0x418;
constexpr std::uint32_t kTransferEventStatus = 0x126C;
constexpr std::uint32_t kIoLevels820 = 0x820;
constexpr std::uint32_t kIoLevels80C = 0x80C;
constexpr std::uint32_t kHostMessageWindow = 0x15000;
constexpr std::uint32_t kHostMessageWords = 8;

constexpr std::uint32_t kTagUnitFlag1 = 1u << 8;
constexpr std::uint32_t kTagUnitFlag2 = 1u << 9;

// How a run of channel-event sources is delivered.
struct ChannelSource {
  std::uint32_t first, last;
  std::uint32_t eventBit;
  bool stamp;
  bool timeStampCopy;
  bool needsFieldMode;  // nothing is delivered on a channel without a field mode
  std::uint32_t tagFlags;
  bool tagCarriesSource;
};

constexpr ChannelSource kChannelSources[] = {
    {267, 270, 0x4000000, true, false, false, 0, false},
    {271, 274, 0x1000000, true, true, false, 0, false},
    {352, 355, 0x8, false, false, false, 0, false},
    {368, 371, 0x10, false, false, false, 0, false},
    {416, 419, 0x20, false, false, false, 0, false},
    {420, 423, 0x80000, true, true, false, 0, false},
    {424, 427, 0x800000, true, true, false, 0, false},
    {428, 431, 0x2000000, false, false, false, 0, false},
    {432, 435, 0x30000, false, false, true, 0, false},
    {436, 439, 0x300000, false, false, true, 0, false},
    {440, 443, 0x50000, false, false, true, 0, false},
    {444, 447, 0x500000, false, false, true, 0, false},
    {448, 449, 0x10, false, false, false, kTagUnitFlag1, false},
    {452, 453, 0x10, false, false, false, kTagUnitFlag2, false},
    {464, 465, 0x800, false, false, true, 0, false},
    {576, 577, 0x2000, false, false, false, 0, true},
    {592, 593, 0x4000, false, false, false, 0, true},
    {608, 609, 0x400, false, false, false, 0, true},
};

const ChannelSource* FindChannelSource(std::uint32_t source) {
  for (const ChannelSource& entry : kChannelSources)
    if (source >= entry.first && source <= entry.last) return &entry;
  return nullptr;
}

// One channel event about to be delivered.
struct ChannelEvent {
  std::uint32_t channel;
  std::uint32_t eventBit;
  std::uint32_t statusWord;
  std::uint64_t timeStamp;
  std::uint32_t tag;
  bool timeStampCopy;
  std::uint32_t source;
};

std::uint32_t BoardBits(YatBoardExtension* board) { return (board->boardSlot & 15u) << 4; }

YatMsgQueue* TimeStampQueue(YatBoardExtension* board, std::uint32_t channel) {
  return YatProcessQueue(YatBoardManager(board), board->boardSlot, YAT_MSG_TIMESTAMP_QUEUE + channel % 4);
}

// Kernel action, message and time-stamp copy of one channel event.
QelHwStatus Deliver(YatBoardExtension* board, const ChannelEvent& event) {
  YatEventRouting* routing = YatBoardRouting(board);
  const std::uint32_t c = event.channel;
  const std::uint32_t owner = routing->channelEventOwner[c].load();
  if (owner >= kYatNoOwner) return QELHW_OK;
  if ((routing->channelKernelMask[c].load() & event.eventBit) != 0) {
    QelHwStatus status = YatAcqPixelClockEvent(board, c, event.eventBit);
    if (status != QELHW_OK) return status;
  }
  YatManagerExtension* manager = YatBoardManager(board);
  if (manager == nullptr) return QELHW_ERROR_NULL_PTR;
  YatChannelMessage message{event.eventBit, event.statusWord, event.timeStamp, event.tag};
  if ((routing->channelMessageMask[c].load() & event.eventBit) != 0) {
    QelHwStatus status = AddMsgToFifo(YatProcessQueue(manager, owner, YAT_MSG_TYPE_CHANNEL), &message);
    if (status != QELHW_OK) return status;
  }
  const YatChannelFieldState& fields = routing->fields[c];
  if (!event.timeStampCopy || c >= kYatTimeStampChannels || fields.notificationMode != 1 ||
      (fields.notificationMask & event.eventBit) == 0)
    return QELHW_OK;
  if (event.source >= 271 && event.source <= 274) message.timeStamp = YatStatusTimeStamp(board, 25 + c);
  return AddMsgToFifo(TimeStampQueue(board, c), &message);
}

QelHwStatus ReadChannelStatus(YatBoardExtension* board, std::uint32_t channel, std::uint32_t* value) {
  *value = 0;
  return Yat_ReadReg(board, kChannelStatus + channel * kChannelStride, value);
}

QelHwStatus DecodeChannelSource(YatBoardExtension* board, const ChannelSource& entry, std::uint32_t source,
                                std::uint64_t stamp) {
  const std::uint32_t c = source - entry.first;
  std::uint32_t statusWord = 0;
  QelHwStatus status = ReadChannelStatus(board, c, &statusWord);
  YatEventRouting* routing = YatBoardRouting(board);
  if (status != QELHW_OK || routing->channelEventOwner[c].load() >= kYatNoOwner) return status;
  if (entry.needsFieldMode && routing->fields[c].fieldMode == 0) return QELHW_OK;
  std::uint32_t tag = c | BoardBits(board) | entry.tagFlags;
  if (entry.tagCarriesSource) tag = source * 256 + BoardBits(board) + c;
  return Deliver(board, {c, entry.eventBit, statusWord, entry.stamp ? stamp : 0, tag, entry.timeStampCopy, source});
}

// Sources 258..260: pixel clock of a camera, lost or present.
QelHwStatus DecodePixelClock(YatBoardExtension* board, std::uint32_t source) {
  const std::uint32_t c = YatEventChannelOf(board, source);
  std::uint32_t enables = 0;
  QelHwStatus status = Yat_ReadReg(board, kEventEnables, &enables);
  if (status != QELHW_OK) return status;
  const std::uint32_t presentBit = 1u << ((source - 258) * 4);
  const std::uint32_t eventBit = (enables & presentBit) != 0 ? 0x4 : 0x2;
  return Deliver(board, {c, eventBit, 0, 0, c | BoardBits(board), false, source});
}

// Source 261: transfer events of channel 0 and of the second channel.
QelHwStatus DecodeTransferEvent(YatBoardExtension* board) {
  std::uint32_t events = 0;
  QelHwStatus status = Yat_ReadReg(board, kTransferEventStatus, &events);
  if (status != QELHW_OK) return status;
  if ((events & 0x1) != 0) {
    std::uint32_t statusWord = 0;
    status = ReadChannelStatus(board, 0, &statusWord);
    if (status == QELHW_OK) status = Deliver(board, {0, 0x200, statusWord, 0, BoardBits(board), false, 261});
    if (status != QELHW_OK) return status;
  }
  if ((events & 0x2) != 0) {
    const std::uint32_t c = YatEventChannelOf(board, 262);
    std::uint32_t statusWord = 0;
    status = ReadChannelStatus(board, c, &statusWord);
    if (status != QELHW_OK) return status;
    const std::uint32_t eventBit = c == 0 ? 0x8000000u : 0x200u;
    return Deliver(board, {c, eventBit, statusWord, 0, c | BoardBits(board), false, 261});
  }
  return QELHW_OK;
}

QelHwStatus AppendIoLine(YatBoardExtension* board, std::uint32_t owner, std::uint32_t kind, std::uint32_t level,
                         std::uint32_t line, std::uint32_t unit) {
  if (owner >= kYatNoOwner) return QELHW_OK;
  YatManagerExtension* manager = YatBoardManager(board);
  if (manager == nullptr) return QELHW_ERROR_NULL_PTR;
  YatIoLineMessage message{sizeof(YatIoLineMessage), {0, 0, 0}, kind, level, line, unit | BoardBits(board)};
  return AddMsgToFifo(YatProcessQueue(manager, owner, YAT_MSG_TYPE_IO_LINE), &message);
}

QelHwStatus DecodeIoLine(YatBoardExtension* board, std::uint32_t source) {
  YatEventRouting* routing = YatBoardRouting(board);
  std::uint32_t value = 0;
  if (source >= 320 && source <= 323) {
    const std::uint32_t line = source - 320;
    QelHwStatus status = Yat_ReadReg(board, kIoLevels820, &value);
    std::uint32_t channelStatus = 0;
    if (status == QELHW_OK) status = ReadChannelStatus(board, 0, &channelStatus);
    if (status != QELHW_OK) return status;
    const std::uint32_t level = (value & (1u << (20 + line))) != 0 ? 1 : 2;
    return AppendIoLine(board, routing->ioLineOwner[line].load(), 0, level, line, 0);
  }
  if (source >= 384 && source <= 391) {
    const std::uint32_t line = source - 384;
    QelHwStatus status = Yat_ReadReg(board, kIoLevels80C, &value);
    if (status != QELHW_OK) return status;
    const std::uint32_t level = (value & (1u << (24 + line))) != 0 ? 1 : 2;
    return AppendIoLine(board, routing->ioLineOwner[8 + line].load(), 0, level, line, 1);
  }
  QelHwStatus status = ReadChannelStatus(board, 0, &value);
  if (status != QELHW_OK) return status;
  return AppendIoLine(board, routing->ioLineOwner[0].load(), 4, 0, 0, 0);
}

}  // namespace

// Transfer messages are in HostMessage.cpp.
QelHwStatus DecodeHostMessage(YatBoardExtension* board, std::uint64_t stamp);

QelHwStatus DecodeInterruptMessages(YatBoardExtension* board, std::uint32_t source) {
  std::uint64_t stamp = plat::kernel::query_performance_counter(nullptr);
  if (board == nullptr || YatBoardRouting(board) == nullptr) return QELHW_ERROR_NULL_PTR;
  YatManagerExtension* manager = YatBoardManager(board);
  if (manager == nullptr) return QELHW_ERROR_NULL_PTR;
  if ((manager->traceFlags & kTraceEvents) != 0)
    STAVRO_LOG(kLogTrace, "%s: DecodeInterruptMessages => Board(%d) event %u", static_cast<int>(board->boardSlot),
               source);
  if (source == 256) return DecodeHostMessage(board, stamp);
  if (source >= 258 && source <= 260) return DecodePixelClock(board, source);
  if (source == 261) return DecodeTransferEvent(board);
  if ((source >= 320 && source <= 323) || (source >= 384 && source <= 391) || source == 400)
    return DecodeIoLine(board, source);
  const ChannelSource* entry = FindChannelSource(source);
  if (entry == nullptr) return QELHW_OK;
  return DecodeChannelSource(board, *entry, source, stamp);
}

QelHwStatus YatIoLineDispatch(YatBoardExtension* board, std::uint32_t latched) {
  QelHwStatus status = QELHW_OK;
  for (std::uint32_t bit = 0; bit < 8; ++bit) {
    if ((latched & (1u << bit)) == 0) continue;
    QelHwStatus one = DecodeInterruptMessages(board, 384 + bit);
    if (status == QELHW_OK) status = one;
  }
  if ((latched & (1u << 16)) != 0) {
    QelHwStatus one = DecodeInterruptMessages(board, 400);
    if (status == QELHW_OK) status = one;
  }
  return status;
}
