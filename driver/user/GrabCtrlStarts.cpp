// Starting, freezing and aborting a camera's grab controller, alone or with
// the other camera of the board at one instant, and the frame count of a start.
#include "driver/user/GrabCtrl.h"

namespace {

constexpr std::uint32_t kCommandMask = 0xF;
constexpr std::uint32_t kMaxMultiContexts = YAT_MAX_CAMERA_PER_BOARD;

QelHwStatus Command(YatGrabCtrlContext* context, std::uint32_t command) {
  return GrabCtrlUpdate(context, YAT_GC_REG_ACQ_CONTROL, kCommandMask, command);
}

// Frame count, then the stop command and the start command.
QelHwStatus Start(YatGrabCtrlContext* context, std::uint32_t frames, std::uint32_t command) {
  QelHwStatus status = GrabCtrl_SetFrameCount(context, frames);
  if (status == QELHW_OK) status = Command(context, YAT_GC_CMD_FREEZE);
  if (status == QELHW_OK) status = Command(context, command);
  return status;
}

// What a synchronised command does to each camera before the one write that
// reaches them all.
enum class Prepare { kNothing, kCount, kCountAndStop };

// Prepares each context in order and collects its camera's bit; the first
// failure ends the walk. The cameras must be of one board: the one register
// written reaches that board only.
QelHwStatus PrepareAll(YatGrabCtrlContext* const* contexts, std::uint32_t count, Prepare prepare,
                       std::uint32_t frames, std::uint32_t* mask) {
  if (contexts == nullptr || count == 0 || count > kMaxMultiContexts) return QELHW_ERROR_ARG_INVALID;
  *mask = 0;
  for (std::uint32_t i = 0; i < count; ++i) {
    YatGrabCtrlContext* context = contexts[i];
    if (!GrabCtrlUsable(context) || context->camera >= YAT_MAX_CAMERA_PER_BOARD ||
        GrabCtrlOwner(context)->board != GrabCtrlOwner(contexts[0])->board)
      return QELHW_ERROR_ARG_INVALID;
    QelHwStatus status = QELHW_OK;
    if (prepare != Prepare::kNothing) status = GrabCtrl_SetFrameCount(context, frames);
    if (status == QELHW_OK && prepare == Prepare::kCountAndStop) status = Command(context, YAT_GC_CMD_FREEZE);
    if (status != QELHW_OK) return status;
    *mask |= 1u << context->camera;
  }
  return QELHW_OK;
}

QelHwStatus MultiCommand(YatGrabCtrlContext* first, std::uint32_t mask, std::uint32_t command) {
  return GrabCtrlSetBits(first, YAT_GC_REG_MULTI_CAMERA, (mask << 8) + command, YAT_GC_MULTI_CAMERA_MASK);
}

}  // namespace

QelHwStatus GrabCtrl_SetFrameCount(YatGrabCtrlContext* context, std::uint32_t count) {
  QelHwStatus status = GrabCtrlBusyCheck(context);
  if (status != QELHW_OK) return status;
  const std::uint32_t perTrigger = context->extTriggerFrameCount;
  const std::uint32_t perGroup = context->framesPerGroup;
  std::uint32_t framesPerGroup = 0;
  std::uint32_t groups = 1;
  if (count == YAT_GC_ENDLESS) {
    // Before any frame-trigger set-up there is no group size: a group is one frame.
    framesPerGroup = perTrigger >= 2 ? perTrigger : perGroup != 0 ? perGroup : 1;
  } else if (perTrigger >= 2) {
    if (count % perTrigger != 0) return QELHW_ERROR_GC_FRAME_COUNT_MULT_EXT_TRIGGER_FRAME_COUNT;
    framesPerGroup = perTrigger;
    groups = count / perTrigger;
  } else if (perGroup == 0) {
    // No frame-trigger set-up has run yet: there is no group size to divide
    // by, so the whole count is one group.
    framesPerGroup = count;
  } else {
    if (count % perGroup != 0) return QELHW_ERROR_GC_FRAME_COUNT_MULT_GROUP_FRAME_COUNT;
    framesPerGroup = perGroup;
    groups = count / perGroup;
  }
  status = GrabCtrlWrite(context, YAT_GC_REG_FRAMES_PER_GROUP, framesPerGroup);
  if (status != QELHW_OK) return status;
  return GrabCtrlWrite(context, YAT_GC_REG_GROUP_COUNT, groups);
}

QelHwStatus AcquireContinuously(YatGrabCtrlContext* context) {
  return Start(context, YAT_GC_ENDLESS, YAT_GC_CMD_CONTINUOUS);
}

QelHwStatus GrabCtrl_AcquireNFrames(YatGrabCtrlContext* context, std::uint32_t frames) {
  return Start(context, frames, YAT_GC_CMD_COUNTED);
}

QelHwStatus GrabCtrl_Freeze(YatGrabCtrlContext* context) {
  if (!GrabCtrlUsable(context)) return QELHW_ERROR_ARG_INVALID;
  return Command(context, YAT_GC_CMD_FREEZE);
}

QelHwStatus GrabCtrl_Abort(YatGrabCtrlContext* context) {
  if (!GrabCtrlUsable(context)) return QELHW_ERROR_ARG_INVALID;
  return Command(context, YAT_GC_CMD_ABORT);
}

QelHwStatus AcquireContinuouslyMulti(YatGrabCtrlContext* const* contexts, std::uint32_t count) {
  std::uint32_t mask = 0;
  const QelHwStatus status = PrepareAll(contexts, count, Prepare::kCountAndStop, YAT_GC_ENDLESS, &mask);
  if (status != QELHW_OK) return status;
  return MultiCommand(contexts[0], mask, YAT_GC_CMD_CONTINUOUS);
}

QelHwStatus GrabCtrl_AcquireNFramesMulti(YatGrabCtrlContext* const* contexts, std::uint32_t count,
                                         std::uint32_t frames) {
  std::uint32_t mask = 0;
  QelHwStatus status = PrepareAll(contexts, count, Prepare::kCount, frames, &mask);
  if (status == QELHW_OK) status = MultiCommand(contexts[0], mask, YAT_GC_CMD_FREEZE);
  if (status == QELHW_OK) status = MultiCommand(contexts[0], mask, YAT_GC_CMD_COUNTED);
  return status;
}

QelHwStatus GrabCtrl_FreezeMulti(YatGrabCtrlContext* const* contexts, std::uint32_t count) {
  std::uint32_t mask = 0;
  const QelHwStatus status = PrepareAll(contexts, count, Prepare::kNothing, 0, &mask);
  if (status != QELHW_OK) return status;
  return MultiCommand(contexts[0], mask, YAT_GC_CMD_FREEZE);
}

QelHwStatus GrabCtrl_AbortMulti(YatGrabCtrlContext* const* contexts, std::uint32_t count) {
  std::uint32_t mask = 0;
  const QelHwStatus status = PrepareAll(contexts, count, Prepare::kNothing, 0, &mask);
  if (status != QELHW_OK) return status;
  return MultiCommand(contexts[0], mask, YAT_GC_CMD_ABORT);
}
