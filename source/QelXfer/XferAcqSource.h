// What the transfer back end reads of an acquisition device behind a source:
// its board, slot and connector, its parameters and capabilities, and the
// transfer-connected flag it sets.
#pragma once

#include <cstdint>

#include "source/QelAPI/QelHandle.h"
#include "source/QelAPI/QelStatus.h"

struct XferAcqDevice {
  std::uint32_t board;
  std::uint32_t device;     // slot 0..12
  std::uint32_t connector;  // lowest set bit of the device's resource mask
  std::uint32_t mask;       // the resource mask
};

// The device a handle names (32769 when this process holds no such device).
QelStatus XferAcqDeviceOf(const QelHandle* source, XferAcqDevice* device);
// A parameter or capability of the device; the secondary acquisition kind
// answers 86.
QelStatus XferGetSrcPrm(const QelHandle* source, std::uint32_t id, void* value);
QelStatus XferGetSrcCap(const QelHandle* source, std::uint32_t id, void* value);
// A 32-bit parameter as a value.
QelStatus XferSrcValue(const QelHandle* source, std::uint32_t id, std::uint32_t* value);
// The device's transfer-connected flag.
QelStatus XferSetAcqConnected(std::uint32_t board, std::uint32_t device, std::uint8_t connected);
