// The extended interface: a table of 15 operations of the board library that
// the server driver takes once (EEPROM, flash, firmware information, device
// parameters). An empty slot is null; a slot is filled by the part of the
// library that owns its operation.
#pragma once

#include <cstddef>
#include <cstdint>

#include "driver/user/Pardow.h"

using QelHwEepromInfoFn = QelHwStatus (*)(std::uint32_t board, std::uint32_t index, void* buffer,
                                          std::uint32_t size);
using QelHwEepromSetInfoFn = QelHwStatus (*)(std::uint32_t board, std::uint32_t index, const void* data,
                                             std::uint32_t size);
using QelHwEepromReadFn = QelHwStatus (*)(std::uint32_t board, std::uint32_t index, std::uint32_t offset,
                                          void* buffer, std::uint32_t count);
using QelHwEepromWriteFn = QelHwStatus (*)(std::uint32_t board, std::uint32_t index, std::uint32_t offset,
                                           const void* data, std::uint32_t count);
using QelHwDevicePrmFn = QelHwStatus (*)(std::uint32_t board, std::uint32_t section, std::uint32_t parameter,
                                         void* value, std::uint32_t size);

struct QelHwExtendedInterface {
  QelHwEepromInfoFn eepromGetInfo;     // 0
  QelHwEepromSetInfoFn eepromSetInfo;  // 1
  QelHwEepromReadFn eepromRead;        // 2
  QelHwEepromWriteFn eepromWriteData;  // 3
  void* slot4;
  void* slot5;
  void* flashRead;                  // 6
  void* flashWriteVerify;           // 7
  void* slot8;
  void* slot9;
  void* firmwareGetVersionInfo;     // 10
  void* firmwareGetName;            // 11
  QelHwDevicePrmFn devicePrmRead;   // 12
  QelHwDevicePrmFn devicePrmWrite;  // 13
  void* slot14;
};
static_assert(sizeof(QelHwExtendedInterface) == 120);
static_assert(offsetof(QelHwExtendedInterface, eepromWriteData) == 24);
static_assert(offsetof(QelHwExtendedInterface, flashRead) == 48);
static_assert(offsetof(QelHwExtendedInterface, devicePrmRead) == 96);

// Zeroes `size` bytes of the caller's table, then copies as many slots as fit (at most 120 bytes).
PARDOW_API QelHwStatus QelHw_Man_GetExtendedInterface(void* table, std::uint32_t size);
