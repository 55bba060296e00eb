// The acquisition window record the geometry apply hands to the board
// library (QelHw_Acq_SetAcqWindow, Yat_Digital_ComputeCropLength): 72 words,
// word 0 its own byte size; the library gives every word its meaning, the
// geometry apply only fills the words named below from the parameters.
// Internal to the geometry apply.
#pragma once

#include <cstddef>
#include <cstdint>

#include "source/QelAcq/AcqValidationContext.h"

struct AcqWindowRecord {
  std::uint32_t w[72];
};
static_assert(sizeof(AcqWindowRecord) == 288);

namespace acq_window {

inline constexpr std::uint32_t kTapWord = 37;   // the 16 tap descriptors, words 37-52
inline constexpr std::uint32_t kTapCount = 16;
inline constexpr std::uint32_t kLayoutWord = 36;  // CAM 88, or 4 on the boards that force it

// The CAM parameter of tap k (0-based): CAM 51 to 58, then CAM 100 to 107.
constexpr std::uint32_t TapPrm(std::uint32_t k) { return k < 8 ? 51 + k : 100 + k - 8; }

// What the fill step found beside the record.
struct Fill {
  std::uint32_t status = 0;  // a refusal met while filling (a vertical divisor of 0)
};

// Takes the window group's parameters (VIC 2069 and 2070 first set equal to
// VIC 2067 and 2068) and fills the record: word 0 = 288, the other words the
// geometry apply names; the rest stay 0. `modelCode` is the board's.
Fill FillWindowRecord(AcqValidationContext* context, std::uint32_t modelCode, AcqWindowRecord* record);

// CAM 108 as the record's word 70 holds it: 1, 2, 4, 8 -> 1 to 4.
std::uint32_t LinesPerClock(const AcqValidationContext* context);

}  // namespace acq_window
