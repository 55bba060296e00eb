#include "platform/board/board_front_end.h"

#include <cstring>
#include <mutex>

#include "platform/board/board_state.h"

namespace plat::board {

bool front_end_register_read(const Board& board, std::uint32_t offset, std::uint32_t* value) {
  return front_end_read(board.front_end, offset, value);
}

bool front_end_register_write(Board& board, std::uint32_t offset, std::uint32_t value) {
  return front_end_write(board.front_end, offset, value);
}

std::uint32_t front_end_link_status(const Board& board) { return board.front_end.link_status; }

bool board_front_end_set_pocl_fault(Board* board, std::uint32_t camera, bool fault) {
  if (camera >= kFrontEndCameras) return false;
  std::lock_guard guard(board->lock);
  board->front_end.pocl_fault[camera] = fault;
  return true;
}

void board_front_end_set_link_status(Board* board, std::uint32_t lines) {
  std::lock_guard guard(board->lock);
  board->front_end.link_status = lines & kCameraLinkStatusLines;
}

void board_front_end_set_binarisation_present(Board* board, bool present) {
  std::lock_guard guard(board->lock);
  board->front_end.binarisation_present = present;
}

std::uint32_t board_front_end_lut_loads(Board* board) {
  std::lock_guard guard(board->lock);
  return board->front_end.lut_loads;
}

bool board_front_end_lut_peek(Board* board, std::uint32_t address, std::uint32_t count,
                              std::vector<std::uint8_t>* bytes) {
  if (address % 4 != 0 || count % 4 != 0 || count > kMemoryWindowWords * 4) return false;
  std::lock_guard guard(board->lock);
  bytes->resize(count);
  for (std::uint32_t at = 0; at < count; at += 4) {
    std::uint32_t word = 0;
    if (!memory_window_contains(address + at) || !memory_windows_read(board->windows, address + at, &word))
      return false;
    std::memcpy(bytes->data() + at, &word, sizeof word);
  }
  return true;
}

}  // namespace plat::board
