#include "platform/board/flash_device.h"

#include <algorithm>

namespace plat::board {

namespace {

constexpr std::uint32_t kUnlockAddress1 = 0x555;
constexpr std::uint32_t kUnlockAddress2 = 0x2AA;
constexpr std::uint32_t kQueryAddress = 0x55;
constexpr std::uint32_t kLegacyUnprotectBit = 0x40;  // word address bit 6
constexpr std::uint32_t kBlockStatusWord = 2;

bool busy(const FlashDevice& device) { return FlashClock::now() < device.busy_until; }

void start_busy(FlashDevice& device, std::uint32_t microseconds, bool erase, std::uint16_t data) {
  device.busy_until = FlashClock::now() + std::chrono::microseconds(microseconds);
  device.busy_erase = erase;
  device.busy_data = data;
}

std::uint32_t block_of(std::uint32_t word_address) { return (word_address % kFlashWords) / kFlashBlockWords; }

void erase_block(FlashDevice& device, std::uint32_t block) {
  if (device.protected_blocks[block] != 0) return;
  std::fill_n(device.words + block * kFlashBlockWords, kFlashBlockWords, std::uint16_t{0xFFFF});
  if (device.weak_armed && block_of(device.weak_word) == block) device.weak_armed = false;
}

void erase(FlashDevice& device, std::uint32_t first, std::uint32_t last) {
  for (std::uint32_t block = first; block <= last; ++block) erase_block(device, block);
  start_busy(device, device.timing.erase_us, true, 0xFFFF);
}

void program(FlashDevice& device, std::uint32_t word_address, std::uint16_t data) {
  const std::uint32_t at = word_address % kFlashWords;
  if (device.protected_blocks[block_of(at)] == 0) {
    device.words[at] &= data;
    if (device.verify_failures != 0 && !device.weak_armed) {
      --device.verify_failures;
      device.weak_armed = true;
      device.weak_word = at;
      device.weak_good_reads = 1;
    }
  }
  start_busy(device, device.timing.program_us, false, data);
}

void set_protection(FlashDevice& device, std::uint32_t first, std::uint32_t last, bool on) {
  for (std::uint32_t block = first; block <= last; ++block) device.protected_blocks[block] = on ? 1 : 0;
  device.protection_changed = true;
}

// Legacy: 60 at a word of a group, bit 6 of the address choosing the direction.
void legacy_group_command(FlashDevice& device, std::uint32_t word_address) {
  if (!device.programming_voltage) return;
  std::uint32_t first = 0, last = 0;
  flash_group_of(block_of(word_address), &first, &last);
  set_protection(device, first, last, (word_address & kLegacyUnprotectBit) == 0);
}

std::uint16_t array_read(FlashDevice& device, std::uint32_t at) {
  if (device.weak_armed && at == device.weak_word) {
    if (device.weak_good_reads != 0) {
      --device.weak_good_reads;
    } else {
      device.words[at] ^= 0x0001;  // the weak cell gives up its charge
      device.weak_armed = false;
    }
  }
  return device.words[at];
}

std::uint16_t identify_read(const FlashDevice& device, std::uint32_t at) {
  switch (at & 0xFF) {
    case 0: return kFlashMakerId;
    case 1: return kFlashDeviceId;
    case kBlockStatusWord: return device.protected_blocks[block_of(at)] != 0 ? 1 : 0;
    case 3:
      return device.scheme == FlashProtectionScheme::kPersistent ? kFlashSchemeWordPersistent
                                                                  : kFlashSchemeWordLegacy;
    case 0x0E: return 0x221D;
    case 0x0F: return 0x2200;
    default: return 0;
  }
}

std::uint16_t query_read(const FlashDevice& device, std::uint32_t at) {
  switch (at & 0xFF) {
    case 0x10: return 'Q';
    case 0x11: return 'R';
    case 0x12: return 'Y';
    case 0x27: return 22;  // 2^22 bytes
    case 0x28: return 1;   // 16-bit bus
    case 0x2C: return 1;   // one region of equal blocks
    case 0x2D: return kFlashBlocks - 1;
    case 0x30: return kFlashBlockBytes / 256;
    case 0x40: return 'P';
    case 0x41: return 'R';
    case 0x42: return 'I';
    case 0x49: return device.scheme == FlashProtectionScheme::kPersistent ? 8 : 4;
    default: return 0;
  }
}

bool persistent(const FlashDevice& device) { return device.scheme == FlashProtectionScheme::kPersistent; }
bool legacy(const FlashDevice& device) { return device.scheme == FlashProtectionScheme::kLegacyGroups; }

// After both unlock cycles: the command at 0x555.
FlashMode unlocked_command(const FlashDevice& device, std::uint32_t at, std::uint8_t command) {
  if (at != kUnlockAddress1) return FlashMode::kRead;
  switch (command) {
    case 0x90: return FlashMode::kIdentify;
    case 0x80: return FlashMode::kEraseSetup;
    case 0x20: return FlashMode::kBypass;
    case 0xA0: return FlashMode::kProgram;
    case 0xC0: return persistent(device) ? FlashMode::kProtectBits : FlashMode::kRead;
    default: return FlashMode::kRead;
  }
}

FlashMode from_read(const FlashDevice& device, std::uint32_t at, std::uint8_t command) {
  if (at == kUnlockAddress1 && command == 0xAA) return FlashMode::kUnlock1;
  if (at == kQueryAddress && command == 0x98) return FlashMode::kQuery;
  if (command == 0x60 && legacy(device) && device.programming_voltage) return FlashMode::kLegacySetup;
  return FlashMode::kRead;
}

FlashMode next_mode(FlashDevice& device, std::uint32_t at, std::uint16_t data) {
  const auto command = static_cast<std::uint8_t>(data);
  switch (device.mode) {
    case FlashMode::kRead:
    case FlashMode::kIdentify:
    case FlashMode::kQuery:
      if (command == 0xF0) return FlashMode::kRead;
      return from_read(device, at, command);
    case FlashMode::kUnlock1:
      return at == kUnlockAddress2 && command == 0x55 ? FlashMode::kUnlock2 : FlashMode::kRead;
    case FlashMode::kUnlock2: return unlocked_command(device, at, command);
    case FlashMode::kEraseSetup:
      return at == kUnlockAddress1 && command == 0xAA ? FlashMode::kEraseUnlock1 : FlashMode::kRead;
    case FlashMode::kEraseUnlock1:
      return at == kUnlockAddress2 && command == 0x55 ? FlashMode::kEraseUnlock2 : FlashMode::kRead;
    case FlashMode::kEraseUnlock2:
      if (command == 0x30) erase(device, block_of(at), block_of(at));
      if (command == 0x10 && at == kUnlockAddress1) erase(device, 0, kFlashBlocks - 1);
      return FlashMode::kRead;
    case FlashMode::kProgram: program(device, at, data); return FlashMode::kRead;
    case FlashMode::kBypass:
      if (command == 0xA0) return FlashMode::kBypassProgram;
      return command == 0x90 ? FlashMode::kBypassExit : FlashMode::kBypass;
    case FlashMode::kBypassProgram: program(device, at, data); return FlashMode::kBypass;
    case FlashMode::kBypassExit: return command == 0x00 ? FlashMode::kRead : FlashMode::kBypass;
    case FlashMode::kProtectBits:
      if (command == 0xA0) return FlashMode::kProtectBitsProgram;
      if (command == 0x80) return FlashMode::kProtectBitsErase;
      return command == 0x90 ? FlashMode::kProtectBitsExit : FlashMode::kProtectBits;
    case FlashMode::kProtectBitsProgram:
      set_protection(device, block_of(at), block_of(at), true);
      start_busy(device, device.timing.program_us, false, 0);
      return FlashMode::kProtectBits;
    case FlashMode::kProtectBitsErase:
      if (command == 0x30) {
        set_protection(device, 0, kFlashBlocks - 1, false);
        start_busy(device, device.timing.erase_us, true, 0xFFFF);
      }
      return FlashMode::kProtectBits;
    case FlashMode::kProtectBitsExit: return command == 0x00 ? FlashMode::kRead : FlashMode::kProtectBits;
    case FlashMode::kLegacySetup:
    case FlashMode::kLegacyVerify:
      if (command == 0x60) legacy_group_command(device, at);
      if (command == 0x40) return FlashMode::kLegacyVerify;
      return command == 0xF0 ? FlashMode::kRead : FlashMode::kLegacySetup;
  }
  return FlashMode::kRead;
}

}  // namespace

void flash_group_of(std::uint32_t block, std::uint32_t* first, std::uint32_t* last) {
  block %= kFlashBlocks;
  if (block < 4 || block >= kFlashBlocks - 4) {
    *first = *last = block;
    return;
  }
  *first = block / 4 * 4;
  *last = *first + 3;
}

void flash_write_cycle(FlashDevice& device, std::uint32_t word_address, std::uint16_t data) {
  if (busy(device)) return;  // the device takes no command until it is done
  device.mode = next_mode(device, word_address % kFlashWords, data);
}

std::uint16_t flash_read_cycle(FlashDevice& device, std::uint32_t word_address) {
  const std::uint32_t at = word_address % kFlashWords;
  if (busy(device)) return device.busy_erase ? 0 : static_cast<std::uint16_t>(~device.busy_data & 0x80);
  switch (device.mode) {
    case FlashMode::kIdentify: return identify_read(device, at);
    case FlashMode::kQuery: return query_read(device, at);
    case FlashMode::kProtectBits: return device.protected_blocks[block_of(at)] != 0 ? 0 : 1;
    case FlashMode::kLegacyVerify: return device.protected_blocks[block_of(at)] != 0 ? 1 : 0;
    default:
      ++device.array_reads;
      return array_read(device, at);
  }
}

void flash_reset(FlashDevice& device) {
  device.mode = FlashMode::kRead;
  device.reset_recovery_reads = 1;
}

bool flash_ready(FlashDevice& device) {
  if (device.reset_recovery_reads != 0) {
    --device.reset_recovery_reads;
    return false;
  }
  return !busy(device);
}

}  // namespace plat::board
