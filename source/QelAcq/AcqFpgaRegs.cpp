#include "source/QelAcq/AcqFpgaRegs.h"

namespace {
constexpr std::uint32_t kFpga = 0;
}

QelStatus FpgaReadReg(std::uint32_t board, std::uint32_t reg, std::uint32_t* out) {
  return TranslateStatus(Yat_FPGA_ReadDataReg(board, kFpga, reg, out));
}

QelStatus FpgaWriteReg(std::uint32_t board, std::uint32_t reg, std::uint32_t value) {
  return TranslateStatus(Yat_FPGA_WriteDataReg(board, kFpga, reg, value));
}

QelStatus FpgaWriteBlock(std::uint32_t board, std::span<const YatRegisterPairs> pairs) {
  return TranslateStatus(
      Yat_FPGA_WriteDataBlock(board, kFpga, pairs.data(), static_cast<std::uint32_t>(pairs.size())));
}

QelStatus FpgaSetBitReg(std::uint32_t board, std::uint32_t reg, std::uint32_t value, std::uint32_t mask) {
  return TranslateStatus(Yat_FPGA_SetBitReg(board, kFpga, reg, value, mask));
}
