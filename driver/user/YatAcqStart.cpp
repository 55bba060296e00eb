// Starting and stopping grabs: the driver side is armed before the grab
// controller is started and released after it is aborted. The Ex forms start
// or stop the cameras of one board with a single write, so they begin (or end)
// on the same frame-clock tick.
#include <chrono>
#include <thread>

#include "driver/user/FrontEnd.h"
#include "driver/user/GrabCtrl.h"
#include "driver/user/YatAcqInternal.h"
#include "driver/user/YatLibrary.h"
#include "driver/user/YatManRequests.h"
#include "qellib/QelLog.h"

namespace {

// The context list of a board holds its two cameras at most.
constexpr std::uint32_t kMaxListed = YAT_MAX_CAMERA_PER_BOARD;

// Lets the frame in progress drain before the driver's channel is released.
void SettleAfterAbort() { std::this_thread::sleep_for(std::chrono::milliseconds(1)); }

// The first-handle checks of the list forms (and the list's length).
QelHwStatus CheckList(YatAcqHandle* const* handles, std::uint32_t count) {
  if (count > kMaxListed) return QELHW_ERROR_ARG_INVALID;
  if (handles == nullptr || handles[0] == nullptr) return QELHW_ERROR_ARG_INVALID;
  if (!YatAcq_TagInListRange(handles[0])) return QELHW_ERROR_NOT_SUPPORTED;
  return QELHW_OK;
}

void LogStatus(const char* format, QelHwStatus status) {
  LogPutLog(kQelLogError, __FILE__, __LINE__, format, kPardowLabel, static_cast<int>(status));
}

// Arms every camera of the list and collects its refreshed context; the N-frame
// form also prepares each front end for `frames`.
QelHwStatus ArmList(YatAcqHandle* const* handles, std::uint32_t count, const std::uint32_t* frames,
                    YatGrabCtrlContext** contexts, std::uint32_t* collected) {
  *collected = 0;
  for (std::uint32_t i = 0; i < count; ++i) {
    YatAcqHandle* handle = handles[i];
    if (!YatAcq_IsValid(handle)) return QELHW_ERROR_ARG_INVALID;
    QelHwStatus status = Yat_Kernel_Acq_Start(handle->board, handle->camera);
    if (status != QELHW_OK) return status;
    contexts[(*collected)++] = YatAcq_Refresh(handle);
    if (frames != nullptr) {
      status = Yat_Digital_PrepareAcquireNFrames(handle, *frames);
      if (status != QELHW_OK) {
        LogStatus("%s: yat AcquireNFrames:  CL_Acquire n frames failed status=%d", status);
        return status;
      }
    }
  }
  return QELHW_OK;
}

// Checks and refreshes every handle of a stop list.
QelHwStatus CollectList(YatAcqHandle* const* handles, std::uint32_t count, YatGrabCtrlContext** contexts) {
  for (std::uint32_t i = 0; i < count; ++i) {
    if (!YatAcq_IsValid(handles[i])) return QELHW_ERROR_ARG_INVALID;
    contexts[i] = YatAcq_Refresh(handles[i]);
  }
  return QELHW_OK;
}

}  // namespace

PARDOW_API QelHwStatus QelHw_Acq_AcquireVideo(YatAcqHandle* handle) {
  if (!YatAcq_IsValid(handle)) return QELHW_ERROR_ARG_INVALID;
  QelHwStatus status = Yat_Kernel_Acq_Start(handle->board, handle->camera);
  if (status != QELHW_OK) {
    LogStatus("%s: yat AcquireVideo: K_Acq_Start failed status=%d", status);
    return status;
  }
  status = Yat_Digital_PrepareAcquire(handle);
  if (status != QELHW_OK) return status;
  status = AcquireContinuously(YatAcq_Refresh(handle));
  if (status != QELHW_OK) LogStatus("%s: yat AcquireVideo: AcquireContinuously failed status=%d", status);
  return status;
}

PARDOW_API QelHwStatus QelHw_Acq_AcquireNFrames(YatAcqHandle* handle, std::uint32_t frames) {
  if (!YatAcq_IsValid(handle)) return QELHW_ERROR_ARG_INVALID;
  QelHwStatus status = Yat_Kernel_Acq_Start(handle->board, handle->camera);
  if (status != QELHW_OK) {
    LogStatus("%s: yat AcquireNFrames:  Kernel Start failedd status=%d", status);
    return status;
  }
  status = Yat_Digital_PrepareAcquireNFrames(handle, frames);
  if (status != QELHW_OK) {
    LogStatus("%s: yat AcquireNFrames:  CL_Acquire n frames failed status=%d", status);
    return status;
  }
  status = GrabCtrl_AcquireNFrames(YatAcq_Refresh(handle), frames);
  if (status != QELHW_OK) LogStatus("%s: yat AcquireNFrames:  GC_Acquire n frames failed status=%d", status);
  return status;
}

PARDOW_API QelHwStatus QelHw_Acq_AcquireVideoEx(YatAcqHandle** handles, std::uint32_t count) {
  if (count == 0) return QELHW_OK;
  const QelHwStatus checked = CheckList(handles, count);
  if (checked != QELHW_OK) return checked;
  if (count == 1) return QelHw_Acq_AcquireVideo(handles[0]);
  YatGrabCtrlContext* contexts[kMaxListed] = {};
  std::uint32_t collected = 0;
  const QelHwStatus status = ArmList(handles, count, nullptr, contexts, &collected);
  if (status != QELHW_OK || collected == 0) return status;
  return AcquireContinuouslyMulti(contexts, collected);
}

PARDOW_API QelHwStatus QelHw_Acq_AcquireNFramesEx(YatAcqHandle** handles, std::uint32_t count, std::uint32_t frames) {
  if (count == 0) return QELHW_OK;
  const QelHwStatus checked = CheckList(handles, count);
  if (checked != QELHW_OK) return checked;
  if (count == 1) return QelHw_Acq_AcquireNFrames(handles[0], frames);
  YatGrabCtrlContext* contexts[kMaxListed] = {};
  std::uint32_t collected = 0;
  const QelHwStatus status = ArmList(handles, count, &frames, contexts, &collected);
  if (status != QELHW_OK || collected == 0) return status;
  return GrabCtrl_AcquireNFramesMulti(contexts, collected, frames);
}

// The driver is not told: its channel stays armed for the next start.
PARDOW_API QelHwStatus QelHw_Acq_FreezeVideo(YatAcqHandle* handle) {
  if (!YatAcq_IsValid(handle)) return QELHW_ERROR_ARG_INVALID;
  return GrabCtrl_Freeze(YatAcq_Refresh(handle));
}

PARDOW_API QelHwStatus QelHw_Acq_FreezeVideoEx(YatAcqHandle** handles, std::uint32_t count) {
  if (count == 0) return QELHW_OK;
  const QelHwStatus checked = CheckList(handles, count);
  if (checked != QELHW_OK) return checked;
  if (count == 1) return QelHw_Acq_FreezeVideo(handles[0]);
  YatGrabCtrlContext* contexts[kMaxListed] = {};
  const QelHwStatus status = CollectList(handles, count, contexts);
  if (status != QELHW_OK) return status;
  return GrabCtrl_FreezeMulti(contexts, count);
}

PARDOW_API QelHwStatus QelHw_Acq_AbortVideo(YatAcqHandle* handle) {
  if (!YatAcq_IsValid(handle)) return QELHW_ERROR_ARG_INVALID;
  const QelHwStatus status = GrabCtrl_Abort(YatAcq_Refresh(handle));
  if (status != QELHW_OK) return status;
  SettleAfterAbort();
  return Yat_Kernel_Acq_Abort(handle->board, handle->camera);
}

PARDOW_API QelHwStatus QelHw_Acq_AbortVideoEx(YatAcqHandle** handles, std::uint32_t count) {
  if (count == 0) return QELHW_OK;
  const QelHwStatus checked = CheckList(handles, count);
  if (checked != QELHW_OK) return checked;
  if (count == 1) return QelHw_Acq_AbortVideo(handles[0]);
  YatGrabCtrlContext* contexts[kMaxListed] = {};
  QelHwStatus status = CollectList(handles, count, contexts);
  if (status == QELHW_OK) status = GrabCtrl_AbortMulti(contexts, count);
  if (status != QELHW_OK) return status;
  SettleAfterAbort();
  for (std::uint32_t i = 0; i < count && status == QELHW_OK; ++i)
    status = Yat_Kernel_Acq_Abort(handles[i]->board, handles[i]->camera);
  return status;
}
