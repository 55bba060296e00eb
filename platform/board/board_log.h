// The board model's lines in the machine log (module label "board").
#pragma once

#include <cstdint>
#include <string_view>

namespace plat::board {

inline constexpr std::uint32_t kBoardLogError = 1;
inline constexpr std::uint32_t kBoardLogWarning = 2;
inline constexpr std::uint32_t kBoardLogInfo = 3;

// The caller's file and line come from the compiler's builtins, which every
// compiler the project builds with has (std::source_location needs newer ones).
void board_log(std::uint32_t level, std::string_view text, const char* file = __builtin_FILE(),
               int line = __builtin_LINE());

}  // namespace plat::board
