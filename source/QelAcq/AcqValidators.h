// Parameter validators: one table for the camera (CAM) parameters, one for
// the video-input (VIC) parameters, indexed by CAM index and by VIC index -
// 2048. A validator answers 0 or a refusal detail, (index << 8) | kind, to
// which the caller adds the module part; a refusal for a capability that the
// rule needs but finds 0 names the capability instead ((index << 8) | 0x1E).
// Whatever it answers, a validator clears the modified bit of every parameter
// it checked in the blocks being set, so that a pass over the marked
// parameters checks each group once.
#pragma once

#include <array>
#include <cstdint>

#include "source/QelAcq/AcqOthStruct.h"

extern const std::array<AcqValidator, kAcqCamPrmCount> CamPrmValidatorTable;
extern const std::array<AcqValidator, kAcqVicPrmCount> VicPrmValidatorTable;

// Store the tables in a device's row (slots 4 and 2); answer 0.
QelStatus InstallCamValidatorTable(othStruct* table);
QelStatus InstallVicValidatorTable(othStruct* table);

// Runs the validator of one CAM or VIC parameter from the static tables; an
// empty entry or an index that names no parameter answers 0.
std::uint32_t AcqRunValidator(AcqValidationContext* context, std::uint32_t index);

// The validators the log names.
std::uint32_t CheckSnapCount(AcqValidationContext* context);
std::uint32_t CheckExtTriggerFrameCount(AcqValidationContext* context);

// Which validators a pass called, by the index that led to each, in order.
struct AcqValidationTrace {
  std::uint32_t count = 0;
  std::array<std::uint16_t, kAcqCamPrmCount + kAcqVicPrmCount> indexes{};
};

// The validation pass over the marked parameters of the blocks being set:
// every marked CAM parameter in increasing index, then every marked VIC
// parameter, each through its entry of the given tables when it has one. A
// bit cleared by an earlier validator (a group, a feature's parameters) is not
// visited again. The first refusal ends the pass and is answered; the bits are
// left as the validators left them.
std::uint32_t AcqValidateMarkedPrms(AcqValidationContext* context, const AcqValidator* camTable,
                                    const AcqValidator* vicTable, AcqValidationTrace* trace);

// Validates a whole parameter set against the device's capabilities: the
// pass above with the static tables over the marked parameters, after which
// both modified-bit sets are put back as they were. A device's default sets,
// marked whole, must pass it.
std::uint32_t AcqValidatePrmSet(AcqValidationContext* context, AcqValidationTrace* trace);
