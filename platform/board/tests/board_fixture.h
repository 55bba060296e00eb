// A fresh machine with one board of a chosen model, for the board's tests.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/board/board.h"
#include "platform/board/config_space.h"
#include "platform/testing/machine_fixture.h"

namespace plat::board {

struct BoardDeleter {
  void operator()(Board* board) const { board_destroy(board); }
};
using BoardPtr = std::unique_ptr<Board, BoardDeleter>;

inline BoardPtr make_board(const std::string& model, int index = 0) {
  return BoardPtr(board_create(BoardConfig{model}, index));
}

}  // namespace plat::board
