// The grab controller of a camera input: the routines that start, stop and
// count frames and program triggers, timers, the strobe and the double pulse.
// They work only through the context's three register callbacks, on 32
// logical registers that the acquisition handle's callbacks map onto the
// camera's FPGA registers; they keep no state beyond the context.
#pragma once

#include <cstdint>

#include "driver/user/YatSharedData.h"

inline constexpr std::uint32_t YAT_GC_LOGICAL_REGISTERS = 32;
inline constexpr std::uint32_t YAT_GC_ENDLESS = 0xFFFFFFFFu;
inline constexpr std::uint32_t YAT_GC_AUTO_TIME_BASE = 256;

// Acquisition control commands (bits 0..3 of logical register 8, and of the
// board's multi-camera register).
inline constexpr std::uint32_t YAT_GC_CMD_COUNTED = 1;
inline constexpr std::uint32_t YAT_GC_CMD_FREEZE = 2;
inline constexpr std::uint32_t YAT_GC_CMD_ABORT = 4;
inline constexpr std::uint32_t YAT_GC_CMD_CONTINUOUS = 9;

// The acquisition handle's register callbacks (the owner is the handle).
QelHwStatus GrabCtrl_ReadDataReg(void* owner, std::uint32_t logical, std::uint32_t* value);
QelHwStatus GrabCtrl_WriteDataReg(void* owner, std::uint32_t logical, std::uint32_t value);
QelHwStatus GrabCtrl_SetBitReg(void* owner, std::uint32_t logical, std::uint32_t value, std::uint32_t mask);

// Starts and stops.
QelHwStatus AcquireContinuously(YatGrabCtrlContext* context);
QelHwStatus GrabCtrl_AcquireNFrames(YatGrabCtrlContext* context, std::uint32_t frames);
QelHwStatus GrabCtrl_Freeze(YatGrabCtrlContext* context);
QelHwStatus GrabCtrl_Abort(YatGrabCtrlContext* context);

// Several cameras of one board at one instant (one write of the board's
// multi-camera register).
QelHwStatus AcquireContinuouslyMulti(YatGrabCtrlContext* const* contexts, std::uint32_t count);
QelHwStatus GrabCtrl_AcquireNFramesMulti(YatGrabCtrlContext* const* contexts, std::uint32_t count,
                                         std::uint32_t frames);
QelHwStatus GrabCtrl_FreezeMulti(YatGrabCtrlContext* const* contexts, std::uint32_t count);
QelHwStatus GrabCtrl_AbortMulti(YatGrabCtrlContext* const* contexts, std::uint32_t count);

// Set-ups.
QelHwStatus GrabCtrl_SetFrameCount(YatGrabCtrlContext* context, std::uint32_t count);
QelHwStatus GrabCtrl_FrameTriggerEnable(YatGrabCtrlContext* context, const void* frameTrigger);
QelHwStatus GrabCtrl_SoftwareTrigger(YatGrabCtrlContext* context);
QelHwStatus GrabCtrl_SetVideoFormat(YatGrabCtrlContext* context, std::uint32_t formatMode);
QelHwStatus GrabCtrl_SetCameraControlTimer(YatGrabCtrlContext* context, std::uint32_t timer, const void* record,
                                           std::uint32_t timeBase);
// The same with the time base chosen automatically.
QelHwStatus GrabCtrl_SetCameraControlTimerAuto(YatGrabCtrlContext* context, std::uint32_t timer,
                                               const void* record);
QelHwStatus GrabCtrl_SetStrobeTimer(YatGrabCtrlContext* context, const void* strobe);
QelHwStatus GrabCtrl_SetDoublePulseTimers(YatGrabCtrlContext* context, const void* doublePulse);
QelHwStatus GrabCtrl_SetModeBit1(YatGrabCtrlContext* context, std::uint32_t mode);
QelHwStatus GrabCtrl_SetModeBit2(YatGrabCtrlContext* context, std::uint32_t mode);
QelHwStatus GrabCtrl_Init(YatGrabCtrlContext* context);
QelHwStatus GrabCtrl_IsGrabActive(YatGrabCtrlContext* context, std::uint32_t* active);
QelHwStatus GrabCtrl_SetTriggerMode(YatGrabCtrlContext* context, std::uint32_t a, std::uint32_t b, std::uint32_t c);
QelHwStatus GrabCtrl_SetTriggerCount(YatGrabCtrlContext* context, std::uint32_t count);
QelHwStatus GrabCtrl_SetLineMode(YatGrabCtrlContext* context, std::uint32_t a, std::uint32_t b);
