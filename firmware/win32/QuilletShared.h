// The server driver's shared data section: one copy for every process of the
// machine that loads the library, made afresh (zeros) once no living process
// holds it. Modules keep here what must outlive one process or be seen by all;
// each block is declared by the module that owns it, and later modules append
// theirs at the end.
#pragma once

#include <cstddef>
#include <cstdint>

#include "firmware/win32/QelUtilCpu.h"
#include "source/QelAcq/AcqBoardSyncTable.h"
#include "source/QelAcq/AcqDeviceRecord.h"
#include "source/QelAcq/AcqLutShadows.h"
#include "source/QelAcq/acqmonitor.h"
#include "source/QelHost/QelHostShared.h"
#include "source/QelXfer/XferShared.h"
#include "source/QelXfer/YatAcqBuffers.h"

// The section's name on the machine: the library's file name.
inline constexpr const char kQuilletSharedDataName[] = "Quillet.DLL";

struct QuilletSharedData {
  std::int32_t HostOpenCounter;  // processes with an open instance (interlocked)
  std::uint32_t reserved;
  CpuFeatureCache cpu;
  HostSharedTables host;
  AcqSharedTables acq;
  AcqLutShadows acqLuts;
  XferSharedData xfer;
  AcqBoardSyncTable acqBoardSync;
  AcqMonitorShared acqMonitor;
  YatBufferShared yatBuffers;
};
static_assert(offsetof(QuilletSharedData, cpu) == 8);
static_assert(offsetof(QuilletSharedData, host) == 40);

// Mapped at first use and kept for the life of the process.
QuilletSharedData* QuilletGetSharedData();
