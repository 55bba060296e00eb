// The acquisition devices started the way the module's start does it, for the
// tests until the module core exists: detection of every board, the device
// interface tables of this process, and, in the first process to start a
// board, each device initialised (capabilities, default sets, validation,
// LUT) with its input registered for the time of its initialisation.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "source/QelAPI/QelStatus.h"
#include "source/QelAcq/AcqDeviceRecord.h"

struct AcqHarnessStart {
  std::array<QelStatus, kAcqMaxBoards> detection{};
  std::array<std::array<QelStatus, kAcqSlotsPerBoard>, kAcqMaxBoards> init{};
};

// Answers what each board's detection and each device's initialisation answered.
AcqHarnessStart AcqHarnessStartModule();

// A helper process's life: the log library and the board library loaded
// ("ready <status>"), one answer per command line until "quit", then this
// process's devices and the board library given back. Answers the exit code.
int AcqHarnessServe(std::string (*answer)(const std::string& line));
