// The grab controller of a camera input: the routines that start, stop and
// count frames and program triggers, timers, the strobe and the double pulse.
// They work only through the context's three register callbacks, on 32
// logical registers that the acquisition handle's callbacks map onto the
// camera's FPGA registers; they keep no state beyond the context.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>

#include "driver/user/YatSharedData.h"

inline constexpr std::uint32_t YAT_GC_LOGICAL_REGISTERS = 32;
inline constexpr std::uint32_t YAT_GC_ENDLESS = 0xFFFFFFFFu;
inline constexpr std::uint32_t YAT_GC_AUTO_TIME_BASE = 256;

// The output selection code of a timer's (word 7) or the strobe's (word 9)
// output: (4 - word) mod 4. The acquisition module's records name output 4,
// which selects what 0 selects; 5 and more are refused.
inline constexpr std::array<std::uint32_t, 5> YAT_GC_OUTPUT_CODE = {0, 3, 2, 1, 0};

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

// Shared by the grab-controller modules only.

// Logical registers named by their use.
inline constexpr std::uint32_t YAT_GC_REG_CAPABILITY = 0;
inline constexpr std::uint32_t YAT_GC_REG_MODE_BIT1 = 1;
inline constexpr std::uint32_t YAT_GC_REG_MODE_BIT2 = 2;
inline constexpr std::uint32_t YAT_GC_REG_GROUP_COUNT = 4;
inline constexpr std::uint32_t YAT_GC_REG_FRAMES_PER_GROUP = 5;
inline constexpr std::uint32_t YAT_GC_REG_TRIGGER_VALUE = 6;
inline constexpr std::uint32_t YAT_GC_REG_TRIGGER_CONTROL = 7;
inline constexpr std::uint32_t YAT_GC_REG_ACQ_CONTROL = 8;
inline constexpr std::uint32_t YAT_GC_REG_LINE_TRIGGER_CONTROL = 9;
inline constexpr std::uint32_t YAT_GC_REG_LINE_TRIGGER_VALUE = 10;
inline constexpr std::uint32_t YAT_GC_REG_LINE_MODE = 11;
inline constexpr std::uint32_t YAT_GC_REG_TIMER0_CONTROL = 12;  // timer 1: 16; then first, second, count
inline constexpr std::uint32_t YAT_GC_REG_STROBE_CONTROL = 20;
inline constexpr std::uint32_t YAT_GC_REG_STROBE_A = 21;
inline constexpr std::uint32_t YAT_GC_REG_STROBE_C = 22;
inline constexpr std::uint32_t YAT_GC_REG_STROBE_B = 23;
inline constexpr std::uint32_t YAT_GC_REG_TRIGGER_COUNT = 24;
inline constexpr std::uint32_t YAT_GC_REG_MULTI_CAMERA = 25;
inline constexpr std::uint32_t YAT_GC_REG_DOUBLE_PULSE_CONTROL = 26;  // pairs: 27..30
inline constexpr std::uint32_t YAT_GC_REG_TRIGGER_FILTER = 31;

// The board register behind logical register 25, and the command and camera
// fields a multi-camera write changes.
inline constexpr std::uint32_t YAT_GC_MULTI_CAMERA_REGISTER = 1096;
inline constexpr std::uint32_t YAT_GC_MULTI_CAMERA_MASK = 0x0F0F;

// The context's acquisition handle (the context lives inside it).
YatAcqHandle* GrabCtrlOwner(YatGrabCtrlContext* context);
// Not null, with its read and write callbacks set.
bool GrabCtrlUsable(const YatGrabCtrlContext* context);
// Register access of a context through this process's callbacks: a pointer
// stored in the shared context may belong to another process.
QelHwStatus GrabCtrlRead(YatGrabCtrlContext* context, std::uint32_t logical, std::uint32_t* value);
QelHwStatus GrabCtrlWrite(YatGrabCtrlContext* context, std::uint32_t logical, std::uint32_t value);
QelHwStatus GrabCtrlSetBits(YatGrabCtrlContext* context, std::uint32_t logical, std::uint32_t value,
                            std::uint32_t mask);
// Reads the logical register, replaces the bits of `mask` by those of `bits`
// and writes it back.
QelHwStatus GrabCtrlUpdate(YatGrabCtrlContext* context, std::uint32_t logical, std::uint32_t mask,
                           std::uint32_t bits);
// -1001 while a grab is reported, else the status of the question.
QelHwStatus GrabCtrlBusyCheck(YatGrabCtrlContext* context);
// Puts the timer into its registers from the record kept in its slot.
QelHwStatus GrabCtrl_ApplyTimer(YatGrabCtrlContext* context, std::uint32_t timer);
QelHwStatus GrabCtrl_ApplyStrobe(YatGrabCtrlContext* context);

// A caller's record as its u32 words (the record may sit at any address).
template <std::size_t Words>
std::array<std::uint32_t, Words> GrabCtrlWords(const void* record) {
  std::array<std::uint32_t, Words> words{};
  std::memcpy(words.data(), record, sizeof words);
  return words;
}
