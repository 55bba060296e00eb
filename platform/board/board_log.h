// The board model's lines in the machine log (module label "board").
#pragma once

#include <cstdint>
#include <source_location>
#include <string_view>

namespace plat::board {

inline constexpr std::uint32_t kBoardLogError = 1;
inline constexpr std::uint32_t kBoardLogWarning = 2;
inline constexpr std::uint32_t kBoardLogInfo = 3;

void board_log(std::uint32_t level, std::string_view text,
               std::source_location where = std::source_location::current());

}  // namespace plat::board
