#include <array>
#include <cstdint>

#include "source/QelAPI/QelConvert.h"

namespace {

struct MaskPair {
  std::uint32_t sdk;
  std::uint32_t board;
};

// SDK event bits and the board's bits for the same event. SDK bits 0 and 1
// have no board event; bits 16-25 and 28 are the same on both sides.
constexpr std::array<MaskPair, 19> kMaskPairs = {{
    {0x4, 0x4000},
    {0x8, 0x2000},
    {0x10, 0x1000},
    {0x20, 0x800},
    {0x40, 0x20},
    {0x80, 0x8000000},
    {0x100, 0x200},
    {0x200, 0x80000000},
    {0x400, 0x400},
    {0x800, 0x80},
    {0x1000, 0x100},
    {0x2000, 0x4000000},
    {0x4000, 0x10},
    {0x8000, 0x8},
    {0x4000000, 0x20000000},
    {0x8000000, 0x40000000},
    {0x20000000, 0x40},
    {0x40000000, 0x2},
    {0x80000000, 0x4},
}};

constexpr std::uint32_t kSameBits = 0x03FF0000u | 0x10000000u;

// The board's end-of-frame bit also stands for the SDK's bit 24.
constexpr std::uint32_t kBoardFrameBit = 0x200;
constexpr std::uint32_t kSdkFrameAlias = 0x1000000;

}  // namespace

std::uint32_t ConvEventTypeFromHw(std::uint32_t board_event) {
  std::uint32_t sdk = board_event & 0x00FF0000u;
  if (board_event & (1u << 29)) sdk |= 1u << 24;
  if (board_event & (1u << 30)) sdk |= 1u << 25;
  if (board_event & (1u << 31)) sdk |= 1u << 26;
  return sdk;
}

std::uint32_t ConvEventTypeToHw(std::uint32_t sdk_event) {
  std::uint32_t board = sdk_event & 0x00FF0000u;
  if (sdk_event & (1u << 24)) board |= 1u << 29;
  if (sdk_event & (1u << 25)) board |= 1u << 30;
  return board;
}

std::uint32_t ConvEventMaskToHw(std::uint32_t sdk_mask) {
  std::uint32_t board = sdk_mask & kSameBits;
  for (const MaskPair& pair : kMaskPairs)
    if (sdk_mask & pair.sdk) board |= pair.board;
  return board;
}

std::uint32_t ConvEventMaskFromHw(std::uint32_t board_mask) {
  std::uint32_t sdk = board_mask & kSameBits;
  for (const MaskPair& pair : kMaskPairs)
    if (board_mask & pair.board) sdk |= pair.sdk;
  if (board_mask & kBoardFrameBit) sdk |= kSdkFrameAlias;
  return sdk;
}
