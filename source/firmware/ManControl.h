// Manager control: the board-management channel behind manager commands 1006
// and 1018, and its second table, the board private commands. Codes without a
// row answer 70.
#pragma once

#include <cstdint>

#include "source/QelAPI/QelStatus.h"

inline constexpr std::uint32_t kManControlCapabilityWord = 0x80000066;

// Zeroes the output first, whatever the code.
QelStatus ManControl(std::uint32_t board, std::uint32_t code, const void* input, std::uint32_t inputSize,
                     void* output, std::uint32_t outputSize);
QelStatus BoardPrivateCommand(std::uint32_t board, std::uint32_t code, const void* input, std::uint32_t inputSize,
                              void* output, std::uint32_t outputSize);
