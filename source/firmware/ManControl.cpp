#include "source/firmware/ManControl.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr QelStatus kNoRow = 70;
constexpr QelStatus kInputMissing = 822;
constexpr QelStatus kOutputMissing = 1334;
constexpr std::uint32_t kFirstPrivateCode = 0x8000000D;
constexpr std::uint32_t kLastPrivateCode = 0x80000068;

// The capability word of the board: 1 for the capabilities 1, 32 and 160.
// The row tests no size: a shorter input reads as zeros, a shorter output
// gets what fits.
QelStatus CapabilityWord(const void* input, std::uint32_t inputSize, void* output, std::uint32_t outputSize) {
  if (input == nullptr) return kInputMissing;
  if (output == nullptr) return kOutputMissing;
  std::uint32_t asked = 0;
  std::memcpy(&asked, input, std::min<std::uint32_t>(inputSize, sizeof asked));
  const std::uint32_t word = (asked == 1 || asked == 32 || asked == 160) ? 1 : 0;
  std::memcpy(output, &word, std::min<std::uint32_t>(outputSize, sizeof word));
  return QEL_OK;
}

}  // namespace

QelStatus ManControl(std::uint32_t board, std::uint32_t code, const void* input, std::uint32_t inputSize,
                     void* output, std::uint32_t outputSize) {
  if (output != nullptr && outputSize != 0) std::memset(output, 0, outputSize);
  return BoardPrivateCommand(board, code, input, inputSize, output, outputSize);
}

QelStatus BoardPrivateCommand(std::uint32_t board, std::uint32_t code, const void* input, std::uint32_t inputSize,
                              void* output, std::uint32_t outputSize) {
  if (code < kFirstPrivateCode || code > kLastPrivateCode) return kNoRow;
  switch (code) {
    case kManControlCapabilityWord: return CapabilityWord(input, inputSize, output, outputSize);
    default: return kNoRow;
  }
}
