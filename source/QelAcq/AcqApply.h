// Bringing a device's parameters to the board. The apply handlers of the
// device's CAM and VIC apply tables (AcqApplyTables.h) call these appliers
// after a validator accepted the new values; the set road and the apply-all
// road of the module reach them only through those tables.
//
// Each applier takes the group of parameters it programs (reads them from the
// blocks being set, clears their modified bits there and copies them into the
// current blocks), so that one change re-programs the whole group and a pass
// over the marked parameters runs each applier about once. Every answer is a
// full status: 0, or the module part 0x400000 with the parameter's index in
// bits 8-19 and the kind, or a board-library status through TranslateStatus.
//
// They run under the API lock of the request that reaches them, or at board
// initialisation; they take no lock of their own.
#pragma once

#include <cstdint>

#include "source/QelAcq/AcqPrmId.h"
#include "source/QelAcq/AcqStatus.h"
#include "source/QelAcq/AcqValidationContext.h"

// The geometry apply: every geometry parameter of the device at once, its
// combination checked, the acquisition window record built and the board's
// crop window, acquisition window, LUT size and format, board sync,
// binarisation and data valid programmed. `id` is the parameter being applied:
// with a transfer connected to the device the answer is busy with its index
// (0x400057 | index << 8) and nothing is taken or written.
QelStatus AcqApplyPrmById(AcqValidationContext* context, AcqPrmId id);

// The trigger apply: frame trigger, line trigger, camera-control timers,
// double pulse, front-end tick, camera control lines and board sync. `id`
// only chooses the index a timing conflict names (VIC 2125's id: 0x484D2D;
// otherwise the scan kind's trigger parameter).
QelStatus AcqApplyTriggers(AcqValidationContext* context, AcqPrmId id);
QelStatus AcqApplyTriggersNoId(AcqValidationContext* context);
// The device's frame trigger, and when that succeeds the trigger apply.
QelStatus AcqApplyFrameTriggerAndTriggers(AcqValidationContext* context, AcqPrmId id);
