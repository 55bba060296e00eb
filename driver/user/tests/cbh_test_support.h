// Headers and records for the firmware header tests, made the way the
// firmware-file tool makes them.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

#include "driver/user/Cbh.h"
#include "tools/mkfirmware/firmware_file.h"

namespace cbh_test {

inline mkfirmware::FirmwareRecipe SampleRecipe() {
  mkfirmware::FirmwareRecipe recipe = mkfirmware::default_firmware_recipe(plat::board::FpgaKind::kXio);
  recipe.version = CbhVersion{1, 17, 5, 2};  // 2.5.1.17
  recipe.created = CbhDate{30, 14, 9, 3, 2022};
  recipe.modified = CbhDate{45, 8, 11, 4, 2023};
  recipe.compatibility_version = 3;
  recipe.firmware_id = 0x2270;
  recipe.option_bits = 0x80000041;
  recipe.comment = "XIO firmware for tests";
  recipe.payload_size = 1000;
  return recipe;
}

inline CbhHeader SampleHeader() {
  const mkfirmware::FirmwareRecipe recipe = SampleRecipe();
  return mkfirmware::make_firmware_header(recipe, mkfirmware::make_firmware_image(recipe));
}

// A valid record with the given version word and date.
inline CbhFlashRecord SampleRecord(std::uint16_t version = 1234, std::uint16_t year = 2020) {
  CbhFlashRecord record{};
  record.word1 = 0xA1B2C3D4;
  std::strcpy(record.comment, "record comment");
  record.optionBits = 0x8001;
  record.day = 7;
  record.month = 8;
  record.year = year;
  record.hour = 9;
  record.minute = 10;
  record.version = version;
  record.headerVersion = 5;
  record.firmwareChecksum = 0x12345678;
  record.firmwareSize = 0x400;
  return record;
}

template <typename T>
std::vector<std::uint8_t> Bytes(const T& record) {
  std::vector<std::uint8_t> bytes(sizeof record);
  std::memcpy(bytes.data(), &record, sizeof record);
  return bytes;
}

}  // namespace cbh_test
