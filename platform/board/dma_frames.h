// A camera frame at an acquisition channel's input, carried by the DMA
// engines (dma_engines.h) from the AL chains into on-board memory, along the
// LB chains and through the BH chains into host buffers. The grab controllers
// bring their cameras' frames here; tests may also inject frames through the
// control interface.
//
// Several taps: a camera of T taps sends each frame over the AL channels
// whose current entries name it, one tap per channel (tap t on the t-th of
// them). What a tap carries is the share of the frame its channel's chain
// places: the acquisition buffer holds the frame line after line (width x
// bytes per pixel a line), the chain's descriptors cover the tap's share of
// it, and the tap sends that share in the camera's order (top line first,
// left to right), which the chain lays down in its own order (a chain that
// runs bottom-up stores its lines flipped). So the lists of a T-tap transfer,
// one AL element per tap with its window A giving the tap's lines or
// columns, put the frame together again however the taps divide it; the
// upper and lower halves of a two-tap camera are one such division. A place
// beyond the frame's last line gets nothing.
//
// Mirrors: the engines write each descriptor's bytes in rising order, so a
// chain whose descriptors walk a line from its right end, one pixel each,
// stores (AL) or delivers (BH) that line mirrored.
//
// Strips: a transfer whose frame is taller than its acquisition buffer keeps
// the frame in that buffer a strip of lines at a time; its AL chain goes on
// after its last line into lines it already walked (the driver links it back
// to its line 1) instead of closing on its head. The model gives such a
// buffer the frame's first strip along the whole chain with the AL stage,
// and each next strip along the ring the chain closes on (the frame's bytes
// that follow, line 1 onward) whenever an LB piece reads the buffer at or
// before the place the last LB piece read, so the LB chain, which walks the
// frame's lines top to bottom over the buffer's lines and then over the
// ring again and again, reads every line of the frame once.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/board/board.h"

namespace plat::board {

struct CameraFrame {
  std::uint32_t channel;  // acquisition channel (the camera field of the entries)
  std::uint32_t width;    // pixels
  std::uint32_t height;   // lines
  std::uint32_t bytes_per_pixel;
  std::uint32_t number;   // frame number, part of the pattern
  // Where the frame lies in the camera's frame (a crop window, crop_window.h):
  // its byte x of line y carries the camera's byte first_byte + x of line
  // first_line + y.
  std::uint32_t first_byte = 0;
  std::uint32_t first_line = 0;
  // The frame clock at its end (what 0x106C then reads), carried in its messages.
  std::uint32_t end_stamp = 0;
};

// Byte x of line y of a frame: the deterministic pattern tests check.
std::uint8_t camera_pattern(int board, std::uint32_t camera, std::uint32_t frame, std::uint32_t x, std::uint32_t y);

// What became of a frame at the host channels its LB chains fed.
struct FrameDelivery {
  std::uint32_t filled = 0;      // host buffers it filled
  std::uint32_t dropped = 0;     // host channels that could not take it: no armed buffer, no room for its messages
  std::uint32_t unreported = 0;  // messages the FIFO refused after all
};

// Called with the board's lock held once the frame is in the host buffers
// and before its messages are posted, so that what the frame's end changes
// (a controller going idle) is seen by whoever reads the messages.
using FrameCarried = std::function<void(Board&, const FrameDelivery&)>;

// Moves one frame: on-board memory in whole runs, each host buffer written
// one contiguous run at a time, the board's lock held only for the on-board
// part. Safe from any thread; each thread keeps its own scratch. A host
// buffer's end message carries the bytes of a line in word 2, the lines
// written in word 3 (fewer than the buffer's for a short frame) and the
// frame's end stamp in word 4.
FrameDelivery board_carry_frame(Board* board, const CameraFrame& frame, const FrameCarried& carried = {});
// The same; answers the number of host buffers it filled.
std::uint32_t board_inject_frame(Board* board, const CameraFrame& frame);

}  // namespace plat::board
