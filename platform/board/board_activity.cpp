#include "platform/board/board_activity.h"

#include "platform/board/board_state.h"

namespace plat::board {

BoardActivity board_activity(Board* board) {
  std::lock_guard guard(board->lock);
  BoardActivity activity;
  activity.logic_resets = board->fpga.logic_resets;
  activity.flash_array_reads = board->flash.device.array_reads;
  for (const EepromDevice& device : board->i2c.eeproms) activity.eeprom_accesses += device.accesses;
  return activity;
}

}  // namespace plat::board
