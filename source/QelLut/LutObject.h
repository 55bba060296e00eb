// LUT objects of the server process: a record with the format, the entry
// count and the data block, behind a 32-byte handle (tag 0xcccc0104). Only
// what other modules take from a LUT is here: creation, release and the
// parameters; the LUT commands (13000-13032), the value operations and LUT
// files are not.
//
// A handle names a LUT of this process only when this process made it: the
// record is found through the process's handle registry (HandleRecordOf),
// never through the address the handle carries. No lock of its own: one LUT
// is not used by two requests at once.
#pragma once

#include <cstddef>
#include <cstdint>

#include "source/QelAPI/QelHandle.h"
#include "source/QelAPI/QelStatus.h"

#pragma pack(push, 4)
struct LutRecord {
  std::uint32_t formatIndex;
  std::uint64_t data;  // address of the data block in this process
  std::uint32_t entries;
  std::uint32_t format;
  std::uint32_t storageKind;  // 0 mono8, 1 mono16, 2-5 colour
  std::uint64_t dataSecond;   // the contiguous-buffer service's second address of the data
  std::uint8_t zero[20];
};
#pragma pack(pop)
static_assert(sizeof(LutRecord) == 52);
static_assert(offsetof(LutRecord, data) == 4);
static_assert(offsetof(LutRecord, entries) == 12);
static_assert(offsetof(LutRecord, format) == 16);
static_assert(offsetof(LutRecord, storageKind) == 20);
static_assert(offsetof(LutRecord, dataSecond) == 24);

inline constexpr QelStatus kLutInvalidHandle = 0x2C00B01;
inline constexpr QelStatus kLutBadFormat = 0x2C00235;
inline constexpr QelStatus kLutNoHandleMemory = 0x2C01547;

enum LutPrmId : std::uint32_t {
  kLutPrmData = 0x00000008,
  kLutPrmElementSize = 0x00010004,
  kLutPrmFormat = 0x00020004,
  kLutPrmPlanes = 0x00030004,
  kLutPrmEntries = 0x00040004,
  kLutPrmDataSize = 0x00050004,
  kLutPrmDataSecond = 0x00060008,
  kLutPrmSigned = 0x00070004,
};

bool LutIsValidFormat(std::uint32_t format);
// A LUT of `entries` entries (0: the format's default) of `format`; its data uninitialised.
QelStatus LutNew(std::uint32_t entries, std::uint32_t format, QelHandle** out);
QelStatus LutFree(const QelHandle* lut);
// One value by id, (index << 16) | size; `value` holds the id's size.
QelStatus LutGetPrm(const QelHandle* lut, std::uint32_t id, void* value);
// The record of a live LUT of this process, null for any other handle.
LutRecord* LutRecordOf(const QelHandle* lut);
