// Which processing blocks the loaded firmware offers: from the capability
// registers, the board's option word and the FPGA description.
#include "driver/user/EepromI2c.h"
#include "driver/user/FrontEnd.h"
#include "driver/user/YatLibrary.h"

#include <cstring>

namespace {

constexpr std::uint32_t kRegCapabilities = 0x5000;  // board
constexpr std::uint32_t kRegBinarisationPresent = 0x3100;  // board
constexpr std::uint32_t kNoProcessing = 0xFFFFFFFF;
constexpr std::uint32_t kProcessingKindOffset = 82;
constexpr std::uint32_t kProcessingMaskOffset = 99;
constexpr std::uint32_t kWantedFeatures = 0x8FFFFFFA;

QelHwStatus ReadCapabilities(std::uint32_t board, std::uint32_t* capabilities) {
  return Yat_FPGA_ReadDataReg(board, 0, kRegCapabilities, capabilities);
}

bool Has(std::uint64_t word, unsigned bit) { return ((word >> bit) & 1) != 0; }

// Capability bits to feature bits; the second table leaves out bits 5 and 8.
std::uint32_t Features(std::uint64_t c, bool full) {
  std::uint32_t f = 0;
  if (Has(c, 0)) f |= 0x8;
  if (Has(c, 1)) f |= 0x2;
  if (Has(c, 3)) f |= 0x40;
  if (full && Has(c, 8)) f |= 0x80;
  if (Has(c, 9) || (full && Has(c, 5))) f |= 0x200;
  if (Has(c, 10)) f |= 0x410;
  if (Has(c, 11)) f |= Has(c, 14) ? 0x880 : 0x800;
  if (Has(c, 14)) f |= 0x80;
  if (Has(c, 12)) f |= 0x8000;
  f |= static_cast<std::uint32_t>(c) & 0x0FFF8000;
  return f;
}

}  // namespace

PARDOW_API QelHwStatus Yat_FPGA_IsBayerAvailable(std::uint32_t board, std::uint32_t, std::uint32_t* available) {
  if (available == nullptr) return QELHW_ERROR_ARG_INVALID;
  *available = 0;
  std::uint32_t c = 0;
  const QelHwStatus status = ReadCapabilities(board, &c);
  if (status == QELHW_OK && c != kNoProcessing && (c & 0x8) != 0) *available = 1;
  return status;
}

PARDOW_API QelHwStatus Yat_FPGA_GetLutType(std::uint32_t board, std::uint32_t camera, std::uint32_t* type,
                                           std::uint32_t* maxValue) {
  std::uint32_t bayer = 0;
  if (type == nullptr || maxValue == nullptr || Yat_FPGA_IsBayerAvailable(board, camera, &bayer) != QELHW_OK)
    return QELHW_ERROR_ARG_INVALID;
  *type = 3;
  *maxValue = 1023;
  return QELHW_OK;
}

PARDOW_API QelHwStatus Yat_FPGA_IsFlatFieldAvailable(std::uint32_t board, std::uint32_t, std::uint32_t* available) {
  if (available == nullptr) return QELHW_ERROR_ARG_INVALID;
  *available = 0;
  std::uint32_t options = 0, c = 0;
  QelHwStatus status = YatFeOptionWord(board, &options);
  if (status == QELHW_OK) status = ReadCapabilities(board, &c);
  if (status != QELHW_OK) return status;
  const std::uint32_t d = YatFeDescriptionFlags(board);
  const bool bothOptions = (options & 0x5) == 0x5;
  if ((((d & 0x8) != 0 && !bothOptions) || ((d & 0x20) != 0 && bothOptions)) && (c & 0x2) != 0) *available = 1;
  return QELHW_OK;
}

PARDOW_API QelHwStatus Yat_FPGA_IsBinarizeAvailable(std::uint32_t board, std::uint32_t, std::uint32_t* available) {
  if (available == nullptr) return QELHW_ERROR_ARG_INVALID;
  *available = 0;
  std::uint32_t present = 0;
  const QelHwStatus status = Yat_FPGA_ReadDataReg(board, 0, kRegBinarisationPresent, &present);
  if (status == QELHW_OK && (YatFeDescriptionFlags(board) & 0x400) != 0 && (present & 1) != 0) *available = 1;
  return status;
}

PARDOW_API QelHwStatus Yat_FPGA_IsKerneldAvailable(std::uint32_t board, std::uint32_t, std::uint32_t* available) {
  if (available == nullptr) return QELHW_ERROR_ARG_INVALID;
  *available = 0;
  std::uint32_t c = 0;
  const QelHwStatus status = ReadCapabilities(board, &c);
  if (status == QELHW_OK && (YatFeDescriptionFlags(board) & 0x80) != 0 && c != kNoProcessing && (c & 0x20) != 0)
    *available = 1;
  return status;
}

PARDOW_API std::uint32_t Yat_FPGA_IsBackEndLUTAvailable(std::uint32_t board, std::uint32_t) {
  std::uint32_t options = 0, c = 0;
  if (YatFeOptionWord(board, &options) != QELHW_OK) return 0;
  if ((options & 0x4) != 0 || options == 1 || options == 2) return 0;
  if (ReadCapabilities(board, &c) != QELHW_OK) return 0;
  return c != kNoProcessing && (c & 0x1) != 0 ? 1 : 0;
}

PARDOW_API std::uint32_t Yat_FPGA_IsMediumCameralink(std::uint32_t board) {
  return (YatFeDescriptionFlags(board) & 0x200) != 0 ? 1 : 0;
}

PARDOW_API QelHwStatus Yat_FPGA_IsProcessingAvailable(std::uint32_t board, std::uint32_t, std::uint64_t wanted,
                                                      std::uint32_t* available) {
  if (available == nullptr) return QELHW_ERROR_ARG_INVALID;
  *available = 0;
  std::uint8_t page[YAT_EEPROM_IMAGE_SIZE] = {};
  std::uint32_t c = 0;
  if (Yat_Eeprom_GetInfo(board, 0, page, sizeof page) != QELHW_OK) return QELHW_OK;
  if (ReadCapabilities(board, &c) != QELHW_OK || c == kNoProcessing) c = 0;
  std::uint32_t f = Features(c, true);
  std::uint16_t kind = 0;
  std::uint64_t offered = 0;
  std::memcpy(&kind, page + kProcessingKindOffset, sizeof kind);
  std::memcpy(&offered, page + kProcessingMaskOffset, sizeof offered);
  if ((kind & 0x8) != 0) {
    *available = (f & kWantedFeatures) != 0 ? 1 : 0;
  } else if ((kind & 0x10) != 0) {
    const std::uint32_t needed = Features(wanted, false);
    if ((offered & wanted) == wanted && (f & needed) == needed) {
      if (wanted != ~std::uint64_t{0}) f &= needed;
      *available = (f & kWantedFeatures) != 0 ? 1 : 0;
    }
  }
  return QELHW_OK;
}
