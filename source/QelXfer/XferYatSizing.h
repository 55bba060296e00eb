// The arithmetic of the automatic internal buffers: the geometry of one
// internal buffer from the acquisition's values, how many buffers fit the
// board's memory, the reserve kept free beside them, and the strips used
// when whole frames do not fit. Pure functions over plain values.
#pragma once

#include <cstdint>

#include "source/QelAPI/QelStatus.h"

// The acquisition values the geometry is made from.
struct XferAcqGeometry {
  std::uint32_t mode;        // 0x30004: 1 area scan, 2 line scan
  std::uint32_t width;       // 0xA0004
  std::uint32_t lines;       // 0xC0004
  std::uint32_t frameLines;  // 0x8140004
  std::uint32_t format;      // 0x8280004
  std::uint32_t multiplier;  // 0x310004 (k)
  std::uint32_t frames;      // 0x4
  std::uint32_t depth;       // 0x50004
  std::uint32_t bits;        // 0x60004
  std::uint32_t layout;      // 0x320004
};

// One internal buffer: format F, b(F) bits per pixel, W pixels by H lines.
struct XferStageGeometry {
  std::uint32_t format;
  std::uint32_t bits;
  std::uint32_t width;
  std::uint32_t height;
};

constexpr std::uint32_t XferFormatBits(std::uint32_t format) { return (format >> 8) & 0xFFu; }

// The buffer's geometry on a bus of `busWidth` bytes. A format of 0 bits, a
// bus width of 0 or a frame of no pixels answers 0x4C00050 before any division.
QelStatus XferStageGeometryOf(const XferAcqGeometry& acq, std::uint32_t busWidth, XferStageGeometry* out);

// Bytes of one buffer: b(F) x H x W / 8, times the factors.
std::uint64_t XferStageBytes(const XferStageGeometry& g, std::uint32_t f1, std::uint32_t f2);

// The count that fits: when N > 2, ((100 - R) x M / 100) / one buffer's bytes
// replaces N when smaller and at least 1; then N is lowered while N > 2 and
// N buffers would take all of M.
std::uint32_t XferFitCount(std::uint32_t count, std::uint32_t reservePercent, std::int64_t memoryLeft,
                           std::uint64_t bufferBytes);

// The reserve block beside full frames: 0 for R = 0, else R % of the
// smaller of T and M (single precision), rounded up to a page, with a whole
// page more when it divides evenly.
std::uint32_t XferFrameReserve(std::uint32_t reservePercent, std::uint64_t total, std::int64_t memoryLeft);
// The same rounding in 64 bits, of R % of `bytes` (5 % when R is 0).
std::uint64_t XferStripReserve(std::uint32_t reservePercent, std::uint64_t bytes);

// The strips: for k = 3, 4, ... strips of 2 x ((H / 2 + k - 1) / k) lines,
// the first whose N strips and reserve fit below M. Fails with 0x4C00047
// once even strips of 2 lines do not fit.
struct XferStripChoice {
  std::uint32_t lines;
  std::uint64_t bytes;    // of the N strips
  std::uint64_t reserve;
};
QelStatus XferChooseStrips(const XferStageGeometry& g, std::uint32_t count, std::uint32_t f1, std::uint32_t f2,
                           std::uint32_t reservePercent, std::int64_t memoryLeft, XferStripChoice* out);
