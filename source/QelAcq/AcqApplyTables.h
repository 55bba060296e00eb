// The fillers of a device's own apply tables: othStruct slot 3 (130 VIC
// handlers) and slot 5 (120 CAM handlers), both allocated by the module at
// board initialisation. An empty entry is a parameter without a hardware
// effect of its own: the apply-all road only takes its value. The handlers
// call the appliers of AcqApply.h and AcqFeatureApply.h.
#pragma once

#include "source/QelAcq/AcqOthStruct.h"

// 18006 when the slot's table is missing; otherwise 0.
QelStatus InitVicPrmApplyTable(othStruct* table);
QelStatus InitCamPrmApplyTable(othStruct* table);
