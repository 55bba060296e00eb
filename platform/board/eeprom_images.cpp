#include "platform/board/eeprom_images.h"

#include "platform/board/presets.h"

namespace plat::board {

namespace {

void put16(EepromImage& image, std::uint32_t offset, std::uint16_t value) {
  image[offset] = static_cast<std::uint8_t>(value);
  image[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

void put32(EepromImage& image, std::uint32_t offset, std::uint32_t value) {
  put16(image, offset, static_cast<std::uint16_t>(value));
  put16(image, offset + 2, static_cast<std::uint16_t>(value >> 16));
}

std::uint16_t get16(const EepromImage& image, std::uint32_t offset) {
  return static_cast<std::uint16_t>(image[offset] | image[offset + 1] << 8);
}

constexpr std::uint32_t kFieldAreaEnd = 115;

EepromImage blank() {
  EepromImage image;
  image.fill(0xFF);
  return image;
}

EepromImage signed_header(std::uint16_t drawing, std::uint32_t serial) {
  EepromImage image = blank();
  for (std::uint32_t i = 0; i < kFieldAreaEnd; ++i) image[i] = 0;
  image[0] = kEepromSignature;
  image[1] = 1;  // template version
  put16(image, 2, drawing);
  image[4] = 1;  // issue
  image[5] = 2;  // revision
  put16(image, 6, kMakerVendorId);
  put16(image, 8, 1100);  // ECO number
  put16(image, 10, 1);    // CMI
  put32(image, 13, serial);
  image[17] = 1;  // compatibility version
  put32(image, 18, serial);
  return image;
}

EepromImage main_image(std::uint16_t model_code, int board_index) {
  EepromImage image = signed_header(0x2A41, 41000 + static_cast<std::uint32_t>(board_index));
  image[12] = 0x00;  // extension: the daughter board is probed
  image[30] = 1;     // sub-template version
  put16(image, 32, 0x0150);  // FPGA part number
  put16(image, 34, 2);       // speed rating
  put16(image, 36, 6);       // family
  put16(image, kEepromModelOffset, model_code);
  put16(image, kEepromBank1Offset, kDefaultBankMegabytes);
  put16(image, kEepromBank2Offset, kDefaultBankMegabytes);
  image[51] = 85;  // Camera Link chip speed (MHz)
  put16(image, 84, 1);  // default firmware
  image[88] = 0x03;     // output type capability
  image[89] = 0x03;     // input level capability
  return image;
}

}  // namespace

EepromImage eeprom_default_image(std::uint8_t address, std::uint16_t model_code, int board_index) {
  switch (address) {
    case kEepromMain: return main_image(model_code, board_index);
    case kEepromDaughter: return signed_header(0x2A50, 52000 + static_cast<std::uint32_t>(board_index));
    default: return blank();
  }
}

std::uint32_t eeprom_memory_megabytes(const EepromImage& main_image) {
  const std::uint16_t bank1 = get16(main_image, kEepromBank1Offset);
  if (bank1 == 0) return 128;
  return std::uint32_t{bank1} + get16(main_image, kEepromBank2Offset);
}

}  // namespace plat::board
