// The combination checks of the geometry apply: what single validators
// cannot see, a tap layout, depth, colour kind and output format that the
// board cannot take together. Internal to the geometry apply.
//
// Each check answers a refusal (module part included) or 0; the engine keeps
// the last refusal as its working status, as each step says.
#pragma once

#include <cstdint>

#include "source/QelAcq/AcqValidationContext.h"
#include "source/QelAcq/AcqWindowRecord.h"

namespace acq_checks {

// What the checks read of the board.
struct Board {
  std::uint32_t modelCode = 0;  // EEPROM byte 38
  std::uint32_t flags = 0;      // EEPROM byte 10
};

// Step 6: the layout checks (the strobe apply for a strobe on the line
// clock runs here); `status` is the working status.
std::uint32_t LayoutChecks(AcqValidationContext* c, const Board& board, const AcqWindowRecord& r, std::uint32_t status);
// Step 7: the parallel tap arrangement.
std::uint32_t ParallelTaps(const AcqValidationContext* c, const Board& board);
// Step 8: the layout bits of CAM 88 that need a fixed tap layout.
std::uint32_t LayoutBits(const AcqValidationContext* c, std::uint32_t status);
// Step 9: parallel taps agree with tap 1 on their low two bits.
std::uint32_t ParallelTapFlags(const AcqValidationContext* c);
// Step 10: an 8-bit Bayer camera's output formats.
std::uint32_t BayerOutput(const AcqValidationContext* c);
// Step 11: by scan kind; may set the default edge bit (0x10) of row taps.
std::uint32_t ScanKind(AcqValidationContext* c, AcqWindowRecord* r, std::uint32_t status);
// Step 12: narrow lines on the boards with a minimum line width.
std::uint32_t MinimumLine(const AcqValidationContext* c, const Board& board, std::uint32_t status);
// Step 13: the output line against the board's internal bus.
std::uint32_t BusWidth(const AcqValidationContext* c, std::uint32_t status);

}  // namespace acq_checks
