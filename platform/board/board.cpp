#include "platform/board/board.h"

#include <algorithm>
#include <iterator>
#include <string>

#include "platform/board/board_state.h"
#include "platform/board/eeprom_images.h"
#include "platform/board/flash_reload.h"
#include "platform/board/interrupt_line.h"
#include "platform/board/pci_bridge.h"
#include "platform/board/pci_function.h"
#include "platform/board/register_file.h"
#include "platform/win/machine.h"

namespace plat::board {

Board* board_create(const BoardConfig& config, int index) {
  const BoardPreset* preset = find_preset(config.model);
  if (preset == nullptr || index < 0 || index >= kMaxBoards) return nullptr;
  auto* board = new Board;
  board->config = config;
  board->preset = preset;
  board->index = index;
  board->function_config = make_function_config(*preset, index);
  board->bridge_config = make_bridge_config(index, function_bar0_address(board->function_config),
                                            kBarWindowStride);
  board->identity.fpga_id = preset->fpga_id;
  control_registers_reset(board->registers);
  // The EEPROMs keep their contents in the machine directory, per board.
  const std::string eeprom_dir = plat::machine_dir().empty() ? std::string()
                                 : plat::machine_path("boards/" + std::to_string(index));
  i2c_bus_open(board->i2c, preset->subsystem_id, index, eeprom_dir);
  flash_store_open(board->flash.store, board->flash.device, *preset, eeprom_dir);
  onboard_memory_set_size(board->onboard,
                          eeprom_memory_megabytes(i2c_bus_eeprom(board->i2c, kEepromMain)->memory));
  board_boot_from_flash(*board);
  return board;
}

void board_destroy(Board* board) {
  if (board == nullptr) return;
  {
    std::unique_lock guard(board->lock);
    board->line.idle.wait(guard, [&] { return !board->line.reporting; });
  }
  flash_store_close(board->flash.store, board->flash.device);
  delete board;
}

const BoardConfig& board_config(const Board* board) { return board->config; }
int board_index(const Board* board) { return board->index; }

PciLocation board_location(const Board* board) {
  return PciLocation{static_cast<std::uint8_t>(board->index + 1), 0, 0};
}

PciLocation board_bridge_location(const Board* board) {
  return PciLocation{0, static_cast<std::uint8_t>(board->index + 1), 0};
}

std::uint32_t config_read(Board* board, std::uint32_t offset, std::uint32_t width) {
  if (!config_access_valid(offset, width)) return config_all_ones(width);
  std::lock_guard guard(board->lock);
  if (board->vanished || flash_reload_hides(*board)) return config_all_ones(width);
  ConfigSpace& space = board->function_config;
  // The interrupt status bit follows the line's request, whatever the disable bit.
  std::uint32_t status = config_get(space, kCfgStatus, 2) & ~std::uint32_t{kStatusInterrupt};
  if (interrupt_block_requests(board->interrupts)) status |= kStatusInterrupt;
  config_set(space, kCfgStatus, 2, status);
  return config_get(space, offset, width);
}

void config_write(Board* board, std::uint32_t offset, std::uint32_t width, std::uint32_t value) {
  if (!config_access_valid(offset, width)) return;
  {
    std::lock_guard guard(board->lock);
    if (board->vanished || flash_reload_hides(*board)) return;
    config_write_masked(board->function_config, offset, width, value);
  }
  interrupt_line_update(*board);  // the interrupt-disable bit may have changed
}

std::uint32_t bridge_config_read(Board* board, std::uint32_t offset, std::uint32_t width) {
  if (!config_access_valid(offset, width)) return config_all_ones(width);
  std::lock_guard guard(board->lock);
  return config_get(board->bridge_config, offset, width);
}

void bridge_config_write(Board* board, std::uint32_t offset, std::uint32_t width, std::uint32_t value) {
  if (!config_access_valid(offset, width)) return;
  std::lock_guard guard(board->lock);
  config_write_masked(board->bridge_config, offset, width, value);
}

std::vector<BarRange> board_bars(const Board* board) {
  std::lock_guard guard(board->lock);
  return {BarRange{0, function_bar0_address(board->function_config), kBar0Size}};
}

namespace {

// With the board's lock held: its registers answer no access.
bool registers_hidden(Board& board) {
  return board.vanished || flash_reload_hides(board) || !function_memory_enabled(board.function_config);
}

}  // namespace

std::uint32_t bar_read32(Board* board, int bar, std::uint64_t offset) {
  std::lock_guard guard(board->lock);
  if (registers_hidden(*board)) return 0xFFFFFFFF;
  // Only BAR 0 exists: anything else is an access to nothing, logged as such.
  return register_read(*board, bar == 0 ? offset : kBar0Size);
}

void bar_write32(Board* board, int bar, std::uint64_t offset, std::uint32_t value) {
  {
    std::unique_lock guard(board->lock);
    if (registers_hidden(*board)) return;
    if (bar == 0 && dma_engines_stop_channel(board->dma, offset, value)) {
      grab_worker_drain(*board, guard);
      if (registers_hidden(*board)) return;
    }
    register_write(*board, bar == 0 ? offset : kBar0Size, value);
  }
  interrupt_line_update(*board);
}

void board_set_interrupt_callback(Board* board, InterruptLineCallback callback, void* context) {
  interrupt_line_connect(*board, callback, context);
}

bool board_interrupt_asserted(const Board* board) {
  std::lock_guard guard(board->lock);
  return interrupt_line_level(*board);
}

bool board_raise_status(Board* board, std::uint32_t status_register, std::uint32_t bits) {
  bool known = false;
  {
    std::lock_guard guard(board->lock);
    known = interrupt_block_raise(board->interrupts, status_register, bits);
  }
  interrupt_line_update(*board);
  return known;
}

bool board_post_host_message(Board* board, const std::uint32_t (&words)[8]) {
  HostMessage message{};
  std::copy(std::begin(words), std::end(words), message.begin());
  bool posted = false;
  {
    std::lock_guard guard(board->lock);
    posted = host_messages_post(board->host_messages, board->interrupts, message);
  }
  interrupt_line_update(*board);
  return posted;
}

void board_set_vanished(Board* board, bool vanished) {
  board_set_vanish_mode(board, vanished ? VanishMode::kVanished : VanishMode::kPresent);
}

void board_set_vanish_mode(Board* board, VanishMode mode) {
  {
    std::lock_guard guard(board->lock);
    board->vanished = mode != VanishMode::kPresent;
    board->vanished_line_held = mode == VanishMode::kVanishedLineHeld;
  }
  interrupt_line_update(*board);
}

bool board_set_register_inputs(Board* board, std::uint32_t offset, std::uint32_t value) {
  std::lock_guard guard(board->lock);
  return control_registers_set_inputs(board->registers, offset, value);
}

bool board_peek_register(Board* board, std::uint32_t offset, std::uint32_t* value) {
  std::lock_guard guard(board->lock);
  return control_registers_peek(board->registers, offset, value);
}

bool board_register_writes(Board* board, std::uint32_t offset, std::uint32_t* count) {
  if (offset >= kRegisterSpaceSize || offset % 4 != 0) return false;
  std::lock_guard guard(board->lock);
  *count = board->writes.counts[offset / 4];
  return true;
}

bool board_peek_processing(Board* board, std::uint32_t unit, std::uint32_t address, bool index_register,
                           std::uint32_t* value) {
  std::lock_guard guard(board->lock);
  return index_register ? processing_index_peek(board->processing, unit, address, value)
                        : processing_memory_peek(board->processing, unit, address, value);
}

bool board_vanished(const Board* board) {
  std::lock_guard guard(board->lock);
  return board->vanished;
}

}  // namespace plat::board
