// The input look-up tables: loading a table into the board's LUT memory and
// the LUT control word.
#include <algorithm>
#include <cstring>
#include <vector>

#include "driver/user/FrontEnd.h"

namespace {

constexpr std::uint32_t kLutEnable = 1u << 7;
constexpr std::uint32_t kLutLoad = 1u << 31;
constexpr std::uint32_t kLutModeBits = 0x30;
constexpr std::uint32_t kPieceBytes = 512;
constexpr std::uint32_t kCacheSpace = 0x10000;
constexpr std::uint32_t kBankBytes = 2048;
constexpr std::uint32_t kMergedLutMode = 5;

std::uint32_t Destination(std::uint32_t camera, std::uint32_t bank, bool bayer) {
  std::uint32_t address = camera == 0 ? 0x8000 : 0xA000;
  if (bank > 0 && bayer) address += (bank - 1) * kBankBytes + (camera == 0 ? 0x4000 : 0x3800);
  return address;
}

// The bytes a table of `inputBits` occupies in LUT memory; an 8-bit table's
// 256 entries take one word each. Empty for an unsupported width.
std::vector<std::uint8_t> LutImage(const void* table, std::uint32_t inputBits, bool bayer) {
  const auto* bytes = static_cast<const std::uint8_t*>(table);
  switch (inputBits) {
    case 8: {
      std::vector<std::uint8_t> image(1024);
      for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint16_t entry = 0;
        std::memcpy(&entry, bytes + 2 * i, sizeof entry);
        const std::uint32_t word = entry;
        std::memcpy(image.data() + 4 * i, &word, sizeof word);
      }
      return image;
    }
    case 10: return {bytes, bytes + 2048};
    case 12: return {bytes, bytes + (bayer ? 2048 : 8192)};
    default: return {};
  }
}

// LUT mode to the control word's bits 4-5; other modes leave them.
std::uint32_t WithMode(std::uint32_t control, std::uint32_t lutMode) {
  switch (lutMode) {
    case 5: return control & ~kLutModeBits;
    case 1: return (control & ~kLutModeBits) | 0x30;
    case 2: return (control & ~kLutModeBits) | 0x20;
    case 3: return (control & ~kLutModeBits) | 0x10;
    default: return control;
  }
}

QelHwStatus WriteImage(std::uint32_t board, std::uint32_t destination, const std::vector<std::uint8_t>& image) {
  for (std::uint32_t done = 0; done < image.size(); done += kPieceBytes) {
    const std::uint32_t bytes = std::min<std::uint32_t>(kPieceBytes, static_cast<std::uint32_t>(image.size()) - done);
    const QelHwStatus status = Yat_Man_Cache_Write(board, (destination + done) % kCacheSpace,
                                                   reinterpret_cast<std::uint64_t>(image.data() + done), bytes / 4);
    if (status != QELHW_OK) return status;
  }
  return QELHW_OK;
}

}  // namespace

PARDOW_API QelHwStatus Yat_FPGA_CL_WriteLut(std::uint32_t board, std::uint32_t camera, std::uint32_t bank,
                                            std::uint32_t lutMode, std::uint32_t, std::uint32_t inputBits,
                                            const void* table) {
  if (table == nullptr || camera >= 2) return QELHW_ERROR_ARG_INVALID;
  std::uint32_t bayer = 0;
  if (Yat_FPGA_IsBayerAvailable(board, camera, &bayer) == QELHW_OK) {
    bool running = false;
    const QelHwStatus status = YatFeGrabRunning(board, camera, &running);
    if (status != QELHW_OK) return status;
    if (running) return YAT_FE_GRAB_RUNNING;
  }
  std::uint32_t control = 0;
  QelHwStatus status = Yat_FPGA_ReadDataReg(board, camera, YAT_FE_REG_LUT_CONTROL, &control);
  if (status != QELHW_OK) return status;
  if (bayer != 0 && lutMode == kMergedLutMode) return QELHW_OK;
  const std::vector<std::uint8_t> image = LutImage(table, inputBits, bayer != 0);
  if (image.empty()) return QELHW_ERROR_ARG_INVALID;
  control = WithMode(control, lutMode);
  status = Yat_FPGA_WriteDataReg(board, camera, YAT_FE_REG_LUT_CONTROL, control | kLutLoad);
  if (status == QELHW_OK) status = Yat_FPGA_WriteDataReg(board, camera, YAT_FE_REG_LUT_CONTROL, control & ~kLutLoad);
  if (status != QELHW_OK) return status;
  return WriteImage(board, Destination(camera, bank, bayer != 0), image);
}

QelHwStatus Yat_FPGA_EnableLut(YatAcqHandle* handle, std::uint32_t enable) {
  return YatFeUpdate(handle->board, handle->camera, YAT_FE_REG_LUT_CONTROL, enable != 0 ? kLutEnable : 0, kLutEnable);
}

QelHwStatus Yat_FPGA_SetLutFormat(YatAcqHandle* handle, std::uint32_t inputBits, std::uint32_t depth,
                                  std::uint32_t pixelFormat) {
  std::uint32_t selector = 0, output = 8;
  switch (pixelFormat) {
    case 1: break;
    case 6: selector = depth == 32 && inputBits == 10 ? 4 : depth == 32 && inputBits == 12 ? 5 : 1; break;
    case 10: output = inputBits; break;
    case 11: selector = depth == 32 && inputBits == 12 ? 5 : 2; output = 10; break;
    case 22: selector = 3; output = inputBits == 10 ? 10 : 12; break;
    default: return QELHW_ERROR_INVALID_PIXEL_FORMAT;
  }
  std::uint32_t control = 0;
  const QelHwStatus status = Yat_FPGA_ReadDataReg(handle->board, handle->camera, YAT_FE_REG_LUT_CONTROL, &control);
  if (status != QELHW_OK) return status;
  control = (control & ~0x8000FF0Fu) | selector | ((inputBits & 0xF) << 8) | ((output & 0xF) << 12);
  return Yat_FPGA_WriteDataReg(handle->board, handle->camera, YAT_FE_REG_LUT_CONTROL, control);
}
