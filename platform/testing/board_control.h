// Client of the kernel host's board control interface, for tests and tools:
// each call is one request on its own connection to
// "<machine>/board-control.sock". Every call answers a ControlStatus
// (control_protocol.h): kControlOk, or why not (kControlUnreachable when no
// kernel host serves the machine).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/board/board.h"
#include "platform/board/control_protocol.h"

namespace plat::testing {

struct BoardListing {
  int index;
  std::string model;
  bool present;  // false once removed
  plat::board::PciLocation location;
  plat::board::PciLocation bridge;
};

int board_control_list(std::vector<BoardListing>* boards);

// Configuration space of board `board`'s function, or of the bridge above it.
int board_control_config_read(int board, std::uint32_t offset, std::uint32_t width,
                              std::uint32_t* value, bool bridge = false);
int board_control_config_write(int board, std::uint32_t offset, std::uint32_t width,
                               std::uint32_t value, bool bridge = false);

int board_control_register_read(int board, std::uint32_t offset, std::uint32_t* value, int bar = 0);
int board_control_register_write(int board, std::uint32_t offset, std::uint32_t value, int bar = 0);

// Latches `bits` in an interrupt status register (0x404, 0x408, 0x40C, 0x44C, 0x10014).
int board_control_raise_status(int board, std::uint32_t status_register, std::uint32_t bits);
int board_control_interrupt_asserted(int board, bool* asserted);
int board_control_set_vanished(int board, bool vanished);
// Writes host memory at a bus address by the board's DMA.
int board_control_dma_write(int board, std::uint64_t bus_address, std::span<const std::byte> data);
// Removes the board through the kernel host's Plug and Play.
int board_control_remove(int board);

}  // namespace plat::testing
