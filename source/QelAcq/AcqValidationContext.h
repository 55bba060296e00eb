// The view of one device that every validator, apply handler and device
// operation receives. Where a caller has no separate new blocks, the blocks
// "as they were" and "being set" are the same. The record may be a
// process-local copy that carries slot, board, resource mask and the
// transfer-connected flag.
#pragma once

#include <cstddef>

#include "source/QelAcq/AcqDeviceRecord.h"

struct AcqValidationContext {
  AcqCapHeaderBlock* levelCaps;
  AcqVicCapBlock* vicCaps;
  AcqCamCapBlock* camCaps;
  VicPrmBlock* vicCurrent;
  CamPrmBlock* camCurrent;
  VicPrmBlock* vicNew;
  CamPrmBlock* camNew;
  AcqDeviceRecord* record;
};
static_assert(sizeof(AcqValidationContext) == 64);
static_assert(offsetof(AcqValidationContext, vicCaps) == 8);
static_assert(offsetof(AcqValidationContext, camCaps) == 16);
static_assert(offsetof(AcqValidationContext, vicCurrent) == 24);
static_assert(offsetof(AcqValidationContext, camCurrent) == 32);
static_assert(offsetof(AcqValidationContext, vicNew) == 40);
static_assert(offsetof(AcqValidationContext, camNew) == 48);
static_assert(offsetof(AcqValidationContext, record) == 56);

// The context of a record's own blocks: current and new are the same.
AcqValidationContext AcqRecordContext(AcqDeviceRecord* record);
