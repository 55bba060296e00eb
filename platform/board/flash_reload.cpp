#include "platform/board/flash_reload.h"

#include <cstring>
#include <span>
#include <string>

#include "driver/user/CbhRecords.h"

#include "platform/board/board_log.h"
#include "platform/board/capability_register.h"
#include "platform/board/flash_factory.h"
#include "platform/board/pci_function.h"

namespace plat::board {

namespace {

bool section_design(const FlashBlock& flash, std::uint32_t offset, BitstreamDesign* design) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(flash.device.words);
  return bitstream_validate(std::span(bytes + offset, kFlashSectionSize), FpgaKind::kMain, design) ==
         BitstreamError::kNone;
}

constexpr std::uint32_t kMainSlot = 1;
constexpr std::uint32_t kBackupSlot = 0;
constexpr std::uint32_t kSlotHeaderOffset = 12;

// The header in the booted section's slot; false when the slot holds none.
bool section_header(const FlashBlock& flash, bool backup, CbhHeader* header) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(flash.device.words);
  const std::uint32_t slot = kFlashHeaderArea + (backup ? kBackupSlot : kMainSlot) * kFlashHeaderSlotSize;
  std::uint32_t magic = 0;
  std::memcpy(&magic, bytes + slot, sizeof magic);
  if (magic != kFlashSlotMagic) return false;
  std::memcpy(header, bytes + slot + kSlotHeaderOffset, sizeof *header);
  return std::memcmp(header->magic, kCbhMagic.data(), kCbhMagic.size()) == 0;
}

std::uint32_t link_code(const BoardPreset& preset) { return (preset.link_width / 2u) & 3u; }

// The blocks that the firmware's identity decides.
void apply_firmware_identity(Board& board, std::uint32_t firmware_id, std::uint32_t options, bool from_backup) {
  board.identity.fpga_id = firmware_id;
  board.identity.option_bits = options;
  control_registers_write(board.registers, kRegCapabilities, firmware_capabilities(options));
  const std::uint32_t second_front_end = (options & kFirmwareSingleCamera) != 0 ? 0 : kFrontEndIdentity;
  control_registers_set_inputs(board.registers, kRegFrontEndIdentity + kChannelStride, second_front_end);
  control_registers_set_inputs(board.registers, kRegFpgaState,
                               (from_backup ? kFpgaStateBackup : 0) |
                                   (link_code(*board.preset) << kFpgaStateLinkShift));
}

// The section the FPGA configures from: the main one, else the backup.
bool pick_section(const FlashBlock& flash, BitstreamDesign* design, bool* from_backup) {
  *from_backup = false;
  if (section_design(flash, kFlashMainOffset, design)) return true;
  *from_backup = true;
  return section_design(flash, kFlashBackupOffset, design);
}

void take_booted_identity(Board& board, const BitstreamDesign& design, bool from_backup) {
  CbhHeader header{};
  if (section_header(board.flash, from_backup, &header))
    apply_firmware_identity(board, header.firmwareId, header.optionBits, from_backup);
  else
    apply_firmware_identity(board, design.design_id, 0, from_backup);
}

void reset_after_reconfiguration(Board& board) {
  board.interrupts = InterruptBlock{};
  control_registers_reset(board.registers);
  board.arbiter = PackerArbiter{};
  board.function_config = make_function_config(*board.preset, board.index);
  config_set(board.function_config, kCfgCommand, 2, 0);
  config_set(board.function_config, kCfgBar0, 4, 0);
}

// False when neither section configures the FPGA.
bool reconfigure(Board& board) {
  BitstreamDesign design{};
  bool from_backup = false;
  if (!pick_section(board.flash, &design, &from_backup)) return false;
  reset_after_reconfiguration(board);
  board_fpga_configured(board, design, from_backup);
  take_booted_identity(board, design, from_backup);
  board_log(kBoardLogInfo, "board " + std::to_string(board.index) + ": reloaded from the " +
                               (from_backup ? "backup" : "main") + " flash section");
  return true;
}

}  // namespace

void board_fpga_configured(Board& board, const BitstreamDesign& design, bool from_backup) {
  board.fpga.main = make_fpga_port(0, true);
  board.fpga.main.design = design;
  board.flash.reload.from_backup = from_backup;
  apply_firmware_identity(board, design.design_id, 0, from_backup);
}

void board_boot_from_flash(Board& board) {
  BitstreamDesign design{};
  bool from_backup = false;
  if (!pick_section(board.flash, &design, &from_backup)) {
    board_log(kBoardLogWarning, "board " + std::to_string(board.index) + ": no valid FPGA image in flash at power-on");
    apply_firmware_identity(board, board.preset->fpga_id, 0, false);
    return;
  }
  board_fpga_configured(board, design, from_backup);
  take_booted_identity(board, design, from_backup);
  if (from_backup)
    board_log(kBoardLogInfo, "board " + std::to_string(board.index) + ": booted the backup flash section");
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
