// For tests and tools: a board's flash as a programmer on the bench sees it,
// and its faults (flash_device.h, flash_reload.h).
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/board/board.h"

namespace plat::board {

// False for a range outside the flash.
bool board_flash_peek(Board* board, std::uint32_t offset, std::uint32_t count, std::vector<std::uint8_t>* bytes);
// Replaces bytes whatever the protection (persisted).
bool board_flash_program(Board* board, std::uint32_t offset, std::span<const std::uint8_t> bytes);
// 1 persistent per-block protection, 2 legacy group protection (persisted); false for another value.
bool board_flash_set_protection_scheme(Board* board, std::uint32_t scheme);
// Flash state: bit 0 a reload is running, bit 1 the last reload took the
// backup; the scheme in bits 8..15; one byte per block, 1 when protected.
enum : std::uint32_t { kFlashStateReloading = 0x1, kFlashStateFromBackup = 0x2 };
std::uint32_t board_flash_state(Board* board, std::array<std::uint8_t, 64>* protection);

// Faults: the next `count` program runs leave a word that fails its
// read-back; a reload that never brings the board back.
void board_flash_set_verify_failures(Board* board, std::uint32_t count);
void board_flash_set_reload_never_returns(Board* board, bool on);
// Timing: 0 erase time in microseconds, 1 program time in microseconds,
// 2 reload time in milliseconds. False for another item.
bool board_flash_set_timing(Board* board, std::uint32_t item, std::uint32_t value);

}  // namespace plat::board
