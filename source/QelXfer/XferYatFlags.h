// The stage flag word of a host destination: what the board library is told
// about the pair's options and the acquisition's pixel layout. A pure
// function over plain values.
#pragma once

#include <cstdint>

#include "source/QelAPI/QelStatus.h"

struct XferFlagInputs {
  std::uint32_t options;       // the group's option word (0x1B0004)
  std::uint32_t counterMode;   // 0x1D0004
  std::uint32_t counterValue;  // 0x1C0004
  std::uint32_t bufferCounter; // the buffer's stored counter
  std::uint32_t elementIndex;
  std::uint32_t connector;
  bool acquisition;            // the source is an acquisition device
  bool pixProRunning;          // the source is a pixel processor that runs
  std::uint32_t format;        // the acquisition's pixel format (0x8280004)
  std::uint32_t depth;         // 0x50004
  std::uint32_t extension16;   // 0x8670004
  std::uint32_t mode;          // 0x30004
  std::uint32_t busBits;       // 0x8680004
  std::uint32_t outputBits;    // 0x90004
};

struct XferFlagResult {
  std::uint32_t flags;
  std::uint32_t counter;  // the element's counter (option bit 3)
  QelStatus status;       // the last refusal, 0 when none
};

XferFlagResult XferStageFlags(const XferFlagInputs& in);
