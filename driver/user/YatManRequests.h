// Manager requests that the board library keeps for itself (the exported
// ones are in Pardow.h).
#pragma once

#include <cstdint>

#include "driver/user/QelHwStatus.h"

// The driver's interface version; -3001 or -2002 when the request fails.
QelHwStatus Yat_Man_GetKernelAbiVersion(std::uint32_t* version);
// Bus, device and function as three u32; min(size, 12) bytes are copied.
QelHwStatus Yat_Man_GetPciLocation(std::uint32_t board, std::uint8_t* out, std::uint32_t size);
QelHwStatus Yat_Man_SetBoardError(std::uint32_t board, QelHwStatus error);
QelHwStatus Yat_Man_Reload(std::uint32_t board, std::uint32_t mode, std::uint32_t argument);
QelHwStatus Yat_Kernel_Acq_Start(std::uint32_t board, std::uint32_t channel);
QelHwStatus Yat_Kernel_Acq_Abort(std::uint32_t board, std::uint32_t channel);
QelHwStatus Yat_Man_InitKernelBoardManager(std::uint32_t board);
QelHwStatus Yat_Man_InitResourceManager(std::uint32_t board);
// The driver's trace flags.
QelHwStatus Yat_Man_SetDriverTraceLevel(std::uint32_t level);

// Bytes per pixel of a pixel format index 1 to 29; 0 for any other index.
std::uint32_t Yat_Format_GetBytesPerPixel(std::uint32_t format);
