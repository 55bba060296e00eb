#include "platform/board/flash_store.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <span>

#include "platform/board/board_log.h"
#include "platform/board/flash_factory.h"

namespace plat::board {

namespace {

std::string protection_file(const std::string& dir) { return dir + "/flash-protection.bin"; }

FlashProtectionScheme model_scheme(const BoardPreset& preset) {
  return preset.model == "FolvantX4Dual" ? FlashProtectionScheme::kLegacyGroups : FlashProtectionScheme::kPersistent;
}

std::span<std::uint8_t> bytes_of(std::uint16_t* words) {
  return {reinterpret_cast<std::uint8_t*>(words), kFlashBytes};
}

std::uint16_t* map_anonymous() {
  void* memory = ::mmap(nullptr, kFlashBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return memory == MAP_FAILED ? nullptr : static_cast<std::uint16_t*>(memory);
}

// The array file, made from the factory image when it is new or damaged.
std::uint16_t* map_file(const std::string& path, const BoardPreset& preset) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return nullptr;
  struct stat info{};
  const bool fresh = ::fstat(fd, &info) != 0 || info.st_size != static_cast<off_t>(kFlashBytes);
  if (fresh && ::ftruncate(fd, kFlashBytes) != 0) {
    ::close(fd);
    return nullptr;
  }
  void* memory = ::mmap(nullptr, kFlashBytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  ::close(fd);
  if (memory == MAP_FAILED) return nullptr;
  auto* words = static_cast<std::uint16_t*>(memory);
  if (fresh) flash_factory_fill(bytes_of(words), preset);
  return words;
}

void load_protection(const std::string& dir, FlashDevice& device, const BoardPreset& preset) {
  device.scheme = model_scheme(preset);
  device.protected_blocks.fill(0);
  if (dir.empty()) return;
  std::ifstream in(protection_file(dir), std::ios::binary);
  std::uint8_t scheme = 0;
  std::array<std::uint8_t, kFlashBlocks> blocks{};
  if (!in.read(reinterpret_cast<char*>(&scheme), 1) || !in.read(reinterpret_cast<char*>(blocks.data()), blocks.size()))
    return;
  if (scheme == static_cast<std::uint8_t>(FlashProtectionScheme::kPersistent) ||
      scheme == static_cast<std::uint8_t>(FlashProtectionScheme::kLegacyGroups))
    device.scheme = static_cast<FlashProtectionScheme>(scheme);
  for (std::uint32_t block = 0; block < kFlashBlocks; ++block) device.protected_blocks[block] = blocks[block] != 0;
}

}  // namespace

std::string flash_store_file(const std::string& dir) { return dir + "/flash.bin"; }

bool flash_store_open(FlashStore& store, FlashDevice& device, const BoardPreset& preset, const std::string& dir) {
  store.dir = dir;
  store.file_backed = false;
  if (!dir.empty()) {
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    store.mapping = map_file(flash_store_file(dir), preset);
    store.file_backed = store.mapping != nullptr;
    if (!store.file_backed) board_log(kBoardLogError, "flash: cannot map " + flash_store_file(dir));
  }
  if (store.mapping == nullptr) {
    store.mapping = map_anonymous();
    if (store.mapping == nullptr) return false;
    flash_factory_fill(bytes_of(store.mapping), preset);
  }
  device.words = store.mapping;
  load_protection(store.file_backed ? dir : std::string(), device, preset);
  return true;
}

void flash_store_save_protection(FlashStore& store, FlashDevice& device) {
  if (!device.protection_changed) return;
  device.protection_changed = false;
  if (!store.file_backed) return;
  const std::string path = protection_file(store.dir);
  const std::string temporary = path + ".new";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    const auto scheme = static_cast<std::uint8_t>(device.scheme);
    out.write(reinterpret_cast<const char*>(&scheme), 1);
    out.write(reinterpret_cast<const char*>(device.protected_blocks.data()), device.protected_blocks.size());
    if (!out) return;
  }
  std::error_code error;
  std::filesystem::rename(temporary, path, error);
}

void flash_store_close(FlashStore& store, FlashDevice& device) {
  flash_store_save_protection(store, device);
  if (store.mapping != nullptr) ::munmap(store.mapping, kFlashBytes);
  store.mapping = nullptr;
  device.words = nullptr;
}

}  // namespace plat::board
