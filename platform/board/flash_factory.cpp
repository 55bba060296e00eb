#include "platform/board/flash_factory.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "driver/user/CbhRecords.h"
#include "platform/board/flash_device.h"

namespace plat::board {

namespace {

constexpr std::uint32_t kFactoryProductId = 9472;
constexpr std::uint32_t kFactoryVersion = 0x01000000;  // 1.0.0.0, one byte each
constexpr std::uint16_t kBackupSection = 0;
constexpr std::uint16_t kMainSection = 1;

std::vector<std::uint8_t> factory_payload(const BoardPreset& preset) {
  std::vector<std::uint8_t> payload(kFlashFactoryPayload);
  std::uint32_t state = preset.fpga_id * 2654435761u ^ 0x5EED5EEDu;
  for (std::uint8_t& b : payload) {
    state = state * 1664525u + 1013904223u;
    b = static_cast<std::uint8_t>(state >> 24);
  }
  return payload;
}

CbhHeader factory_header(std::uint16_t section, std::span<const std::uint8_t> image, const BoardPreset& preset,
                         std::uint16_t option_bits) {
  CbhHeader header{};
  std::memcpy(header.magic, kCbhMagic.data(), kCbhMagic.size());
  header.headerVersion = 1;
  header.headerSize = kCbhHeaderSize;
  header.creationDate = CbhDate{0, 12, 1, 6, 2021};
  header.modifyDate = header.creationDate;
  header.productVersion = CbhVersion{0, 0, 0, 1};
  header.productId = kFactoryProductId;
  header.componentId = section;
  header.compatibilityVersion = 1;
  header.firmwareId = preset.fpga_id;
  header.optionBits = option_bits;
  std::uint32_t sum = 0;
  for (std::uint8_t b : image) sum += b;
  header.firmwareChecksum = sum;
  header.firmwareSize = static_cast<std::uint32_t>(image.size());
  std::strncpy(header.comment, "Tramond-CL_RZ6", kCbhCommentSize - 1);
  return header;
}

void put_word(std::span<std::uint8_t> flash, std::uint32_t at, std::uint32_t value) {
  std::memcpy(flash.data() + at, &value, sizeof value);
}

void put_section(std::span<std::uint8_t> flash, std::uint16_t section, std::uint32_t offset,
                 std::span<const std::uint8_t> image, const BoardPreset& preset, std::uint16_t option_bits) {
  std::copy(image.begin(), image.end(), flash.begin() + offset);
  const std::uint32_t slot = kFlashHeaderArea + section * kFlashHeaderSlotSize;
  put_word(flash, slot, kFlashSlotMagic);
  put_word(flash, slot + 4, 12);
  put_word(flash, slot + 8, offset);
  const CbhHeader header = factory_header(section, image, preset, option_bits);
  std::memcpy(flash.data() + slot + 12, &header, sizeof header);
}

}  // namespace

BitstreamDesign flash_factory_design(const BoardPreset& preset) {
  return BitstreamDesign{FpgaKind::kMain, preset.fpga_id, kFactoryVersion};
}

void flash_factory_fill(std::span<std::uint8_t> flash, const BoardPreset& preset, std::uint16_t option_bits) {
  if (flash.size() < kFlashBytes) return;
  std::fill(flash.begin(), flash.end(), std::uint8_t{0xFF});
  const std::vector<std::uint8_t> image = bitstream_build(flash_factory_design(preset), factory_payload(preset));
  put_section(flash, kMainSection, kFlashMainOffset, image, preset, option_bits);
  put_section(flash, kBackupSection, kFlashBackupOffset, image, preset, option_bits);
}

}  // namespace plat::board
