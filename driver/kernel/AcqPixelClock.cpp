// The kernel's own reaction to a channel's pixel clock: a lost clock stops
// the channel at once; a returning clock hands the restart of the channel's
// transfers to the channel's thread (the deferred routine never waits).
#include "driver/kernel/ChannelWork.h"
#include "driver/kernel/Channels.h"
#include "driver/kernel/MsgRouting.h"
#include "driver/kernel/ResourceManager.h"
#include "driver/kernel/StavroLog.h"

using namespace plat::kernel;

namespace {

constexpr std::uint32_t kChannelStride = 0x400;
constexpr std::uint32_t kChannelControl = 0x1010;
constexpr std::uint32_t kGrabReset = 0x3050;
constexpr std::uint32_t kIgnore = 1u << 31;
constexpr std::uint32_t kNoPixelClock = 1u << 1;
constexpr std::uint32_t kPixelClock = 1u << 2;
constexpr std::uint32_t kTraceAcquisition = 0x20;

bool Traced(YatBoardExtension* board) {
  YatManagerExtension* manager = YatBoardManager(board);
  return manager != nullptr && (manager->traceFlags & kTraceAcquisition) != 0;
}

QelHwStatus ClockLost(YatBoardExtension* board, std::uint32_t channel) {
  const std::uint32_t control = kChannelControl + channel * kChannelStride;
  QelHwStatus status = Yat_WriteReg(board, kGrabReset + channel * kChannelStride, 1);
  std::uint32_t value = 0;
  if (status == QELHW_OK) status = Yat_ReadReg(board, control, &value);
  if (status == QELHW_OK) status = Yat_WriteReg(board, control, ((value & 15u) << 24) | 4u);
  if (Traced(board)) STAVRO_LOG(kLogTrace, "%s: >QELHW_EVENT_NO_PIXEL_CLOCK");
  return status;
}

QelHwStatus ClockBack(YatBoardExtension* board, std::uint32_t channel) {
  std::uint32_t value = 0;
  QelHwStatus status = Yat_ReadReg(board, kChannelControl + channel * kChannelStride, &value);
  if (status != QELHW_OK || (value & 1u) != 0) return status;
  KernelMutex* transfers = &board->channels[channel].transferMutex;
  const std::int64_t poll = 0;
  if (wait_for_object(transfers, &poll) == plat::kStatusSuccess) {
    PostChannelRequest(board, channel, kYatChannelResetTransfers);
    release_mutex(transfers);
  }
  if (Traced(board)) STAVRO_LOG(kLogTrace, "%s: >QELHW_EVENT_PIXEL_CLOCK");
  return QELHW_OK;
}

}  // namespace

QelHwStatus YatAcqPixelClockEvent(YatBoardExtension* board, std::uint32_t channel, std::uint32_t flags) {
  if ((flags & kIgnore) != 0 || channel >= kYatChannels) return QELHW_OK;
  if ((flags & kNoPixelClock) != 0) return ClockLost(board, channel);
  if ((flags & kPixelClock) != 0) return ClockBack(board, channel);
  return QELHW_OK;
}
