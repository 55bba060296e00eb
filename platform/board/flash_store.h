// Where a board's flash keeps its contents: "<dir>/flash.bin" (the 4 MiB
// array, mapped shared, so every programmed word is in the file at once and
// survives even a killed host) and "<dir>/flash-protection.bin" (the scheme
// byte, then one byte per block). A missing or wrong-sized array is made
// afresh from the factory image (flash_factory.h); without a directory the
// contents live in memory only.
#pragma once

#include <cstdint>
#include <string>

#include "platform/board/flash_device.h"
#include "platform/board/presets.h"

namespace plat::board {

struct FlashStore {
  std::string dir;
  std::uint16_t* mapping = nullptr;
  bool file_backed = false;
};

// Fills device.words, the scheme and the protection. The scheme of a board
// met for the first time is the model's: persistent protection on the Full
// model, legacy groups on the Dual. False when no memory could be had.
bool flash_store_open(FlashStore& store, FlashDevice& device, const BoardPreset& preset, const std::string& dir);
void flash_store_close(FlashStore& store, FlashDevice& device);
// Writes the scheme and protection file when the device changed it.
void flash_store_save_protection(FlashStore& store, FlashDevice& device);

std::string flash_store_file(const std::string& dir);

}  // namespace plat::board
