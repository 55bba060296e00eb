#include "tools/mkfirmware/firmware_file.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "driver/user/Cbh.h"

namespace mkfirmware {

using plat::board::FpgaKind;

namespace {

// Flash sections the firmware of each kind belongs to, and the design ids
// the board's own firmware of that kind reports.
std::uint16_t section_of(FpgaKind fpga) {
  switch (fpga) {
    case FpgaKind::kMain: return 1;
    case FpgaKind::kXio: return 2;
    case FpgaKind::kExpansion: return 3;
  }
  return 0;
}

std::uint32_t design_id_of(FpgaKind fpga) { return fpga == FpgaKind::kMain ? 0x227 : 0x001; }

// Design data: deterministic, so two files made from one recipe are equal.
std::vector<std::uint8_t> make_payload(const FirmwareRecipe& recipe) {
  std::vector<std::uint8_t> payload(recipe.payload_size);
  std::uint32_t state = recipe.design_id * 2654435761u ^ recipe.design_version ^ 0x9E3779B9u;
  for (std::uint8_t& b : payload) {
    state = state * 1664525u + 1013904223u;
    b = static_cast<std::uint8_t>(state >> 24);
  }
  return payload;
}

// Without its own version word, the design reports the product version.
std::uint32_t design_version_of(const FirmwareRecipe& recipe) {
  if (recipe.design_version != 0) return recipe.design_version;
  const CbhVersion& v = recipe.version;
  return (std::uint32_t{v.major} << 24) | (std::uint32_t{v.minor} << 16) | (std::uint32_t{v.third} << 8) |
         (v.build & 0xFFu);
}

void corrupt_image(std::vector<std::uint8_t>& image, const FirmwareRecipe& recipe) {
  const std::size_t payload_start =
      plat::board::kBitstreamPreambleSize + plat::board::kBitstreamSync.size() + plat::board::kBitstreamHeaderSize;
  const std::size_t at = payload_start + recipe.payload_size / 2;
  if (at < image.size()) image[at] ^= 0x01;
}

std::uint32_t byte_sum(std::span<const std::uint8_t> data) {
  std::uint32_t sum = 0;
  Cbh_ByteSum(data.data(), static_cast<std::uint32_t>(data.size()), &sum);
  return sum;
}

std::uint32_t word_sum(std::span<const std::uint8_t> data) {
  std::uint32_t sum = 0;
  Cbh_WordSum(data.data(), static_cast<std::uint32_t>(data.size()), &sum);
  return sum;
}

void append(std::vector<std::uint8_t>& file, const void* data, std::size_t size) {
  const auto* p = static_cast<const std::uint8_t*>(data);
  file.insert(file.end(), p, p + size);
}

}  // namespace

FirmwareRecipe default_firmware_recipe(FpgaKind fpga) {
  FirmwareRecipe recipe;
  recipe.fpga = fpga;
  recipe.version = CbhVersion{0, 0, 0, 1};
  recipe.component_id = section_of(fpga);
  recipe.design_id = design_id_of(fpga);
  recipe.firmware_id = recipe.design_id;
  recipe.created = CbhDate{0, 12, 1, 6, 2021};
  recipe.modified = recipe.created;
  recipe.comment = fpga == FpgaKind::kMain  ? "Tramond-CL_RZ6"
                 : fpga == FpgaKind::kXio ? "Tramond-CL_RZ6 XIO"
                                          : "Tramond-CL_RZ6 Expansion IPU";
  return recipe;
}

std::vector<std::uint8_t> make_firmware_image(const FirmwareRecipe& recipe) {
  const std::vector<std::uint8_t> payload = make_payload(recipe);
  const plat::board::BitstreamDesign design{recipe.fpga, recipe.design_id, design_version_of(recipe)};
  std::vector<std::uint8_t> image = plat::board::bitstream_build(design, payload);
  if (recipe.corrupt) corrupt_image(image, recipe);
  return image;
}

CbhHeader make_firmware_header(const FirmwareRecipe& recipe, std::span<const std::uint8_t> image) {
  CbhHeader header{};
  std::memcpy(header.magic, kCbhMagic.data(), kCbhMagic.size());
  header.headerVersion = recipe.header_version;
  header.headerSize = kCbhHeaderSize;
  header.creationDate = recipe.created;
  header.modifyDate = recipe.modified;
  header.productVersion = recipe.version;
  header.productId = recipe.product_id;
  header.componentId = recipe.component_id;
  header.compatibilityVersion = recipe.compatibility_version;
  header.firmwareId = recipe.firmware_id;
  header.firmwareChecksum = byte_sum(image);
  header.firmwareSize = static_cast<std::uint32_t>(image.size());
  header.optionBits = recipe.option_bits;
  std::strncpy(header.comment, recipe.comment.c_str(), kCbhCommentSize - 1);
  return header;
}

CbhFlashRecord make_firmware_record(const FirmwareRecipe& recipe, std::span<const std::uint8_t> image) {
  CbhFlashRecord record{};
  record.word1 = recipe.firmware_id;
  std::strncpy(record.comment, recipe.comment.c_str(), kCbhRecordCommentSize - 1);
  record.optionBits = static_cast<std::uint16_t>(recipe.option_bits);
  record.day = recipe.created.day;
  record.month = recipe.created.month;
  record.year = recipe.created.year;
  record.hour = recipe.created.hour;
  record.minute = recipe.created.minute;
  record.version = static_cast<std::uint16_t>(recipe.version.major * 1000 + recipe.version.minor * 10 + recipe.version.third);
  record.headerVersion = recipe.header_version;
  record.firmwareChecksum = word_sum(image);
  record.firmwareSize = static_cast<std::uint32_t>(image.size());
  return record;
}

std::vector<std::uint8_t> make_firmware_file(const FirmwareRecipe& recipe) {
  const std::vector<std::uint8_t> image = make_firmware_image(recipe);
  std::vector<std::uint8_t> file;
  if (recipe.form != FirmwareForm::kRecord) {
    const CbhHeader header = make_firmware_header(recipe, image);
    append(file, &header, sizeof header);
  }
  file.insert(file.end(), image.begin(), image.end());
  if (recipe.form != FirmwareForm::kHeader) {
    const CbhFlashRecord record = make_firmware_record(recipe, image);
    append(file, &record, sizeof record);
  }
  return file;
}

bool write_firmware_file(const std::string& path, const FirmwareRecipe& recipe, std::string* error) {
  const std::vector<std::uint8_t> file = make_firmware_file(recipe);
  struct Closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  std::unique_ptr<std::FILE, Closer> out(std::fopen(path.c_str(), "wb"));
  if (!out) {
    *error = "cannot create " + path;
    return false;
  }
  if (std::fwrite(file.data(), 1, file.size(), out.get()) != file.size() || std::fflush(out.get()) != 0) {
    *error = "cannot write " + path;
    return false;
  }
  return true;
}

}  // namespace mkfirmware
