// Device capabilities and default parameters: computed once per board, by the
// first process that initialises it, from the board's EEPROM page 0, its
// firmware record and a few board-library queries, into the device's shared
// record. Three variants: common (mono types), colour (types 4, 5, 6) and
// Bayer (types 9, 11), reached through othStruct slots 11 (capabilities) and
// 10 (defaults).
#pragma once

#include "source/QelAcq/AcqStatus.h"
#include "source/QelAcq/AcqValidationContext.h"

// A failing input query ends the computation with its translated status
// before anything is written.
QelStatus InitAcqCaps(AcqValidationContext* context);
QelStatus InitAcqCapsColor(AcqValidationContext* context);
QelStatus InitAcqCapsBayer(AcqValidationContext* context);

// Writes the defaults into the blocks being set. A failing query leaves its
// inputs at 0 and the computation goes on; the answer is the status of the
// last step, the read of the power-over-Camera-Link register (VIC 2172).
QelStatus InitAcqDefaultPrms(AcqValidationContext* context);
QelStatus InitAcqDefaultPrmsColor(AcqValidationContext* context);
QelStatus InitAcqDefaultPrmsBayer(AcqValidationContext* context);

// "Default <link><Bayer ><Area|Line> Scan <taps> tap[s] <Parallel ><Mono|Color>"
// into CAM 41 and VIC 2093.
void BuildDefaultCameraName(AcqValidationContext* context);

// The default of a parameter from a capability word: the lowest power of two
// whose bit is set in it (1 when it is 0 or has bit 0).
void AcqSetDefaultFromCap(AcqValidationContext* context, std::uint32_t capId, std::uint32_t prmId);
