// Configuration of the board's FPGAs through their serial ports (a board
// register driven bit by bit), the main FPGA's logic reset, and the stop of
// the board before its main FPGA is reconfigured.
#pragma once

#include <cstdint>

#include "driver/kernel/YatExtensions.h"
#include "platform/kernel/files.h"

inline constexpr std::uint32_t kYatFpgaMain = 0;
inline constexpr std::uint32_t kYatFpgaXio = 1;
inline constexpr std::uint32_t kYatFpgaExpansion = 2;
// No FPGA of the board takes an image larger than the 4 MiB flash its
// configuration boots from; a longer image or file is refused (-3) before a
// bit of it is sent.
inline constexpr std::uint64_t kYatMaxBitstreamBytes = 4u << 20;

// What FPGA_load works from: the request's record with its file name made
// safe (always terminated inside the 256 bytes).
struct YatFpgaLoadArgs {
  std::uint32_t fpgaId;
  char fileName[256];
  std::uint64_t imageAddress;  // in the caller's memory
  std::uint32_t imageSize;
};

// Program line away from its idle level, 5 ms, back, 5 ms.
QelHwStatus YatBoardControlPulse(YatBoardExtension* board, std::uint32_t fpgaId);
// The image is read from the caller's memory (-13 when it cannot be).
QelHwStatus FPGAsLoad(YatBoardExtension* board, std::uint32_t fpgaId, std::uint64_t imageAddress,
                      std::uint32_t imageSize);
// Sends the file's bytes, and nothing beyond them.
QelHwStatus FPGAsLoadFromFile(YatBoardExtension* board, std::uint32_t fpgaId, plat::kernel::KernelFile* file);
QelHwStatus FPGA_load(YatBoardExtension* board, const YatFpgaLoadArgs& args);
QelHwStatus YatUnloadFpga(YatBoardExtension* board, std::uint32_t fpgaId);
QelHwStatus Yat_ResetVirtex(YatBoardExtension* board);
// Interrupt sources stopped (when the register map runs) and the main FPGA's board control pulsed.
QelHwStatus YatStopBoard(YatBoardExtension* board);
