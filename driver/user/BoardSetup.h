// FPGA board set-up and time base: the front-end initialisation of a new
// acquisition handle, the main ticks, the acquisition window, the strobe
// option, the grab-controller word 0x1024, the link speed, the firmware
// identifier and the memory-bank selection that follows every load and reset.
#pragma once

#include <cstdint>

#include "driver/user/Pardow.h"
#include "driver/user/YatSharedData.h"

QelHwStatus Yat_FPGA_GetPciSpeed(std::uint32_t board, std::uint32_t* speed);
QelHwStatus Yat_FPGA_GetFirmwareId(std::uint32_t board, std::uint32_t* id);
QelHwStatus Yat_FPGA_SetMemoryBank(std::uint32_t board);
QelHwStatus Yat_FPGA_FrontEndInit(YatAcqHandle* handle);
QelHwStatus Yat_FPGA_SetWindow(YatAcqHandle* handle, std::uint32_t x, std::uint32_t y, std::uint32_t width,
                               std::uint32_t height);
QelHwStatus Yat_FPGA_SetStrobeOption(YatAcqHandle* handle, const void* strobeRecord);
// The two writers of register 0x1024: its low byte, or its upper 16 bits.
QelHwStatus Yat_FPGA_SetGrabCtrlLowByte(YatAcqHandle* handle, std::uint32_t value);
QelHwStatus Yat_FPGA_SetGrabCtrlHighWord(YatAcqHandle* handle, std::uint32_t value);
