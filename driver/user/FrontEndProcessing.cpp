// The front end's optional processing blocks: Bayer conversion and its
// white balance and saturation, flat-field correction and binarisation.
#include "driver/user/FrontEnd.h"

namespace {

constexpr std::uint32_t kRegFlatFieldFormat = 0x5008;
constexpr std::uint32_t kRegBayer = 0x5010;
constexpr std::uint32_t kRegWhiteBalance = 0x5014;
constexpr std::uint32_t kRegSaturationWeights = 0x5018;
constexpr std::uint32_t kRegThirdWeight = 0x501C;
constexpr std::uint32_t kRegSaturationFactor = 0x5020;
constexpr std::uint32_t kRegBinarisation = 0x3104;  // board
constexpr std::uint32_t kRegFlatFieldTable = 0x5800;  // board
constexpr std::uint32_t kFlatFieldEntries = 32;
constexpr std::uint32_t kBayerWide = 0x1, kBayerMono = 0x2, kBayerColour = 0x10, kBayerTwelve = 0x20;
constexpr std::uint32_t kBayerReset = 0x100;
constexpr std::uint32_t kSaturationEnable = 0x3000;

std::uint32_t Bit(bool on, std::uint32_t bit) { return on ? bit : 0; }

bool IsColourFormat(std::uint32_t code) {
  switch (code) {
    case 5: case 6: case 15: case 17: case 18: case 19: case 20: case 23: case 24: return true;
    default: return false;
  }
}

// The Bayer control word for a format, or false for an unsupported one.
bool BayerWord(std::uint32_t word, std::uint32_t inputBits, std::uint32_t code, std::uint32_t alignment,
               std::uint32_t colour, std::uint32_t* result) {
  static constexpr std::uint32_t kAlignment[5] = {0, 0, 1, 3, 2};
  word &= ~kBayerColour;
  if (inputBits == 8) word &= ~(kBayerWide | kBayerTwelve);
  else if (inputBits >= 10 && inputBits <= 16) word = (word & ~kBayerTwelve) | kBayerWide | Bit(inputBits >= 12, kBayerTwelve);
  else return false;
  if (IsColourFormat(code)) {
    const bool colourOut = inputBits == 10 || inputBits == 12 || colour != 0;
    word = (word & ~kBayerMono) | Bit(colourOut, kBayerColour);
  } else if (code == 11) {
    word |= kBayerMono | Bit(colour != 0, kBayerColour);
  } else {
    return false;
  }
  if (alignment < 5) word = (word & ~0xCu) | (kAlignment[alignment] << 2);
  *result = word;
  return true;
}

// Checks a gain against the unit's limits; the first range clips.
bool Gain(std::uint32_t gain, std::uint32_t unit, std::uint32_t first, std::uint32_t second, bool clips,
          std::uint32_t* field) {
  if (gain < unit || gain > second) return false;
  if (gain > first && clips) gain = first;
  *field = gain - unit;
  return true;
}

}  // namespace

PARDOW_API QelHwStatus Yat_FPGA_SetBayerFormat(std::uint32_t board, std::uint32_t camera, std::uint32_t inputBits,
                                               std::uint32_t pixelFormat, std::uint32_t alignment,
                                               std::uint32_t enable, std::uint32_t colour) {
  if (enable == 0) return QELHW_OK;
  std::uint32_t word = 0;
  const QelHwStatus status = Yat_FPGA_ReadDataReg(board, camera, kRegBayer, &word);
  if (status != QELHW_OK) return status;
  if (!BayerWord(word, inputBits, pixelFormat, alignment, colour, &word)) return YAT_FE_SOFTWARE_ERROR;
  return Yat_FPGA_WriteDataReg(board, camera, kRegBayer, word);
}

PARDOW_API QelHwStatus Yat_FPGA_SetBayerWhiteBalance(std::uint32_t board, std::uint32_t camera, std::uint32_t gain1,
                                                     std::uint32_t gain2, std::uint32_t gain3, std::uint32_t unit) {
  std::uint32_t word = 0;
  const QelHwStatus status = Yat_FPGA_ReadDataReg(board, camera, kRegWhiteBalance, &word);
  if (status != QELHW_OK) return status;
  std::uint32_t first = 0, second = 0;
  if (unit == 256) {
    word |= 1u << 31;
    first = 5 * unit - 1;
    second = 9 * unit - 1;
  } else if (unit == 512) {
    word &= ~(1u << 31);
    first = 3 * unit - 1;
    second = 5 * unit - 1;
  } else {
    return YAT_FE_SOFTWARE_ERROR;
  }
  std::uint32_t f1 = 0, f2 = 0, f3 = 0;
  if (!Gain(gain1, unit, first, second, true, &f1) || !Gain(gain2, unit, first, second, true, &f2) ||
      !Gain(gain3, unit, second, second, false, &f3))
    return YAT_FE_SOFTWARE_ERROR;
  word = (word & (1u << 31)) | (f1 & 0x3FF) | ((f2 & 0x3FF) << 10) | ((f3 & 0x7FF) << 20);
  return Yat_FPGA_WriteDataReg(board, camera, kRegWhiteBalance, word);
}

PARDOW_API QelHwStatus Yat_FPGA_SetBayerSaturationFactor(std::uint32_t board, std::uint32_t camera,
                                                         std::uint32_t factor) {
  return YatFeUpdate(board, camera, kRegSaturationFactor, factor, 0xFFFF);
}

PARDOW_API QelHwStatus Yat_FPGA_SetBayerSaturationWeight(std::uint32_t board, std::uint32_t camera, std::uint32_t w1,
                                                         std::uint32_t w2, std::uint32_t w3) {
  QelHwStatus status = Yat_FPGA_WriteDataReg(board, camera, kRegSaturationWeights, (w1 & 0xFFFF) | (w2 << 16));
  if (status == QELHW_OK) status = YatFeUpdate(board, camera, kRegThirdWeight, w3, 0xFFFF);
  if (status != QELHW_OK) return status;
  const bool off = w2 == 0 && w3 == 0;
  return YatFeUpdate(board, camera, kRegBayer, off ? 0 : kSaturationEnable, kSaturationEnable);
}

PARDOW_API QelHwStatus Yat_FPGA_Reset_Processing(std::uint32_t board, std::uint32_t camera, std::uint8_t reset) {
  std::uint32_t bayer = 0;
  const QelHwStatus status = Yat_FPGA_IsBayerAvailable(board, camera, &bayer);
  if (status != QELHW_OK || bayer == 0) return status;
  return YatFeUpdate(board, camera, kRegBayer, Bit((reset & 1) != 0, kBayerReset), kBayerReset);
}

PARDOW_API QelHwStatus Yat_FPGA_SetFlatFieldFormat(std::uint32_t board, std::uint32_t camera, std::uint32_t format,
                                                   std::uint32_t bits, std::uint32_t enable) {
  std::uint32_t word = 0;
  if (enable != 0) {
    switch (format) {
      case 10: word = 1; break;
      case 12: word = 4; break;
      case 13: word = 5; break;
      case 6: word = bits < 9 ? 8 : 2; break;
      default: word = 0; break;
    }
    if (bits >= 10) word += ((bits - 10) / 2 % 4) * 16;
  }
  return Yat_FPGA_WriteDataReg(board, camera, kRegFlatFieldFormat, word);
}

PARDOW_API QelHwStatus Yat_FPGA_SetFlatFieldAddressTable(std::uint32_t board, std::uint32_t camera,
                                                         std::uint32_t index, std::uint32_t value) {
  if (index >= kFlatFieldEntries) return QELHW_ERROR_ARG_INVALID;
  return Yat_FPGA_WriteDataReg(board, 0, kRegFlatFieldTable + (camera << 8) + 8 * index, value);
}

PARDOW_API QelHwStatus Yat_FPGA_EnableBinarization(std::uint32_t board, std::uint32_t, std::uint32_t enable) {
  // Only the threshold write's status is reported.
  Yat_FPGA_SetBitReg(board, 0, kRegBinarisation, enable != 0 ? 1 : 0, 1);
  return Yat_FPGA_SetBitReg(board, 0, kRegBinarisation, enable != 0 ? 0x800 : 0, 0xFFFFFF00);
}
