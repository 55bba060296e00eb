// The interrupt block: where the board's events become the interrupt line.
//
// Registers (BAR 0 offsets), named from what the driver does with them:
// - 0x404 main status. Event bits latch; writing ones clears them (the
//   interrupt routine writes back what it read). Bits 31 and 30 are not
//   latched: they read 1 while the auxiliary status 0x408 / 0x40C is non-zero.
// - 0x408, 0x40C auxiliary statuses: latched, write-one-to-clear.
// - 0x418 event enables: bits 16..17 enable main bit 3, bits 18..19 main
//   bit 4. Its low 15 bits are the cameras' status lines, read-only (0 until
//   the camera inputs are modelled).
// - 0x424 transfer event enables: bit 17 or 19 enables main bit 7. Low 4 bits
//   read-only status (0).
// - 0x42C interrupt mask: bit 0 is the master enable; bit 4 enables main
//   bit 9; bits 8..11 enable main bits 10, 18, 19, 20.
// - 0x44C on-board memory region events: latched, write-one-to-clear; an
//   event also latches main bit 9.
// - 0x10014 host DMA status: bit 7 latches when the host DMA engine has
//   messages for the driver (write-one-to-clear). The register file answers
//   the register as a whole with the message FIFO's bits (host_messages.h).
//
// Main-status bits without an enable of their own (the serial, on-board
// memory, host DMA, timer and auxiliary summaries) are always enabled: the
// driver never masks them, so the simplest consistent model gates them by the
// master enable alone. The host DMA status bit 7 is likewise gated by the
// master enable only.
//
// Level: asserted while the master enable is set and an enabled status bit is
// pending (and the function's interrupt-disable bit is clear).
#pragma once

#include <cstdint>

namespace plat::board {

inline constexpr std::uint32_t kRegMainStatus = 0x404;
inline constexpr std::uint32_t kRegAuxStatusA = 0x408;
inline constexpr std::uint32_t kRegAuxStatusB = 0x40C;
inline constexpr std::uint32_t kRegEventEnables = 0x418;
inline constexpr std::uint32_t kRegTransferEventEnables = 0x424;
inline constexpr std::uint32_t kRegInterruptMask = 0x42C;
inline constexpr std::uint32_t kRegMemoryRegionEvents = 0x44C;
inline constexpr std::uint32_t kRegHostDmaStatus = 0x10014;

inline constexpr std::uint32_t kMaskMasterEnable = 0x1;
inline constexpr std::uint32_t kMainAuxASummary = 0x80000000;
inline constexpr std::uint32_t kMainAuxBSummary = 0x40000000;
inline constexpr std::uint32_t kMainMemoryRegionEvent = 0x200;
inline constexpr std::uint32_t kHostDmaMessagePending = 0x80;
inline constexpr std::uint32_t kHostDmaQueueEmpty = 0x4;

struct InterruptBlock {
  std::uint32_t main_status = 0;  // latched bits only (no summaries)
  std::uint32_t aux_a = 0;
  std::uint32_t aux_b = 0;
  std::uint32_t event_enables = 0;           // 0x418 bits 15..31
  std::uint32_t transfer_event_enables = 0;  // 0x424 bits 4..31
  std::uint32_t mask = 0;
  std::uint32_t memory_region_events = 0;
  std::uint32_t host_dma_status = 0;  // latched bit 7
  // Main-status bits that follow a level of another block rather than latch
  // (bit 0: the serial ports, uart_block.h); acknowledging them does nothing.
  std::uint32_t level_bits = 0;
};

// Register access; false when the offset is not this block's.
bool interrupt_block_read(const InterruptBlock& block, std::uint32_t offset, std::uint32_t* value);
bool interrupt_block_write(InterruptBlock& block, std::uint32_t offset, std::uint32_t value);

// An event: latches bits in one of the status registers above (0x404, 0x408,
// 0x40C, 0x44C, 0x10014). False for any other register.
bool interrupt_block_raise(InterruptBlock& block, std::uint32_t status_register, std::uint32_t bits);

// The main-status bits the current enables let through.
std::uint32_t interrupt_enabled_main_bits(const InterruptBlock& block);
// Master enable set and an enabled status pending.
bool interrupt_block_requests(const InterruptBlock& block);

}  // namespace plat::board
