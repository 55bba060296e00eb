// The Camera Link front end's internal operations (acquisition handle first)
// and the helpers its modules share. Registers are byte indices in a camera's
// window unless the name says board; every access goes through the register
// primitives of the FPGA register access.
#pragma once

#include <cstdint>

#include "driver/user/Pardow.h"
#include "driver/user/YatSharedData.h"

inline constexpr QelHwStatus YAT_FE_SOFTWARE_ERROR = -14;
inline constexpr QelHwStatus YAT_FE_GRAB_RUNNING = -2013;
inline constexpr QelHwStatus YAT_FE_POCL_NO_POWER = -10705;
inline constexpr QelHwStatus YAT_FE_POCL_FAULT = -10706;

inline constexpr std::uint32_t YAT_FE_REG_ACQ_CONTROL = 0x1070;
inline constexpr std::uint32_t YAT_FE_REG_LINES = 0x1074;
inline constexpr std::uint32_t YAT_FE_REG_GRAB_STATUS = 0x1078;
inline constexpr std::uint32_t YAT_FE_REG_FRAME_COUNT = 0x1160;
inline constexpr std::uint32_t YAT_FE_REG_OPTIONS = 0x1200;
inline constexpr std::uint32_t YAT_FE_REG_ROUTING = 0x1204;
inline constexpr std::uint32_t YAT_FE_REG_TAP_MAP = 0x1208;
inline constexpr std::uint32_t YAT_FE_REG_TRIGGER_LEVEL = 0x1250;  // board
inline constexpr std::uint32_t YAT_FE_REG_TRIGGER_INVERSION = 0x126C;
inline constexpr std::uint32_t YAT_FE_REG_LUT_CONTROL = 0x5004;
inline constexpr std::uint32_t YAT_FE_LVDS_HANDLE = 0x64000013;

// Frame-trigger record (144 bytes, u32 words): the words the front end takes.
inline constexpr std::uint32_t YAT_FRAME_TRIGGER_RECORD_SIZE = 144;
inline constexpr std::uint32_t YAT_FT_WORD_ENABLE = 2;
inline constexpr std::uint32_t YAT_FT_WORD_KIND = 3;
inline constexpr std::uint32_t YAT_FT_WORD_LEVEL_MODE = 5;
inline constexpr std::uint32_t YAT_FT_WORD_ROUTING = 7;
inline constexpr std::uint32_t YAT_FT_WORD_FRAMES = 16;
inline constexpr std::uint32_t YAT_FT_WORD_DELAY_ENABLE = 19;
inline constexpr std::uint32_t YAT_FT_WORD_DELAY_UNIT = 20;
inline constexpr std::uint32_t YAT_FT_WORD_DELAY_VALUE = 21;

// Shared helpers.
// Replaces the bits of `mask` in a camera register by those of `value` (read, then write).
QelHwStatus YatFeUpdate(std::uint32_t board, std::uint32_t camera, std::uint32_t reg, std::uint32_t value,
                        std::uint32_t mask);
// True in *running while the camera's grab controller runs (grab status bit 24 set, bit 20 clear).
QelHwStatus YatFeGrabRunning(std::uint32_t board, std::uint32_t camera, bool* running);
// -1001 while the handle's grab controller runs, the read's failure, else 0.
QelHwStatus YatFeRefuseWhileGrabbing(const YatAcqHandle* handle);
// The 16-bit option word of EEPROM page 0 ("Board Model"), widened.
QelHwStatus YatFeOptionWord(std::uint32_t board, std::uint32_t* options);
// The FPGA description flags of the board's firmware record; 0 for board 16 or more.
std::uint32_t YatFeDescriptionFlags(std::uint32_t board);
bool YatFeIsLvdsBoard(std::uint32_t options);
bool YatFeIsMediumFullBoard(std::uint32_t options);

// Internal operations.
QelHwStatus Yat_FPGA_DefaultValues(YatAcqHandle* handle);
QelHwStatus Yat_Digital_PrepareAcquire(YatAcqHandle* handle);
QelHwStatus Yat_Digital_PrepareAcquireNFrames(YatAcqHandle* handle, std::uint32_t frames);
QelHwStatus Yat_FPGA_SetDataValid(YatAcqHandle* handle, std::uint32_t valid);
QelHwStatus Yat_FPGA_SetAcquireMode(YatAcqHandle* handle, std::uint32_t mode);
QelHwStatus Yat_FPGA_SetTapMap(YatAcqHandle* handle, std::uint32_t s1, std::uint32_t s2, std::uint32_t s3,
                               std::uint32_t s4);
QelHwStatus Yat_FPGA_SetCameraTaps(YatAcqHandle* handle, const std::uint32_t (&kinds)[4]);
QelHwStatus Yat_FPGA_SetFrameTrigger(YatAcqHandle* handle, const void* frameTrigger);
QelHwStatus Yat_FPGA_EnableLut(YatAcqHandle* handle, std::uint32_t enable);
QelHwStatus Yat_FPGA_SetLutFormat(YatAcqHandle* handle, std::uint32_t inputBits, std::uint32_t depth,
                                  std::uint32_t pixelFormat);

// A line trigger as the acquisition layer decodes it from its line-trigger record.
struct YatLineTriggerSettings {
  std::uint32_t timerEnabled;
  std::uint32_t timerPeriodNs;
  std::uint32_t encoder;         // non-zero: the lines follow a shaft encoder
  std::uint32_t encoderDivider;
  std::uint32_t external;        // non-zero: an external line trigger
  std::uint32_t triggerKind;
  std::uint32_t inputKinds[2];
  std::uint32_t inversion;
  std::uint32_t edge;
  std::uint32_t firstCount;
  std::uint32_t secondCount;
};
QelHwStatus Yat_FPGA_SetLineTrigger(YatAcqHandle* handle, const YatLineTriggerSettings& trigger);
