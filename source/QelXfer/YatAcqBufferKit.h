// What the internal and onboard buffer slots share: the device a handle
// names, its records in the shared section, its acquisition values and the
// process's buffer-record mutex. Internal to YatAcq*Buffer*.cpp.
#pragma once

#include <cstdint>
#include <mutex>

#include "source/QelXfer/YatAcqBuffers.h"

struct AcqDeviceRecord;

struct YatBufferDevice {
  QelHandle* handle = nullptr;
  AcqDeviceRecord* record = nullptr;
  std::uint32_t board = 0;
  std::uint32_t connector = 0;  // lowest set bit of the device's connector mask
  std::uint32_t device = 0;
};

// The lookup's status (with the acquisition module's part) when the handle names no device.
QelStatus YatBufferDeviceOf(QelHandle* handle, YatBufferDevice* out);
// Record `number` (1-8) of a device; null outside the table.
YatInternalBufferRecord* YatInternalRecord(std::uint32_t board, std::uint32_t device, std::uint32_t number);
// Record `number` (1-32) of a connector; null outside the table.
YatOnboardBufferRecord* YatOnboardRecord(std::uint32_t board, std::uint32_t connector, std::uint32_t number);
// A one-word acquisition value, 0 when it cannot be read.
std::uint32_t YatAcqValue(QelHandle* handle, std::uint32_t id);
std::mutex& YatBufferMutex();
// Frees a board-library record that holds memory; answers the translated status.
QelStatus YatFreeMemory(YatInternalBuffer* memory);
