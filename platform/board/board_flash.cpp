#include "platform/board/board_flash.h"

#include <algorithm>
#include <cstring>

#include "platform/board/board_state.h"

namespace plat::board {

namespace {

bool in_flash(std::uint32_t offset, std::size_t count) {
  return offset <= kFlashBytes && count <= kFlashBytes - offset;
}

std::uint8_t* flash_bytes(Board* board) { return reinterpret_cast<std::uint8_t*>(board->flash.device.words); }

}  // namespace

bool board_flash_peek(Board* board, std::uint32_t offset, std::uint32_t count, std::vector<std::uint8_t>* bytes) {
  std::lock_guard guard(board->lock);
  if (!in_flash(offset, count) || board->flash.device.words == nullptr) return false;
  bytes->assign(flash_bytes(board) + offset, flash_bytes(board) + offset + count);
  return true;
}

bool board_flash_program(Board* board, std::uint32_t offset, std::span<const std::uint8_t> bytes) {
  std::lock_guard guard(board->lock);
  if (!in_flash(offset, bytes.size()) || board->flash.device.words == nullptr) return false;
  if (!bytes.empty()) std::memcpy(flash_bytes(board) + offset, bytes.data(), bytes.size());
  return true;
}

bool board_flash_set_protection_scheme(Board* board, std::uint32_t scheme) {
  if (scheme != static_cast<std::uint32_t>(FlashProtectionScheme::kPersistent) &&
      scheme != static_cast<std::uint32_t>(FlashProtectionScheme::kLegacyGroups))
    return false;
  std::lock_guard guard(board->lock);
  board->flash.device.scheme = static_cast<FlashProtectionScheme>(scheme);
  board->flash.device.protection_changed = true;
  flash_store_save_protection(board->flash.store, board->flash.device);
  return true;
}

std::uint32_t board_flash_state(Board* board, std::array<std::uint8_t, 64>* protection) {
  std::lock_guard guard(board->lock);
  const FlashBlock& flash = board->flash;
  if (protection != nullptr) *protection = flash.device.protected_blocks;
  std::uint32_t state = static_cast<std::uint32_t>(flash.device.scheme) << 8;
  if (flash.reload.running) state |= kFlashStateReloading;
  if (flash.reload.from_backup) state |= kFlashStateFromBackup;
  return state;
}

void board_flash_set_verify_failures(Board* board, std::uint32_t count) {
  std::lock_guard guard(board->lock);
  board->flash.device.verify_failures = count;
}

void board_flash_set_reload_never_returns(Board* board, bool on) {
  std::lock_guard guard(board->lock);
  board->flash.reload.never_returns = on;
}

bool board_flash_set_timing(Board* board, std::uint32_t item, std::uint32_t value) {
  std::lock_guard guard(board->lock);
  switch (item) {
    case 0: board->flash.device.timing.erase_us = std::min(value, 1000000u); return true;
    case 1: board->flash.device.timing.program_us = std::min(value, 1000000u); return true;
    case 2: board->flash.reload.reload_ms = std::min(value, 60000u); return true;
    default: return false;
  }
}

}  // namespace plat::board
