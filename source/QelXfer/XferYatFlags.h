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
  std::uint32_t cameraInsertBuffers;  // bit n - 1: onboard buffer n of the connector exists (n <= 16)
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
  // The flat-field correction, when it is on and the frames pass internal buffers.
  bool flatField;
  std::uint32_t selected;          // the acquisition's selected coefficient buffer (0x70C0004)
  std::uint32_t storedMode;        // the acquisition mode the selected buffer was made for
  std::uint32_t coefficientUse;    // the group's 0x1A0004: 1 the selection, 2 counted through, else the pair's own
  std::uint32_t pairCoefficient;   // the pair's 0x170004
  std::uint32_t coefficientBuffers;  // bit n - 1: the device's coefficient buffer n exists
};

struct XferFlagResult {
  std::uint32_t flags;
  std::uint32_t counter;  // the element's camera insert buffer (option bit 3), 1-based
  std::uint32_t insertIndex;  // the coefficient buffer (1-8) the element's frame is corrected with, 0 for none
  QelStatus status;       // the last refusal, 0 when none
};

XferFlagResult XferStageFlags(const XferFlagInputs& in);
