// Small helpers of the record builders. Internal to them.
#pragma once

#include <cmath>
#include <cstdint>
#include <initializer_list>

#include "source/QelAPI/QelConvert.h"
#include "source/QelAcq/AcqStatus.h"
#include "source/QelAcq/AcqPrmAccess.h"

namespace acq_records {

inline void TakeAll(AcqValidationContext* context, std::initializer_list<std::uint32_t> indexes) {
  for (std::uint32_t index : indexes) AcqTakePrm(context, index);
}

// Takes every index from `first` to `last`.
inline void TakeRange(AcqValidationContext* context, std::uint32_t first, std::uint32_t last) {
  for (std::uint32_t index = first; index <= last; ++index) AcqTakePrm(context, index);
}

inline std::uint32_t Not(std::uint32_t value) { return value == 0 ? 1 : 0; }

inline QelStatus NullArgument(std::uint32_t argument) { return kQelModuleAcquisition | QelStatusMake(argument, 0x36); }

// A non-negative real cut to a record word, saturating.
inline std::uint32_t Truncated(double value) {
  if (!(value > 0)) return 0;
  if (value >= 4294967295.0) return 0xFFFFFFFFu;
  return static_cast<std::uint32_t>(std::trunc(value));
}

// The pixel clock of the double pulse and the line trigger: CAM 25 when bit 0
// of CAM 24 is set, else CAM 27.
inline std::uint32_t PulseClockIndex(const AcqValidationContext* context) {
  return (AcqNewPrm(context, 24) & 1) != 0 ? 25 : 27;
}

}  // namespace acq_records
