// What the automatic internal buffers leave to the board's own data of an
// acquisition: the flat-field coefficients (the selected internal buffer,
// while the correction is on) and the onboard LUT buffers of its connector.
#pragma once

#include <cstdint>

#include "source/QelAPI/QelHandle.h"
#include "source/QelXfer/XferBoardState.h"
#include "source/QelAPI/QelStatus.h"
#include "source/QelXfer/XferAcqSource.h"
#include "source/QelXfer/XferYatSizing.h"

struct XferBoardData {
  std::uint32_t flatFieldOn;       // the acquisition's 0x70D0004
  std::uint32_t selected;          // its selected internal buffer (0x70C0004), when on
  std::uint32_t storedMode;        // in mode 1 the acquisition mode the selected buffer was made for
  std::uint32_t internalBuffers;   // the device's internal buffers that exist one after the other from 1
  std::uint64_t coefficientBytes;  // of one frame's coefficients, when on
  std::uint64_t lutBytes;          // of the connector's onboard LUT buffers
};

// With the correction on, the selection must be 1 to 8 (0x400035) and exist
// (0x400032).
QelStatus XferYatBoardDataOf(const QelHandle* source, const XferAcqDevice& device, const XferAcqGeometry& acq,
                             const XferStageGeometry& g, XferBoardData* out);

// The memory left once `bytes` are taken, when they are less than it.
std::int64_t XferTakeRoom(std::int64_t memoryLeft, std::uint64_t bytes);

// The correction as a host stage takes it: on or off, the selection, the
// acquisition mode the selected buffer was made for, and which coefficient
// buffers exist (bit n - 1 for buffer n).
struct XferFlatFieldFacts {
  std::uint32_t on;
  std::uint32_t selected;
  std::uint32_t storedMode;
  std::uint32_t buffers;
};

// With the correction on, also copies the device's coefficient buffer
// records into `inserts`.
QelStatus XferYatFlatFieldOf(const QelHandle* source, const XferAcqDevice& device, XferFlatFieldFacts* out,
                             XferInsertLists* inserts);

// Copies the records of the first 16 onboard buffers of the device's
// connector into `out`; answers which of them exist (bit n - 1 for buffer n).
std::uint32_t XferYatCameraInsertsOf(const XferAcqDevice& device, XferCameraInserts* out);
