// Firmware files around a simulated bitstream, in the board's file format:
// the 186-byte firmware header followed by the image, the image followed by
// the 92-byte record, or both. The tool qel-mkfirmware writes them; tests
// make them in memory.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "driver/user/CbhRecords.h"
#include "platform/board/bitstream.h"

namespace mkfirmware {

enum class FirmwareForm : std::uint8_t { kHeader, kRecord, kHeaderAndRecord };

// The product id of this board family's firmware.
inline constexpr std::uint32_t kBoardProductId = 9472;

struct FirmwareRecipe {
  plat::board::FpgaKind fpga = plat::board::FpgaKind::kXio;
  CbhVersion version{};  // major.minor.third.build
  std::uint32_t product_id = kBoardProductId;
  std::uint16_t component_id = 0;  // the flash section the file is meant for
  std::uint32_t compatibility_version = 1;
  std::uint32_t firmware_id = 0;
  std::uint32_t option_bits = 0;
  std::uint8_t header_version = 1;
  std::string comment;
  CbhDate created{};
  CbhDate modified{};
  std::uint32_t design_id = 0;
  std::uint32_t design_version = 0;  // 0: major.minor.third.build in one byte each
  std::uint32_t payload_size = 4096;
  FirmwareForm form = FirmwareForm::kHeader;
  // Flips one payload bit after the image is built: the file and its
  // checksum stay consistent, the bitstream's own check fails.
  bool corrupt = false;
};

// Defaults for a kind of FPGA: its flash section as component id, the design
// id the board's firmware of that kind reports, version 1.0.0.0, a fixed date.
FirmwareRecipe default_firmware_recipe(plat::board::FpgaKind fpga);

// The bitstream alone (corrupted when the recipe asks).
std::vector<std::uint8_t> make_firmware_image(const FirmwareRecipe& recipe);
// The 186-byte header / 92-byte record describing `image`.
CbhHeader make_firmware_header(const FirmwareRecipe& recipe, std::span<const std::uint8_t> image);
CbhFlashRecord make_firmware_record(const FirmwareRecipe& recipe, std::span<const std::uint8_t> image);
// The whole file in the recipe's form.
std::vector<std::uint8_t> make_firmware_file(const FirmwareRecipe& recipe);
// Writes the file; false with a message on failure.
bool write_firmware_file(const std::string& path, const FirmwareRecipe& recipe, std::string* error);

// The tool's command line (without the program name). False with a message
// for a bad or missing argument; `help` is set for --help.
bool parse_arguments(std::span<const char* const> args, FirmwareRecipe* recipe, std::string* out_path,
                     bool* help, std::string* error);
const char* usage_text();

}  // namespace mkfirmware
