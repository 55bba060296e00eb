// The constant default sets of the CAM and VIC parameter objects. Every
// parameter a set names is written through the writer (which marks it
// modified), even where its default is 0; the parameters a set does not name
// are left alone.
#pragma once

#include <cstdint>
#include <functional>

#include "source/QelAPI/QelStatus.h"

// Writes one parameter (its full span from `value`); answers 0 or a status.
using AcqDefaultWriter = std::function<QelStatus(std::uint32_t index, const void* value)>;

// Answer the first failing write's status, or 0.
QelStatus AcqWriteCamDefaultSet(const AcqDefaultWriter& write);
QelStatus AcqWriteVicDefaultSet(const AcqDefaultWriter& write);
