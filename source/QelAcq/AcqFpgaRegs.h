// Thin FPGA register access for the acquisition module (FPGA 0 of a board),
// every board-library status through TranslateStatus. Detection and the
// board-private commands reach the board's registers only through these
// (with AcqFpgaInitialize of AcqDetect.h).
#pragma once

#include <cstdint>
#include <span>

#include "driver/user/Pardow.h"
#include "source/QelAPI/QelStatus.h"

QelStatus FpgaReadReg(std::uint32_t board, std::uint32_t reg, std::uint32_t* out);
QelStatus FpgaWriteReg(std::uint32_t board, std::uint32_t reg, std::uint32_t value);
QelStatus FpgaWriteBlock(std::uint32_t board, std::span<const YatRegisterPairs> pairs);
QelStatus FpgaSetBitReg(std::uint32_t board, std::uint32_t reg, std::uint32_t value, std::uint32_t mask);
