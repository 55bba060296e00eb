#include "driver/kernel/Channels.h"

#include "driver/kernel/ChannelWork.h"
#include "platform/kernel/dpc.h"
#include "platform/kernel/thread.h"

using namespace plat::kernel;

namespace {

constexpr std::uint32_t kTryAttempts = 10000;

bool TryTake(KernelMutex* mutex) {
  const std::int64_t poll = 0;
  for (std::uint32_t attempt = 0; attempt < kTryAttempts; ++attempt)
    if (wait_for_object(mutex, &poll) == plat::kStatusSuccess) return true;
  return false;
}

void ChannelTimerDpc(Dpc*, void* context, void*, void*) {
  auto* channel = static_cast<YatChannelContext*>(context);
  YatChannelTick(channel->board, channel->channel);
  YatChannel& machinery = channel->board->channels[channel->channel];
  machinery.timerFired = 1;
  if (!machinery.stopFlag) set_timer(&machinery.timer, kYatChannelTick, 0, &machinery.timerDpc);
}

void ChannelThread(void* context) {
  auto* channel = static_cast<YatChannelContext*>(context);
  YatChannel& machinery = channel->board->channels[channel->channel];
  for (;;) {
    wait_for_object(&machinery.event, nullptr);
    clear_event(&machinery.event);
    wait_for_object(&machinery.requestMutex, nullptr);
    const std::uint32_t request = machinery.requestWord;
    machinery.requestWord = 0;
    release_mutex(&machinery.requestMutex);
    if (machinery.stopFlag || request == kYatChannelStopThread) break;
    YatChannelRequest(channel->board, channel->channel, request);
  }
}

}  // namespace

void InitChannel(YatBoardExtension* board, std::uint32_t channel) {
  YatChannel& machinery = board->channels[channel];
  machinery.context = YatChannelContext{board, channel};
  initialize_dpc(&machinery.timerDpc, ChannelTimerDpc, &machinery.context);
  initialize_timer(&machinery.timer, TimerType::kSynchronization);
  initialize_event(&machinery.event, EventType::kNotification, false);
  initialize_mutex(&machinery.transferMutex);
  initialize_mutex(&machinery.requestMutex);
  machinery.stopFlag = 0;
  machinery.active = 1;
  KernelThread* thread = nullptr;
  if (create_system_thread(&thread, ChannelThread, &machinery.context) == plat::kStatusSuccess) machinery.thread = thread;
}

void ArmChannelTimer(YatBoardExtension* board, std::uint32_t channel) {
  YatChannel& machinery = board->channels[channel];
  if (machinery.active) set_timer(&machinery.timer, kYatChannelTick, 0, &machinery.timerDpc);
}

void CloseChannel(YatBoardExtension* board, std::uint32_t channel) {
  YatChannel& machinery = board->channels[channel];
  if (!machinery.active) return;
  machinery.stopFlag = 1;
  cancel_timer(&machinery.timer);
  remove_queued_dpc(&machinery.timerDpc);
  flush_queued_dpcs();  // a tick already running may have armed it again
  cancel_timer(&machinery.timer);
  if (machinery.thread != nullptr) {
    wait_for_object(&machinery.requestMutex, nullptr);
    machinery.requestWord = kYatChannelStopThread;
    set_event(&machinery.event);
    release_mutex(&machinery.requestMutex);
    wait_for_object(machinery.thread, nullptr);
    dereference_thread(machinery.thread);
    machinery.thread = nullptr;
  }
  machinery.active = 0;
}

bool PostChannelRequest(YatBoardExtension* board, std::uint32_t channel, std::uint32_t request) {
  YatChannel& machinery = board->channels[channel];
  if (!TryTake(&machinery.requestMutex)) return false;
  machinery.requestWord = request;
  set_event(&machinery.event);
  release_mutex(&machinery.requestMutex);
  return true;
}
