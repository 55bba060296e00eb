#include "platform/board/board_startup.h"

#include <filesystem>
#include <fstream>
#include <vector>

#include "platform/board/eeprom_images.h"
#include "platform/board/flash_device.h"
#include "platform/board/flash_factory.h"
#include "platform/board/flash_store.h"
#include "platform/board/i2c_bus.h"

namespace plat::board {

namespace {

bool write_whole(const std::string& path, const std::uint8_t* bytes, std::size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes), static_cast<std::streamsize>(size));
  return static_cast<bool>(out);
}

}  // namespace

BoardStartup board_factory_startup(const BoardPreset& preset, int index) {
  BoardStartup startup;
  startup.main_eeprom = eeprom_default_image(kEepromMain, preset.subsystem_id, index);
  return startup;
}

bool board_store_startup(const std::string& dir, const BoardPreset& preset, const BoardStartup& startup) {
  std::error_code error;
  std::filesystem::create_directories(dir, error);
  if (error) return false;
  std::vector<std::uint8_t> flash(kFlashBytes);
  flash_factory_fill(flash, preset, startup.firmware_options);
  return write_whole(i2c_eeprom_file(dir, kEepromMain), startup.main_eeprom.data(), startup.main_eeprom.size()) &&
         write_whole(flash_store_file(dir), flash.data(), flash.size());
}

}  // namespace plat::board
