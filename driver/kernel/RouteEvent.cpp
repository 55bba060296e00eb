// Routing of channel events: every event bit has a pending status that is
// cleared before it is enabled (so a stale event does not fire at once) and
// one board enable, switched under the register lock.
#include <array>

#include "driver/kernel/MsgRouting.h"
#include "driver/kernel/ResourceManager.h"

namespace {

constexpr std::uint32_t kMainStatus = 0x404;
constexpr std::uint32_t kAuxStatusA = 0x408;
constexpr std::uint32_t kAuxStatusB = 0x40C;
constexpr std::uint32_t kMemoryRegionEvents = 0x44C;
constexpr std::uint32_t kChannelStride = 0x400;

// Where an enable lives.
enum class Enable : std::uint8_t {
  kNone,
  kRegister,          // register, bits
  kPerChannel,        // register + channel * stride, bits
  kPixelClock,        // 0x418 bits 16..17 (channel 0) or 18..19
  kTransferEvent,     // 0x424 then 0x126C, bit 17 (channel 0) or 19 (channel 1)
  kMemoryRegion,      // interrupt mask bit 4, shared by every channel
  kMaskPerChannel,    // interrupt mask bit 8 + channel
};

struct StatusClear {
  std::uint32_t reg;  // 0: none
  std::array<std::uint32_t, 4> value;  // by channel 0..3
};

struct RouteBit {
  std::uint32_t bits;
  std::array<StatusClear, 2> clears;
  Enable enable;
  std::uint32_t enableReg;
  std::uint32_t enableBits;
  bool channel0Only;
  bool offWithoutFields;  // enabled only while the channel has a field mode
};

constexpr StatusClear kNoClear{0, {0, 0, 0, 0}};
constexpr StatusClear Clear(std::uint32_t reg, std::uint32_t c0, std::uint32_t c1, std::uint32_t c2,
                            std::uint32_t c3) {
  return {reg, {c0, c1, c2, c3}};
}
constexpr StatusClear ClearAll(std::uint32_t reg, std::uint32_t value) { return {reg, {value, value, value, value}}; }

constexpr StatusClear kClear20000 = Clear(kAuxStatusA, 0x10000, 0x20000, 0x40000, 0x80000);
constexpr StatusClear kClear40000 = Clear(kAuxStatusA, 0x1000000, 0x2000000, 0x4000000, 0x8000000);
constexpr StatusClear kClear200000 = Clear(kAuxStatusA, 0x100000, 0x200000, 0x400000, 0x800000);
constexpr StatusClear kClear400000 = Clear(kAuxStatusA, 0x10000000, 0x20000000, 0x40000000, 0x80000000);
constexpr std::uint32_t kChannelEnable = 0x116C;

// In the order the bits are walked.
constexpr RouteBit kRouteBits[] = {
    {0x6, {Clear(kMainStatus, 8, 16, 0, 0), kNoClear}, Enable::kPixelClock, 0x418, 0, false, false},
    {0x200, {ClearAll(kMainStatus, 0x80), kNoClear}, Enable::kTransferEvent, 0, 0, false, false},
    {0x8, {ClearAll(kMainStatus, 0x200), Clear(kMemoryRegionEvents, 7, 40, 0, 0)}, Enable::kMemoryRegion, 0, 0x10,
     false, false},
    {0x10, {Clear(kMainStatus, 0x400, 0x40000, 0x80000, 0x100000), kNoClear}, Enable::kMaskPerChannel, 0, 0, false,
     false},
    {0x1000000, {Clear(kMainStatus, 0x2000000, 0x4000000, 0x8000000, 0x10000000), kNoClear}, Enable::kPerChannel,
     kChannelEnable, 0x2, false, false},
    {0x8000000, {ClearAll(kMainStatus, 0x80), kNoClear}, Enable::kRegister, 0x126C, 1u << 19, true, false},
    {0x4000000, {Clear(kMainStatus, 0x8000, 0x10000, 0x200000, 0x400000), kNoClear}, Enable::kPerChannel,
     kChannelEnable, 0x1, false, false},
    {0x180, {kNoClear, kNoClear}, Enable::kNone, 0, 0, false, false},
    {0x2000000, {Clear(kAuxStatusA, 0x1000, 0x2000, 0x4000, 0x8000), kNoClear}, Enable::kPerChannel, kChannelEnable,
     1u << 5, false, false},
    {0x80000000, {ClearAll(kMainStatus, 0x1000000), kNoClear}, Enable::kRegister, 0x1280, 0x300, true, false},
    {0x20, {Clear(kAuxStatusA, 1, 2, 4, 8), kNoClear}, Enable::kPerChannel, kChannelEnable, 1u << 2, false, false},
    {0x80000, {Clear(kAuxStatusA, 0x10, 0x20, 0x40, 0x80), kNoClear}, Enable::kPerChannel, kChannelEnable, 1u << 3,
     false, false},
    {0x800000, {Clear(kAuxStatusA, 0x100, 0x200, 0x400, 0x800), kNoClear}, Enable::kPerChannel, kChannelEnable,
     1u << 4, false, false},
    {0x10000, {kClear20000, kClear40000}, Enable::kPerChannel, kChannelEnable, 1u << 7, false, true},
    {0x100000, {kClear200000, kClear400000}, Enable::kPerChannel, kChannelEnable, 1u << 8, false, true},
    {0x20000, {kClear20000, kNoClear}, Enable::kPerChannel, kChannelEnable, 1u << 7, false, false},
    {0x200000, {kClear200000, kNoClear}, Enable::kPerChannel, kChannelEnable, 1u << 8, false, false},
    {0x40000, {kClear40000, kNoClear}, Enable::kPerChannel, kChannelEnable, 1u << 7, false, false},
    {0x400000, {kClear400000, kNoClear}, Enable::kPerChannel, kChannelEnable, 1u << 8, false, false},
    {0x2000, {Clear(kAuxStatusB, 0x400, 0x800, 0, 0), kNoClear}, Enable::kPerChannel, 0x1068, 1u << 19, false, false},
    {0x400, {ClearAll(kMainStatus, 0x100), kNoClear}, Enable::kPerChannel, 0x1110, 1u << 31, false, false},
    {0x4000, {ClearAll(kMainStatus, 0x100), kNoClear}, Enable::kPerChannel, 0x1110, 1u << 30, false, false},
};

std::uint32_t ChannelOnlyBits() {
  std::uint32_t bits = 0;
  for (const RouteBit& entry : kRouteBits)
    if (entry.channel0Only) bits |= entry.bits;
  return bits;
}

QelHwStatus ClearPending(YatBoardExtension* board, const RouteBit& entry, std::uint32_t channel) {
  if (channel >= 4) return QELHW_OK;
  for (const StatusClear& clear : entry.clears) {
    if (clear.reg == 0 || clear.value[channel] == 0) continue;
    QelHwStatus status = Yat_WriteReg(board, clear.reg, clear.value[channel]);
    if (status != QELHW_OK) return status;
  }
  return QELHW_OK;
}

bool OtherChannelsWantMemoryEvents(YatEventRouting* routing, std::uint32_t channel) {
  for (std::uint32_t other = 0; other < kYatEventChannels; ++other)
    if (other != channel && (routing->channelMessageMask[other].load() & 0x8) != 0) return true;
  return false;
}

QelHwStatus SwitchEnable(YatBoardExtension* board, const RouteBit& entry, std::uint32_t channel, bool on) {
  const std::uint32_t value = on ? 0xFFFFFFFF : 0;
  switch (entry.enable) {
    case Enable::kNone: return QELHW_OK;
    case Enable::kRegister: return Yat_SetBitsReg(board, entry.enableReg, value, entry.enableBits);
    case Enable::kPerChannel:
      return Yat_SetBitsReg(board, entry.enableReg + channel * kChannelStride, value, entry.enableBits);
    case Enable::kPixelClock:
      return Yat_SetBitsReg(board, entry.enableReg, value, channel == 0 ? 0x30000u : 0xC0000u);
    case Enable::kTransferEvent: {
      if (channel > 1) return QELHW_OK;
      const std::uint32_t bit = channel == 0 ? 1u << 17 : 1u << 19;
      QelHwStatus status = Yat_SetBitsReg(board, 0x424, value, bit);
      return status != QELHW_OK ? status : Yat_SetBitsReg(board, 0x126C, value, bit);
    }
    case Enable::kMemoryRegion: return SetInterruptMask(board, value & entry.enableBits, entry.enableBits);
    case Enable::kMaskPerChannel: {
      const std::uint32_t bit = 1u << (8 + channel);
      return SetInterruptMask(board, value & bit, bit);
    }
  }
  return QELHW_OK;
}

// One bit of the walk; the enable is left on while the channel's other kind
// (or, for memory-region events, another channel) still wants it.
QelHwStatus RouteOneBit(YatBoardExtension* board, YatEventRouting* routing, const RouteBit& entry,
                        std::uint32_t channel, std::uint32_t kind, bool on) {
  if (on) {
    QelHwStatus status = ClearPending(board, entry, channel);
    if (status != QELHW_OK) return status;
    const bool enable = !(entry.offWithoutFields && routing->fields[channel].fieldMode == 0);
    return SwitchEnable(board, entry, channel, enable);
  }
  const std::uint32_t otherMask =
      kind == kYatRouteMessages ? routing->channelKernelMask[channel].load() : routing->channelMessageMask[channel].load();
  if ((otherMask & entry.bits) != 0) return QELHW_OK;
  if (entry.enable == Enable::kMemoryRegion && OtherChannelsWantMemoryEvents(routing, channel)) return QELHW_OK;
  return SwitchEnable(board, entry, channel, false);
}

void Record(YatEventRouting* routing, std::uint32_t channel, std::uint32_t kind, std::uint32_t handled,
            std::uint32_t slot, bool on) {
  std::atomic<std::uint32_t>& mask =
      kind == kYatRouteMessages ? routing->channelMessageMask[channel] : routing->channelKernelMask[channel];
  if (on) {
    mask.store(mask.load() | handled);
    routing->channelEventOwner[channel].store(slot);
    return;
  }
  mask.store(mask.load() & ~handled);
  if (routing->channelMessageMask[channel].load() == 0 && routing->channelKernelMask[channel].load() == 0)
    routing->channelEventOwner[channel].store(kYatNoOwner);
}

}  // namespace

void YatInitEventRouting(YatEventRouting* routing) {
  for (std::uint32_t c = 0; c < kYatEventChannels; ++c) {
    routing->channelEventOwner[c].store(kYatNoOwner);
    routing->channelMessageMask[c].store(0);
    routing->channelKernelMask[c].store(0);
    routing->transferMessageOwner[c].store(kYatNoOwner);
    routing->fields[c] = {};
  }
  for (auto& owner : routing->ioLineOwner) owner.store(kYatNoOwner);
}

QelHwStatus RouteEvent(YatBoardExtension* board, std::uint32_t channel, std::uint32_t eventBits, std::uint32_t slot,
                       std::uint32_t kind, bool on) {
  YatEventRouting* routing = YatBoardRouting(board);
  if (routing == nullptr) return QELHW_ERROR_NULL_PTR;
  if (slot >= kYatNoOwner || channel >= kYatEventChannels) return QELHW_ERROR_PARAMETER_INVALID;
  if (kind != kYatRouteMessages && kind != kYatRouteKernel) return QELHW_ERROR_PARAMETER_INVALID;
  if (channel != 0 && (eventBits & ChannelOnlyBits()) != 0) return QELHW_ERROR_PARAMETER_INVALID;
  const std::uint32_t owner = routing->channelEventOwner[channel].load();
  if (owner < kYatNoOwner && owner != slot) return QELHW_ERROR_PROCESS_CONNECT;

  std::uint32_t handled = 0;
  std::uint32_t walked = 0;
  QelHwStatus status = QELHW_OK;
  for (const RouteBit& entry : kRouteBits) {
    walked |= entry.bits;
    if ((eventBits & entry.bits) == 0) continue;
    status = RouteOneBit(board, routing, entry, channel, kind, on);
    if (status != QELHW_OK) break;
    handled |= entry.bits & (entry.bits == 0x6 ? 0x6u : eventBits);
  }
  // Bits without a board enable of their own are recorded as they are.
  if (status == QELHW_OK) handled |= eventBits & ~walked;
  Record(routing, channel, kind, handled, slot, on);
  return status;
}

void YatReleaseSlotRoutes(YatBoardExtension* board, std::uint32_t slot) {
  YatEventRouting* routing = YatBoardRouting(board);
  if (routing == nullptr) return;
  for (std::uint32_t c = 0; c < kYatEventChannels; ++c) {
    if (routing->channelEventOwner[c].load() != slot) continue;
    RouteEvent(board, c, routing->channelMessageMask[c].load(), slot, kYatRouteMessages, false);
    RouteEvent(board, c, routing->channelKernelMask[c].load(), slot, kYatRouteKernel, false);
  }
  for (auto& owner : routing->ioLineOwner)
    if (owner.load() == slot) owner.store(kYatNoOwner);
  bool hadTransferRoute = false;
  for (auto& owner : routing->transferMessageOwner) {
    if (owner.load() != slot) continue;
    owner.store(kYatNoOwner);
    hadTransferRoute = true;
  }
  if (hadTransferRoute) YatHostMessagesOffIfUnrouted(board);
}
