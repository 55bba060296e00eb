// The device interface table (`othStruct`): 52 eight-byte slots per device,
// through which the board-independent acquisition code reaches every
// board-specific operation. Each process keeps its own 16 x 13 array (the
// slots hold addresses in that process); an empty operation slot means that
// the device does not support the operation, and the caller answers 0x400046
// unless its operation says otherwise.
#pragma once

#include <cstddef>
#include <cstdint>

#include "source/QelAcq/AcqStatus.h"
#include "source/QelAcq/AcqValidationContext.h"

struct QelHandle;

inline constexpr QelStatus kAcqStatusNotSupported = kQelModuleAcquisition | 0x46;
inline constexpr std::uint32_t kAcqVicApplyTableBytes = 1040;
inline constexpr std::uint32_t kAcqCamApplyTableBytes = 960;

// A validator or an apply handler: 0, or a refusal detail (index << 8 | kind).
using AcqPrmHandler = std::uint32_t (*)(AcqValidationContext* context);
using AcqValidator = AcqPrmHandler;

using AcqBoardOp = QelStatus (*)(std::uint32_t board);
using AcqControlOp = QelStatus (*)(std::uint32_t board, std::uint32_t resourceMask, std::int32_t frameCount,
                                   std::int32_t* out);
using AcqPlainOp = QelStatus (*)();
using AcqContextOp = QelStatus (*)(AcqValidationContext* context);
using AcqHandleOp = QelStatus (*)(QelHandle* handle);
using AcqHandleValueOp = QelStatus (*)(QelHandle* handle, std::uint32_t value);
using AcqHandleOutOp = QelStatus (*)(QelHandle* handle, std::uint32_t* out);
// A LUT read or write: `count` is the byte size for a read, the entry count for
// a write, whose entries are `bytesPerEntry` wide as the LUT object holds them.
using AcqLutOp = QelStatus (*)(QelHandle* handle, std::uint32_t lutIndex, std::uint32_t count,
                               std::uint32_t bytesPerEntry, void* data);
using AcqNameOp = QelStatus (*)(char* destination128);
using AcqHandleNameOp = QelStatus (*)(QelHandle* handle, char* destination128);
using AcqPrivateOp = QelStatus (*)(QelHandle* handle, std::uint32_t command, const void* in, std::uint32_t inSize,
                                   void* out, std::uint32_t outSize);
using AcqRouteOp = QelStatus (*)(QelHandle* handle, std::uint32_t mask, AcqDeviceRecord* record);
using AcqCameraControlReadOp = QelStatus (*)(QelHandle* handle, std::uint32_t entry, std::uint32_t* out,
                                             CamPrmBlock* cam);
using AcqCameraControlWriteOp = QelStatus (*)(QelHandle* handle, std::uint32_t entry, std::uint32_t value,
                                              AcqValidationContext* context);
using AcqIdOutOp = QelStatus (*)(QelHandle* handle, std::uint32_t id, std::uint32_t* out);
using AcqIdValueOp = QelStatus (*)(QelHandle* handle, std::uint32_t id, void* value);
using AcqBufferOp = QelStatus (*)(QelHandle* handle, std::uint32_t number, QelHandle* buffer, std::uint64_t extra);
using AcqMonitorXferOp = QelStatus (*)(std::uint32_t board, std::uint32_t device, std::uint32_t mask);
using AcqLimitOp = QelStatus (*)(AcqValidationContext* context, std::uint32_t* out);
using AcqRangeOp = QelStatus (*)(AcqValidationContext* context, std::uint32_t* minimum, std::uint32_t* maximum);
using AcqRangeExOp = QelStatus (*)(AcqValidationContext* context, std::uint32_t* minimum, std::uint32_t* maximum,
                                   std::uint32_t zero);

struct othStruct {
  std::uint32_t vicApplyHeader[2];           // 0: 0, 1040
  std::uint32_t camApplyHeader[2];           // 1: 960, 368
  const AcqValidator* vicValidators;         // 2: 130 entries
  AcqPrmHandler* vicApplyTable;              // 3: 130 entries, this process's heap
  const AcqValidator* camValidators;         // 4: 120 entries
  AcqPrmHandler* camApplyTable;              // 5: 120 entries, this process's heap
  AcqBoardOp selectInput;                    // 6
  AcqBoardOp deselectInput;                  // 7
  AcqControlOp acquisitionControl;           // 8
  AcqPlainOp noOperation;                    // 9: answers 0
  AcqContextOp defaultPrms;                  // 10
  AcqContextOp capabilities;                 // 11
  AcqHandleOp lutInit;                       // 12
  AcqLutOp lutRead;                          // 13
  AcqLutOp lutWrite;                         // 14
  AcqHandleOp lutProgramAtOpen;              // 15
  AcqLimitOp vic2076Limit;                   // 16: the VIC 2076 limit; empty on this board
  AcqNameOp deviceName;                      // 17
  AcqPrivateOp privateRead;                  // 18
  AcqPrivateOp privateWrite;                 // 19
  AcqHandleOp reopenHwHandle;                // 20
  AcqRangeOp vic2110Range;                   // 21: the VIC 2110 range; empty on this board
  AcqRouteOp setEventMask;                   // 22
  AcqCameraControlReadOp cameraControlRead;  // 23
  AcqCameraControlWriteOp cameraControlWrite;  // 24
  AcqRangeExOp vic2126Range;                 // 25: the VIC 2126 range; empty on this board
  AcqHandleValueOp softwareTrigger;          // 26
  AcqHandleValueOp setPrm706;                // 27: empty on this board
  AcqHandleValueOp setPrm707;                // 28: empty on this board
  AcqHandleValueOp resetTimeStamp;           // 29: empty on this board
  AcqHandleOutOp cameraStatus;               // 30
  void* empty31;                             // 31
  void* empty32;                             // 32
  AcqHandleNameOp deviceNameOfHandle;        // 33: empty on this board
  AcqIdOutOp detectedVideoFormat;            // 34
  AcqHandleOutOp internalBufferCreate;       // 35
  AcqHandleValueOp internalBufferFree;       // 36
  AcqBufferOp internalBufferWrite;           // 37
  AcqBufferOp internalBufferRead;            // 38
  AcqHandleValueOp setPrm70c;                // 39
  AcqHandleValueOp setPrm70d;                // 40
  AcqIdValueOp getVicPrmHook;                // 41: empty on this board
  AcqIdValueOp getVicCapHook;                // 42: empty on this board
  AcqHandleOp getCamVicHook;                 // 43: empty on this board
  AcqMonitorXferOp registerMonitorXferEvent;  // 44: empty on this board
  AcqHandleOutOp onboardBufferCreate;        // 45
  AcqHandleValueOp onboardBufferFree;        // 46
  AcqBufferOp onboardBufferWrite;            // 47
  AcqBufferOp onboardBufferRead;             // 48
  AcqRouteOp unrouteEvents;                  // 49
  AcqBoardOp startEventThread;               // 50
  AcqBoardOp stopEventThread;                // 51
};
static_assert(sizeof(othStruct) == 52 * 8);
static_assert(offsetof(othStruct, vicValidators) == 2 * 8);
static_assert(offsetof(othStruct, camApplyTable) == 5 * 8);
static_assert(offsetof(othStruct, selectInput) == 6 * 8);
static_assert(offsetof(othStruct, noOperation) == 9 * 8);
static_assert(offsetof(othStruct, lutProgramAtOpen) == 15 * 8);
static_assert(offsetof(othStruct, vic2076Limit) == 16 * 8);
static_assert(offsetof(othStruct, deviceName) == 17 * 8);
static_assert(offsetof(othStruct, vic2110Range) == 21 * 8);
static_assert(offsetof(othStruct, vic2126Range) == 25 * 8);
static_assert(offsetof(othStruct, cameraStatus) == 30 * 8);
static_assert(offsetof(othStruct, detectedVideoFormat) == 34 * 8);
static_assert(offsetof(othStruct, setPrm70d) == 40 * 8);
static_assert(offsetof(othStruct, registerMonitorXferEvent) == 44 * 8);
static_assert(offsetof(othStruct, onboardBufferRead) == 48 * 8);
static_assert(offsetof(othStruct, stopEventThread) == 51 * 8);

// This process's table of (board, slot); null outside 16 x 13.
othStruct* AcqGetOthStruct(std::uint32_t board, std::uint32_t slot);
// The table of the device a record names (its board index and slot index).
othStruct* AcqGetOthStructOf(const AcqDeviceRecord* record);
// Zeroes every table of this process (module start).
void AcqClearOthStructs();
// Writes slots 0 and 1: the apply-table sizes and the fourth word, 368, kept as it is.
void AcqInitOthStructHeader(othStruct* table);
