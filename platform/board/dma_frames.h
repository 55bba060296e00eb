// A camera frame at an acquisition channel's input, carried by the DMA
// engines (dma_engines.h) from the AL chains into on-board memory, along the
// LB chains and through the BH chains into host buffers. The grab controllers
// bring their cameras' frames here; tests may also inject frames through the
// control interface.
#pragma once

#include <cstdint>

#include "platform/board/board.h"

namespace plat::board {

struct CameraFrame {
  std::uint32_t channel;  // acquisition channel (the camera field of the entries)
  std::uint32_t width;    // pixels
  std::uint32_t height;   // lines
  std::uint32_t bytes_per_pixel;
  std::uint32_t number;   // frame number, part of the pattern
};

// Byte x of line y of a frame: the deterministic pattern tests check.
std::uint8_t camera_pattern(int board, std::uint32_t camera, std::uint32_t frame, std::uint32_t x, std::uint32_t y);

// Moves one frame; answers the number of host buffers it filled.
std::uint32_t board_inject_frame(Board* board, const CameraFrame& frame);

}  // namespace plat::board
