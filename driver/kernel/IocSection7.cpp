// Section 7: acquisition channel ownership. Before a process starts a grab it
// claims the channel: the driver then stops the channel for it should it go
// away, and runs the pixel-clock reaction of the channel on its behalf.
#include <atomic>
#include <cstring>

#include "driver/kernel/IocSections.h"
#include "driver/kernel/MsgRouting.h"
#include "driver/kernel/ProcessTable.h"
#include "driver/kernel/ResourceManager.h"
#include "platform/kernel/client.h"

namespace {

constexpr std::uint32_t kChannelStride = 0x400;
constexpr std::uint32_t kGrabReset = 0x3050;
constexpr std::uint32_t kPixelClockEvents = 0x2 | 0x4;  // lost, present

// A channel that another living process owns, or whose events another
// process receives, is not taken from it: the refused process leaves the
// owner in place, so its exit can never stop the owner's acquisition. The
// channel is busy, which is what the caller is told.
constexpr QelHwStatus kChannelInUse = QELHW_ERROR_RESOURCE_IN_USE;

struct Request {
  YatBoardExtension* board;
  std::uint32_t channel;
  std::uint32_t slot;
};

bool HeldByAnother(const Request& r) {
  const std::uint32_t owner = std::atomic_ref<std::uint32_t>(r.board->acqOwner[r.channel]).load();
  const std::uint32_t eventOwner = YatBoardRouting(r.board)->channelEventOwner[r.channel].load();
  return (owner < kYatNoOwner && owner != r.slot) || (eventOwner < kYatNoOwner && eventOwner != r.slot);
}

// The reset pulse clears whatever the channel's acquisition path still held
// from an earlier grab.
QelHwStatus Start(const Request& r) {
  if (HeldByAnother(r)) return kChannelInUse;
  std::atomic_ref<std::uint32_t>(r.board->acqOwner[r.channel]).store(r.slot);
  const std::uint32_t reset = kGrabReset + r.channel * kChannelStride;
  QelHwStatus status = Yat_WriteReg(r.board, reset, 1);
  if (status == QELHW_OK) status = Yat_WriteReg(r.board, reset, 0);
  if (status != QELHW_OK) return status;
  return RouteEvent(r.board, r.channel, kPixelClockEvents, r.slot, kYatRouteKernel, true);
}

QelHwStatus Abort(const Request& r) {
  if (HeldByAnother(r)) return kChannelInUse;
  std::atomic_ref<std::uint32_t>(r.board->acqOwner[r.channel]).store(kYatNoOwner);
  return RouteEvent(r.board, r.channel, kPixelClockEvents, r.slot, kYatRouteKernel, false);
}

QelHwStatus Serve(const YatIocContext& context) {
  const bool start = context.code == YAT_IOCTRL_KERNEL_ACQ_START;
  if (!start && context.code != YAT_IOCTRL_KERNEL_ACQ_ABORT) return QELHW_ERROR_IOC_FUNCTION;
  if (context.inputLength < sizeof(YatIocValueIn) || context.outputLength < sizeof(YatIocStatus))
    return QELHW_ERROR_IOC_BUFFER;
  if (context.board == nullptr) return QELHW_ERROR_NO_BOARD_FOUND;
  YatIocValueIn in{};
  std::memcpy(&in, context.input, sizeof in);
  // Held throughout, so that a claim and a process's clean-up never interleave.
  YatProcessTableLock lock(context.manager);
  const std::uint32_t slot =
      FindProcessSlotLocked(context.manager, static_cast<std::uint64_t>(plat::kernel::current_process_id()));
  if (slot == kYatNoProcessSlot) return QELHW_ERROR_PROCESS_NOT_REGISTERED;
  if (in.value >= kYatChannels) return QELHW_ERROR_ARG_INVALID;
  const Request request{context.board, in.value, slot};
  return start ? Start(request) : Abort(request);
}

}  // namespace

QelHwStatus Yat_Ioc_Section7(YatManagerExtension* manager, std::uint32_t code, void* input,
                             std::uint32_t inputLength, void* output, std::uint32_t outputLength) {
  YatIocContext context{};
  QelHwStatus status = YatIocEnter(&context, manager, 7, code, input, inputLength, output, outputLength);
  if (status != QELHW_OK) return YatIocAnswer(output, outputLength, status);
  return YatIocAnswer(output, outputLength, Serve(context));
}
