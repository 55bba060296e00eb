// The two roads on which a device's parameters reach its apply tables, made
// for the tests as the module's API will make them: the apply-all road (every
// marked parameter validated, then applied in increasing index) and the set
// road of one parameter (the value made current, validated and applied, the
// old value put back and applied again on a refusal).
#pragma once

#include <cstdint>
#include <span>

#include "source/QelAPI/QelStatus.h"
#include "source/QelAcq/AcqDeviceRecord.h"

// Marks every parameter of copies of the device's current blocks and applies them.
QelStatus AcqTestApplyAll(std::uint32_t board, std::uint32_t slot);
// Sets one parameter (its words) on the device.
QelStatus AcqTestSetPrm(std::uint32_t board, std::uint32_t slot, std::uint32_t index,
                        std::span<const std::uint32_t> words);
