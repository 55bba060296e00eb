#include "platform/board/flash_reload.h"

#include <span>
#include <string>

#include "platform/board/board_log.h"
#include "platform/board/flash_factory.h"
#include "platform/board/pci_function.h"

namespace plat::board {

namespace {

bool section_design(const FlashBlock& flash, std::uint32_t offset, BitstreamDesign* design) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(flash.device.words);
  return bitstream_validate(std::span(bytes + offset, kFlashSectionSize), FpgaKind::kMain, design) ==
         BitstreamError::kNone;
}

void reset_after_reconfiguration(Board& board) {
  board.interrupts = InterruptBlock{};
  control_registers_reset(board.registers);
  board.function_config = make_function_config(*board.preset, board.index);
  config_set(board.function_config, kCfgCommand, 2, 0);
  config_set(board.function_config, kCfgBar0, 4, 0);
}

// False when neither section configures the FPGA.
bool reconfigure(Board& board) {
  BitstreamDesign design{};
  bool from_backup = false;
  if (!section_design(board.flash, kFlashMainOffset, &design)) {
    if (!section_design(board.flash, kFlashBackupOffset, &design)) return false;
    from_backup = true;
  }
  reset_after_reconfiguration(board);
  board_fpga_configured(board, design, from_backup);
  board_log(kBoardLogInfo, "board " + std::to_string(board.index) + ": reloaded from the " +
                               (from_backup ? "backup" : "main") + " flash section");
  return true;
}

}  // namespace

void board_fpga_configured(Board& board, const BitstreamDesign& design, bool from_backup) {
  board.identity.fpga_id = design.design_id;
  board.fpga.main = make_fpga_port(0, true);
  board.fpga.main.design = design;
  board.flash.reload.from_backup = from_backup;
  control_registers_set_inputs(board.registers, kRegFpgaState, from_backup ? kFpgaStateBackup : 0);
}

bool flash_reload_hides(Board& board) {
  FlashReloadState& reload = board.flash.reload;
  if (!reload.running) return false;
  if (reload.never_returns || FlashClock::now() < reload.done_at) return true;
  if (!reconfigure(board)) {
    board_log(kBoardLogError, "board " + std::to_string(board.index) + ": no valid FPGA image in flash");
    reload.never_returns = true;
    return true;
  }
  reload.running = false;
  return false;
}

}  // namespace plat::board
