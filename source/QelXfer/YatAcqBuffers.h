// The board's own data in on-board memory beside the frames in flight: per
// acquisition device up to 8 internal buffers, each the offset and gain
// coefficients of the flat-field correction, and per camera connector up to
// 32 onboard buffers, each a lookup table. The acquisition module reaches
// them through interface-table slots 35-40 and 45-48 (commands 4021-4029 and
// the acquisition-level parameters 0x70C0004, the selected buffer, and
// 0x70D0004, the correction on).
//
// The records live in the server driver's shared data section; the device's
// ownership (one process at a time) keeps two processes off one device's
// records. Lock order: the process's buffer-record mutex is taken alone, never
// while a board-library call or another module's entry runs.
#pragma once

#include <cstddef>
#include <cstdint>

#include "driver/user/YatInternalBuffer.h"
#include "source/QelAPI/QelStatus.h"

struct othStruct;
struct QelHandle;

inline constexpr std::uint32_t kYatBuffersBoards = 16;
inline constexpr std::uint32_t kYatBuffersDevices = 13;
inline constexpr std::uint32_t kYatInternalBuffersPerDevice = 8;
inline constexpr std::uint32_t kYatConnectors = 2;
inline constexpr std::uint32_t kYatOnboardBuffersPerConnector = 32;

// One internal buffer (256 bytes). The board-library record this module
// creates is `coefficients`; `first` is the place of the transfer side's.
#pragma pack(push, 4)
struct YatInternalBufferRecord {
  std::uint32_t state;  // 1 created, 0 free
  YatInternalBuffer first;
  std::uint32_t firstSpare;
  YatInternalBuffer coefficients;
  std::uint32_t coefficientsSpare;
  std::uint32_t lineValue;    // pixels of one coefficient line: the width padded to the bus
  std::uint32_t lines;        // 1, or in mode 1 the frame's lines
  std::uint32_t pixelFormat;  // of the coefficient images (the flat-field format's buffer format)
  std::uint32_t acq8130;
  std::uint32_t acq8140;
  std::uint32_t acq8110;
  std::uint32_t acq8120;
  std::uint32_t acq150;
  std::uint32_t acq170;
  std::uint32_t mode;         // acquisition mode (0x30004)
  std::uint32_t widthFactor;  // 2 when the format has one byte a pixel, else 1
};
#pragma pack(pop)
static_assert(sizeof(YatInternalBufferRecord) == 256);
static_assert(offsetof(YatInternalBufferRecord, first) == 4);
static_assert(offsetof(YatInternalBufferRecord, first) + offsetof(YatInternalBuffer, size) == 28);
static_assert(offsetof(YatInternalBufferRecord, coefficients) == 108);
static_assert(offsetof(YatInternalBufferRecord, coefficients) + offsetof(YatInternalBuffer, size) == 132);
static_assert(offsetof(YatInternalBufferRecord, lineValue) == 212);
static_assert(offsetof(YatInternalBufferRecord, pixelFormat) == 220);
static_assert(offsetof(YatInternalBufferRecord, mode) == 248);
static_assert(offsetof(YatInternalBufferRecord, widthFactor) == 252);

// One onboard buffer (120 bytes).
#pragma pack(push, 4)
struct YatOnboardBufferRecord {
  std::uint32_t state;  // 1 created
  YatInternalBuffer memory;
  std::uint32_t memorySpare;
  std::uint32_t lutFormat;  // the device's value 0x8320004
  std::uint32_t entries;    // the device's value 0x85F0004
  std::uint32_t spare;
};
#pragma pack(pop)
static_assert(sizeof(YatOnboardBufferRecord) == 120);
static_assert(offsetof(YatOnboardBufferRecord, memory) + offsetof(YatInternalBuffer, onboardAddress) == 20);
static_assert(offsetof(YatOnboardBufferRecord, lutFormat) == 108);
static_assert(offsetof(YatOnboardBufferRecord, entries) == 112);

// The block of the shared data section.
struct YatBufferShared {
  YatInternalBufferRecord internal[kYatBuffersBoards * kYatBuffersDevices * kYatInternalBuffersPerDevice];
  YatOnboardBufferRecord onboard[kYatBuffersBoards * kYatConnectors * kYatOnboardBuffersPerConnector];
};
static_assert(sizeof(YatBufferShared) == 16 * 13 * 8 * 256 + 16 * 2 * 32 * 120);

// Statuses of the slots.
inline constexpr QelStatus kYatBufferNumber = 0x400035;      // out of range or not created
inline constexpr QelStatus kYatBufferNotCreated = 0x400032;  // check and select
inline constexpr QelStatus kYatBufferMismatch = 0x400034;    // geometry or format
inline constexpr QelStatus kYatBufferNoOutput = 0x400036;
inline constexpr QelStatus kYatBufferBits = 0x400051;        // unsupported bit count
inline constexpr QelStatus kYatBufferInUse = 0x400054;       // flat-field correction on
inline constexpr QelStatus kYatBufferNull = 0x400056;
inline constexpr QelStatus kYatBufferNoRecord = 0x400079;
inline constexpr QelStatus kYatBufferCheckConnected = 0x470C57;
inline constexpr QelStatus kYatBufferSelectConnected = 0x470D57;

// The flat-field format of an acquisition's pixel depth (0x50004) and bits
// (0x60004): the coefficient buffers' format and the format code.
struct YatFlatFieldFormat {
  std::uint32_t bufferFormat;
  std::uint32_t code;
};
// 0x400051 for a bit count the depth does not take.
QelStatus YatFlatFieldFormatOf(std::uint32_t depth, std::uint32_t bits, YatFlatFieldFormat* out);

// Slots 35-40 and 45-48 into a device's interface table.
void YatAcqFillBufferSlots(othStruct* table);
// Frees internal buffers 1-8 of a device (its input deselected) and ends its correction.
void YatAcqFreeInternalBuffers(std::uint32_t board, std::uint32_t device);
// Frees onboard buffers 1-32 of a connector.
void YatAcqFreeOnboardBuffers(std::uint32_t board, std::uint32_t connector);
// Forgets a device's and its connector's records without touching the board
// (their owner died: the driver already took the memory back).
void YatAcqForgetBuffers(std::uint32_t board, std::uint32_t device, std::uint32_t connector);
