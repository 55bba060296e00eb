// FPGA register access: the board-level read, write and set-bits requests,
// their per-camera forms, register lists, processing memory and the command
// request.
#include <cstdio>

#include "driver/user/Pardow.h"
#include "driver/kernel/YatIoctl.h"
#include "driver/user/YatFpgaRequests.h"
#include "driver/user/YatLibrary.h"

namespace {

constexpr std::uint32_t kRegisterSpace = 0x18000;
constexpr std::uint32_t kCameraWindow = 1024;
constexpr std::uint32_t kProcessingAddressLimit = 0x80000000;
constexpr std::uint32_t kCmiRegister = 0x1200;
constexpr std::uint32_t kCmiParameter = 265;
constexpr std::uint32_t kCmiBit = 0x80000000;

void Trace(const char* format, auto... values) {
  if (Yat_GetDebugLevel() <= 1) return;
  char line[512];
  std::snprintf(line, sizeof line, format, values...);
  Yat_DebugTrace(line);
}

std::uint64_t AddressOf(const void* p) { return reinterpret_cast<std::uint64_t>(p); }

// Block and index lists, processing memory: one request, only the status back.
template <typename Record>
QelHwStatus SendRecord(const char* name, const char* refusal, std::uint32_t board, std::uint32_t code,
                       Record record, std::uint32_t outputSize) {
  YatIocValueOut out{};
  QelHwStatus driver;
  if (!YatFpgaSend(name, board, code, &record, sizeof record, &out, outputSize, &driver)) return driver;
  return YatFpgaRefusal(refusal, driver);
}

}  // namespace

PARDOW_API QelHwStatus Yat_ReadDataReg(std::uint32_t board, std::uint32_t reg, std::uint32_t* value) {
  if (board >= YAT_MAX_BOARD || reg >= kRegisterSpace || value == nullptr)
    return YatFpgaArgumentInvalid("Yat_ReadDataReg", board);
  YatIocValueIn in{{}, reg};
  YatIocValueOut out{};
  QelHwStatus driver;
  if (!YatFpgaSend("Yat_ReadDataReg", board, YAT_IOCTRL_READ_REG, &in, sizeof in, &out, sizeof out, &driver))
    return driver;
  *value = out.value;
  char what[40];
  std::snprintf(what, sizeof what, "Yat_ReadDataReg(%08X)", reg);
  return YatFpgaRefusal(what, driver);
}

PARDOW_API QelHwStatus Yat_WriteDataReg(std::uint32_t board, std::uint32_t reg, std::uint32_t value) {
  if (board >= YAT_MAX_BOARD || reg >= kRegisterSpace) return YatFpgaArgumentInvalid("Yat_WriteDataReg", board);
  YatIocRegisterIn in{{}, reg, value};
  YatIocStatus out{};
  QelHwStatus driver;
  if (!YatFpgaSend("Yat_WriteDataReg", board, YAT_IOCTRL_WRITE_REG, &in, sizeof in, &out, sizeof out, &driver))
    return driver;
  char what[40];
  std::snprintf(what, sizeof what, "Yat_WriteDataReg(%08X)", reg);
  return YatFpgaRefusal(what, driver);
}

PARDOW_API QelHwStatus Yat_SetBitReg(std::uint32_t board, std::uint32_t reg, std::uint32_t value, std::uint32_t mask) {
  if (board >= YAT_MAX_BOARD || reg >= kRegisterSpace) return YatFpgaArgumentInvalid("Yat_SetBitReg", board);
  YatIocSetBitsIn in{{}, reg, value, mask};
  YatIocStatus out{};
  QelHwStatus driver;
  if (!YatFpgaSend("Yat_SetBitReg", board, YAT_IOCTRL_SET_BITS_REG, &in, sizeof in, &out, sizeof out, &driver))
    return driver;
  Trace("b%d, regIndex = 0x%8x, data =(0x%08x) mask = 0x%08X\n", static_cast<int>(board), reg, value, mask);
  char what[40];
  std::snprintf(what, sizeof what, "Yat_SetBitReg(%X)", reg);
  return YatFpgaRefusal(what, driver);
}

PARDOW_API QelHwStatus Yat_FPGA_ReadDataReg(std::uint32_t board, std::uint32_t camera, std::uint32_t reg,
                                            std::uint32_t* value) {
  const std::uint32_t index = camera * kCameraWindow + reg;
  std::uint32_t read = 0;
  const QelHwStatus status = Yat_ReadDataReg(board, index, &read);
  if (value != nullptr) *value = read;
  Trace("b%d, regIndex = 0x%8x, data =(0x%08x)\n", static_cast<int>(board), index, read);
  return status;
}

PARDOW_API QelHwStatus Yat_FPGA_WriteDataReg(std::uint32_t board, std::uint32_t camera, std::uint32_t reg,
                                             std::uint32_t value) {
  const std::uint32_t index = camera * kCameraWindow + reg;
  Trace("B%d, regIndex = 0x%8x, data = 0x%08x\n", static_cast<int>(board), index, value);
  return Yat_WriteDataReg(board, index, value);
}

PARDOW_API QelHwStatus Yat_FPGA_SetBitReg(std::uint32_t board, std::uint32_t camera, std::uint32_t reg,
                                          std::uint32_t value, std::uint32_t mask) {
  const std::uint32_t index = camera * kCameraWindow + reg;
  Trace("B%d, regIndex = 0x%8x, data = 0x%08x, mask = 0x%08x\n", static_cast<int>(board), index, value, mask);
  return Yat_SetBitReg(board, index, value, mask);
}

PARDOW_API QelHwStatus Yat_FPGA_WriteDataBlock(std::uint32_t board, std::uint32_t camera, const YatRegisterPairs* pairs,
                                               std::uint32_t count) {
  if (pairs == nullptr && count != 0) return YatFpgaArgumentInvalid("Yat_WriteDataReg", board);
  for (std::uint32_t i = 0; i < count; ++i) {
    const QelHwStatus status = Yat_FPGA_WriteDataReg(board, camera, pairs[i].reg, pairs[i].value);
    if (status != QELHW_OK) return status;
  }
  return QELHW_OK;
}

PARDOW_API QelHwStatus Yat_FPGA_ReadBlockReg(std::uint32_t board, YatRegisterPairs* pairs, std::uint32_t count) {
  if (board >= YAT_MAX_BOARD) return YatFpgaArgumentInvalid("Yat_ReadDataReg", board);
  if (pairs == nullptr || count == 0) return YatFpgaArgumentInvalid("Yat_ReadBlockReg", board);
  return SendRecord("Yat_ReadBlockReg", "Yat_ReadBlockReg()", board, YAT_IOCTRL_READ_BLOCK_REG,
                    YatIocRegisterListIn{{}, AddressOf(pairs), count}, sizeof(YatIocValueOut));
}

PARDOW_API QelHwStatus Yat_FPGA_WriteBlockReg(std::uint32_t board, const YatRegisterPairs* pairs,
                                              std::uint32_t count) {
  if (board >= YAT_MAX_BOARD || pairs == nullptr || count == 0)
    return YatFpgaArgumentInvalid("Yat_WriteBlockReg", board);
  return SendRecord("Yat_WriteBlockReg", "Yat_WriteBlockReg()", board, YAT_IOCTRL_WRITE_BLOCK_REG,
                    YatIocRegisterListIn{{}, AddressOf(pairs), count}, sizeof(YatIocStatus));
}

PARDOW_API QelHwStatus Yat_FPGA_ReadBlockIndexReg(std::uint32_t board, std::uint32_t index, YatRegisterPairs* buffer,
                                                  std::uint32_t count) {
  if (board >= YAT_MAX_BOARD || buffer == nullptr || count == 0)
    return YatFpgaArgumentInvalid("Yat_FPGA_ReadBlockIndexReg", board);
  return SendRecord("Yat_FPGA_ReadBlockIndexReg", "Yat_FPGA_ReadBlockIndexReg()", board,
                    YAT_IOCTRL_READ_BLOCK_INDEX_REG, YatIocIndexListIn{{}, AddressOf(buffer), count, index},
                    sizeof(YatIocValueOut));
}

PARDOW_API QelHwStatus Yat_FPGA_WriteBlockIndexReg(std::uint32_t board, std::uint32_t index,
                                                   const YatRegisterPairs* buffer, std::uint32_t count) {
  if (board >= YAT_MAX_BOARD || buffer == nullptr || count == 0)
    return YatFpgaArgumentInvalid("Yat_FPGA_WriteBlockIndexReg", board);
  return SendRecord("Yat_FPGA_WriteBlockIndexReg", "Yat_FPGA_WriteBlockIndexReg()", board,
                    YAT_IOCTRL_WRITE_BLOCK_INDEX_REG, YatIocIndexListIn{{}, AddressOf(buffer), count, index},
                    sizeof(YatIocStatus));
}

PARDOW_API QelHwStatus Yat_Processing_Memory_Read(std::uint32_t board, std::uint32_t unit, std::uint32_t address,
                                                  std::uint32_t* buffer, std::uint32_t count) {
  if (board >= YAT_MAX_BOARD || buffer == nullptr || address >= kProcessingAddressLimit)
    return YatFpgaArgumentInvalid("Yat_Processing_Memory_Read", board);
  char what[48];
  std::snprintf(what, sizeof what, "Yat_Processing_Memory_Read(%08X)", address);
  return SendRecord("Yat_Processing_Memory_Read", what, board, YAT_IOCTRL_READ_PROCESSING_MEMORY,
                    YatIocProcessingReadIn{{}, unit, address, count, AddressOf(buffer)}, sizeof(YatIocStatus));
}

PARDOW_API QelHwStatus Yat_Processing_Memory_Write(std::uint32_t board, std::uint32_t unit, std::uint32_t address,
                                                   const std::uint32_t* data, std::uint32_t count) {
  if (board >= YAT_MAX_BOARD || data == nullptr || address >= kProcessingAddressLimit)
    return YatFpgaArgumentInvalid("Yat_Processing_Memory_Write", board);
  char what[48];
  std::snprintf(what, sizeof what, "Yat_Processing_Memory_Write(%08X)", address);
  const QelHwStatus status =
      SendRecord("Yat_Processing_Memory_Write", what, board, YAT_IOCTRL_WRITE_PROCESSING_MEMORY,
                 YatIocProcessingWriteIn{{}, unit, address, AddressOf(data), count}, sizeof(YatIocStatus));
  if (status == QELHW_OK && Yat_GetDebugLevel() > 1) {
    for (std::uint32_t i = 0; i < count; ++i) {
      char line[256];
      std::snprintf(line, sizeof line, "Processing Write [0x%04X]=0x%08X\n", address + 4 * i, data[i]);
      Yat_DebugTrace(line);
    }
  }
  return status;
}

PARDOW_API QelHwStatus Yat_WriteCmd(std::uint32_t board, std::uint32_t wordA, std::uint32_t wordB,
                                    std::uint32_t wordC) {
  if (board >= YAT_MAX_BOARD) return YatFpgaArgumentInvalid("Yat_WriteDataReg", board);
  if (wordB == 0) return YatFpgaArgumentInvalid("Yat_WriteCmd", board);
  char what[40];
  std::snprintf(what, sizeof what, "Yat_WriteDataReg(%08X)", wordB);
  return SendRecord("Yat_WriteCmd", what, board, YAT_IOCTRL_WRITE_CMD, YatIocWriteCmdIn{{}, wordA, wordB, wordC},
                    sizeof(YatIocStatus));
}

PARDOW_API QelHwStatus Yat_FPGA_Custom_Cmi_SetPrm(std::uint32_t board, std::uint32_t camera, std::uint32_t parameter,
                                                  std::uint32_t, std::uint32_t value) {
  if (parameter != kCmiParameter) return QELHW_ERROR_PARAMETER_INVALID;
  return Yat_FPGA_SetBitReg(board, camera, kCmiRegister, value != 0 ? kCmiBit : 0, kCmiBit);
}
