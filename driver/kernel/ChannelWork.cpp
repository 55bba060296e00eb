#include "driver/kernel/ChannelWork.h"

#include "driver/kernel/Channels.h"
#include "driver/kernel/MsgRouting.h"
#include "driver/kernel/ResourceManager.h"
#include "driver/kernel/StavroLog.h"
#include "driver/kernel/XferObjects.h"
#include "platform/kernel/sync.h"

using namespace plat::kernel;

namespace {

constexpr std::uint32_t kChannelStride = 0x400;
constexpr std::uint32_t kChannelControl = 0x1010;
constexpr std::uint32_t kGrabReset = 0x3050;
constexpr std::uint32_t kStopCommand = 4;
constexpr std::uint32_t kSavedCommand = 0x0F000000;  // where a lost pixel clock parks the command
constexpr std::uint32_t kSavedCommandShift = 24;
constexpr std::uint32_t kTryAttempts = 10000;
constexpr std::uint32_t kTickSkipMask = 3;

// A tick must not replace a reset the thread has not taken yet, which would
// lose the restart of the channel. It asks no work of the thread, so it is
// left in the request word without waking it: sixteen channels ticking eight
// times a second would otherwise keep an idle host busy.
void PostTick(YatBoardExtension* board, std::uint32_t channel) {
  YatChannel& machinery = board->channels[channel];
  const std::int64_t poll = 0;
  for (std::uint32_t attempt = 0; attempt < kTryAttempts; ++attempt) {
    if (wait_for_object(&machinery.requestMutex, &poll) != plat::kStatusSuccess) continue;
    if (machinery.requestWord == 0) machinery.requestWord = kYatChannelTimerTick;
    release_mutex(&machinery.requestMutex);
    return;
  }
}

// The command the grab ran with: a lost pixel clock left it in bits 24..27
// behind a stop command.
std::uint32_t CommandToRestore(std::uint32_t control) {
  if ((control & kSavedCommand) == 0) return control;
  return (control & kSavedCommand) >> kSavedCommandShift;
}

// The channel is stopped and held in reset while its transfers go back to
// their first buffer, then released and given its command back.
QelHwStatus ResetChannelTransfers(YatBoardExtension* board, std::uint32_t channel) {
  YatManagerExtension* manager = YatBoardManager(board);
  if (manager != nullptr && (manager->traceFlags & kTraceChannels) != 0) STAVRO_LOG(kLogTrace, "%s: >_YatAcqResetXfer");
  const std::uint32_t control = kChannelControl + channel * kChannelStride;
  const std::uint32_t reset = kGrabReset + channel * kChannelStride;
  std::uint32_t value = 0;
  QelHwStatus status = Yat_ReadReg(board, control, &value);
  if (status == QELHW_OK) status = Yat_WriteReg(board, control, kStopCommand);
  if (status == QELHW_OK) status = Yat_WriteReg(board, reset, 1);
  if (status == QELHW_OK) status = YatAcqResetXferBufferList(board, channel);
  if (status == QELHW_OK) status = Yat_WriteReg(board, reset, 0);
  if (status == QELHW_OK) status = Yat_WriteReg(board, control, CommandToRestore(value));
  return status;
}

}  // namespace

// The board's flag bits count the ticks skipped while the manager is not
// linked; start-up clears their low two bits.
void YatChannelTick(YatBoardExtension* board, std::uint32_t channel) {
  if (YatBoardManager(board) != nullptr && (board->flagBits & kTickSkipMask) == 0) {
    PostTick(board, channel);
    return;
  }
  ++board->flagBits;
}

void YatChannelRequest(YatBoardExtension* board, std::uint32_t channel, std::uint32_t request) {
  if (request == kYatChannelResetTransfers) ResetChannelTransfers(board, channel);
}
