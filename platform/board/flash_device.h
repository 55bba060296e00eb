// The board's parallel NOR flash: 4 MiB as 2 Mi 16-bit words in 64 blocks of
// 64 KiB, driven one bus cycle at a time (flash_port.h). The device knows the
// usual command family of such parts:
// - unlock (0x555 AA, 0x2AA 55) then at 0x555: 90 identification, 80 erase
//   (unlock again, then 30 at the block or 10 at 0x555 for the whole chip),
//   20 unlock bypass (A0 + one word per program; exit 90, 00), A0 a single
//   program, C0 the persistent protection bits (A0 + block: set; 80, 30: clear
//   all; exit 90, 00; a read at a block answers 0 when protected, 1 when not);
// - 98 at 0x55: the query table; F0 anywhere outside a command mode: read.
// - Legacy group protection, only with the programming voltage on: 60 enters,
//   then 60 at a word with address bit 6 clear protects that address's group,
//   with bit 6 set unprotects it; 40 then a read answers 1 for a protected
//   group, 0 for a free one. Groups: blocks 0..3 and 60..63 alone, the others
//   by four.
// Which of the two protection schemes a board has is chosen per board; the
// other scheme's commands are ignored. Identification word 3 and query word
// 0x49 tell them apart (0x1A / 8 persistent, 0x19 / 4 legacy); word 2 of a
// block in identification mode is its protection state.
//
// Programming only clears bits; erasing sets a block to all ones; a protected
// block ignores both. Erase and program leave the device busy for a
// configurable time (the effect is at once, the status shows it until then):
// reads while busy answer the data poll (bit 7 the complement of the data
// being written, 0 for an erase) and the ready line is low.
//
// Fault knob: verify failures. While the count is not 0, one programmed word
// of the next program run is weak: it reads right once (the program's own
// poll) and then loses bit 0 (the count drops by one each time).
#pragma once

#include <array>
#include <chrono>
#include <cstdint>

namespace plat::board {

inline constexpr std::uint32_t kFlashBytes = 4u << 20;
inline constexpr std::uint32_t kFlashWords = kFlashBytes / 2;
inline constexpr std::uint32_t kFlashBlocks = 64;
inline constexpr std::uint32_t kFlashBlockBytes = 0x10000;
inline constexpr std::uint32_t kFlashBlockWords = kFlashBlockBytes / 2;

enum class FlashProtectionScheme : std::uint8_t { kPersistent = 1, kLegacyGroups = 2 };

inline constexpr std::uint16_t kFlashMakerId = 0x0051;
inline constexpr std::uint16_t kFlashDeviceId = 0x227E;
inline constexpr std::uint16_t kFlashSchemeWordPersistent = 0x1A;
inline constexpr std::uint16_t kFlashSchemeWordLegacy = 0x19;

enum class FlashMode : std::uint8_t {
  kRead,
  kUnlock1,
  kUnlock2,
  kIdentify,
  kQuery,
  kEraseSetup,
  kEraseUnlock1,
  kEraseUnlock2,
  kProgram,
  kBypass,
  kBypassProgram,
  kBypassExit,
  kProtectBits,
  kProtectBitsProgram,
  kProtectBitsErase,
  kProtectBitsExit,
  kLegacySetup,
  kLegacyVerify,
};

using FlashClock = std::chrono::steady_clock;

struct FlashTiming {
  std::uint32_t erase_us = 2000;
  std::uint32_t program_us = 0;
};

struct FlashDevice {
  std::uint16_t* words = nullptr;  // kFlashWords, owned by the store (flash_store.h)
  FlashProtectionScheme scheme = FlashProtectionScheme::kPersistent;
  std::array<std::uint8_t, kFlashBlocks> protected_blocks{};
  bool protection_changed = false;  // to be persisted
  FlashMode mode = FlashMode::kRead;
  bool programming_voltage = false;
  FlashTiming timing;
  // Busy state of the running erase or program.
  FlashClock::time_point busy_until{};
  bool busy_erase = false;
  std::uint16_t busy_data = 0;
  std::uint32_t reset_recovery_reads = 0;  // reads that still see the ready line low
  std::uint32_t array_reads = 0;           // bus reads of the array (tests read it)
  // Verify failures.
  std::uint32_t verify_failures = 0;
  bool weak_armed = false;
  std::uint32_t weak_word = 0;
  std::uint32_t weak_good_reads = 0;
};

// One bus cycle. Addresses are word addresses (taken modulo the device).
void flash_write_cycle(FlashDevice& device, std::uint32_t word_address, std::uint16_t data);
std::uint16_t flash_read_cycle(FlashDevice& device, std::uint32_t word_address);
// The reset line: back to reading the array (a running erase or program ends as it is).
void flash_reset(FlashDevice& device);
// The ready line (low while busy and just after a reset).
bool flash_ready(FlashDevice& device);

// Group of a block under legacy protection: its first and last block.
void flash_group_of(std::uint32_t block, std::uint32_t* first, std::uint32_t* last);

}  // namespace plat::board
