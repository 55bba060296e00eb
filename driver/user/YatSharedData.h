// The board library's data section shared by every process that loads it:
// the acquisition handle blocks, the boards-info record, the board table, the
// debug level and the pixel packer tables, in this order; behind them the
// process holders of the slots and the ROI list pool, which keep what a
// process holds findable by every other one. Zero-filled when the first
// process of the machine maps it.
//
// One lock guards the cross-process state here: the named mutex
// "HABRIX_QELYATCLFOLVA4X_DLL_MUTEX" (open, close, the process-slot mask, the
// holders, the reclaim of dead holders, the ROI list pool). Nothing else is
// taken while it is held, except the driver requests of the open. The DMA
// owner words are claimed and freed by compare-and-swap only, without it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "driver/user/QelHwStatus.h"

inline constexpr std::uint32_t YAT_MAX_BOARD = 16;
inline constexpr std::uint32_t YAT_MAX_CAMERA_PER_BOARD = 2;
inline constexpr std::uint32_t YAT_EEPROM_COUNT = 4;
inline constexpr std::uint32_t YAT_EEPROM_IMAGE_SIZE = 256;
inline constexpr std::uint32_t YAT_FLASH_RECORD_SIZE = 92;
inline constexpr std::uint32_t YAT_CBH_HEADER_SIZE = 186;
inline constexpr std::uint32_t YAT_HOST_DMA_GROUPS = 16;
inline constexpr std::uint32_t YAT_HOST_DMA_PER_GROUP = 4;
inline constexpr std::uint32_t YAT_ACQ_DMA_CHANNELS = 16;
inline constexpr std::uint32_t YAT_DMA_OWNER_FREE = 0xFFFFFFFFu;
inline constexpr std::uint32_t YAT_PROCESS_SLOTS = 32;

// A DMA owner word names the camera (bits 0..7) and the process slot (bits
// 8..15, 0 for a process that has not opened the library) that took it, so
// that what a dead process held can be given back.
inline constexpr std::uint32_t YatDmaOwnerWord(std::uint32_t slot, std::uint32_t camera) {
  return (slot & 0xFF) << 8 | (camera & 0xFF);
}
inline constexpr std::uint32_t YatDmaOwnerCamera(std::uint32_t word) { return word & 0xFF; }
inline constexpr std::uint32_t YatDmaOwnerSlot(std::uint32_t word) { return word >> 8 & 0xFF; }
inline constexpr std::uint32_t YAT_PACKER_SLOTS_PER_BOARD = 4;
inline constexpr std::uint32_t YAT_PACKER_MAX_ENTRIES = 10;

// Grab-controller register callbacks; the owner is the acquisition handle.
using YatGrabCtrlRead = QelHwStatus (*)(void* owner, std::uint32_t reg, std::uint32_t* value);
using YatGrabCtrlSetBits = QelHwStatus (*)(void* owner, std::uint32_t reg, std::uint32_t value,
                                           std::uint32_t mask);
using YatGrabCtrlWrite = QelHwStatus (*)(void* owner, std::uint32_t reg, std::uint32_t value);

// A camera-control timer or strobe slot: the time base, the caller's record
// as last accepted, and the limits {kind, first maximum, second maximum}.
struct YatGrabCtrlTimerSlot {
  std::uint32_t timeBase;
  std::uint8_t record[64];
  std::uint32_t limits[3];
};
static_assert(sizeof(YatGrabCtrlTimerSlot) == 80);

struct YatGrabCtrlStrobeSlot {
  std::uint32_t timeBase;
  std::uint8_t record[52];
  std::uint32_t limits[3];
};
static_assert(sizeof(YatGrabCtrlStrobeSlot) == 68);

// The grab controller's context, kept inside the acquisition handle. The
// callbacks are addresses in the process that stored them last: every user
// stores its own before a call.
struct YatGrabCtrlContext {
  std::uint32_t reserved;
  void* owner;
  YatGrabCtrlRead read;
  YatGrabCtrlSetBits setBits;
  YatGrabCtrlWrite write;
  std::uint32_t extTriggerFrameCount;
  YatGrabCtrlTimerSlot timers[2];
  YatGrabCtrlStrobeSlot strobe;
  std::uint32_t words[3];  // words[2]: line-trigger threshold
  std::uint32_t camera;
  std::uint8_t doublePulse[68];
  std::uint32_t framesPerGroup;
};
static_assert(offsetof(YatGrabCtrlContext, owner) == 8);
static_assert(offsetof(YatGrabCtrlContext, read) == 16);
static_assert(offsetof(YatGrabCtrlContext, setBits) == 24);
static_assert(offsetof(YatGrabCtrlContext, write) == 32);
static_assert(offsetof(YatGrabCtrlContext, extTriggerFrameCount) == 40);
static_assert(offsetof(YatGrabCtrlContext, timers) == 44);
static_assert(offsetof(YatGrabCtrlContext, strobe) == 204);
static_assert(offsetof(YatGrabCtrlContext, words) == 272);
static_assert(offsetof(YatGrabCtrlContext, camera) == 284);
static_assert(offsetof(YatGrabCtrlContext, doublePulse) == 288);
static_assert(offsetof(YatGrabCtrlContext, framesPerGroup) == 356);
static_assert(sizeof(YatGrabCtrlContext) == 360);

// One camera input of one board, shared by every process.
struct YatAcqHandle {
  std::uint32_t type;
  std::uint32_t board;
  std::uint32_t camera;
  YatGrabCtrlContext grabCtrl;
  std::uint32_t reserved[2];
  std::uint32_t firmwarePresent;
  std::uint32_t configurationCount;
  std::uint8_t acqWindow[288];  // bytes 40..287: the current video format
  std::uint32_t pixelFormat;
  std::uint32_t cropLineMultiplier;
};
static_assert(offsetof(YatAcqHandle, grabCtrl) == 16);
static_assert(offsetof(YatAcqHandle, reserved) == 376);
static_assert(offsetof(YatAcqHandle, firmwarePresent) == 384);
static_assert(offsetof(YatAcqHandle, configurationCount) == 388);
static_assert(offsetof(YatAcqHandle, acqWindow) == 392);
static_assert(offsetof(YatAcqHandle, pixelFormat) == 680);
static_assert(offsetof(YatAcqHandle, cropLineMultiplier) == 684);
static_assert(sizeof(YatAcqHandle) == 688);

struct YatSharedBoardInfo {
  std::uint32_t boardCount;
  std::uint32_t loadCount;         // changed only by interlocked operations
  std::uint32_t processSlotMask;   // bit n-1 while slot n is held
  QelHwStatus initError;           // result of the latest QelHw_Open
};
static_assert(sizeof(YatSharedBoardInfo) == 16);
static_assert(offsetof(YatSharedBoardInfo, loadCount) == 4);
static_assert(offsetof(YatSharedBoardInfo, processSlotMask) == 8);
static_assert(offsetof(YatSharedBoardInfo, initError) == 12);

#pragma pack(push, 1)
struct YatIoBoardState {
  std::uint32_t connector;
  std::uint32_t outputType;
  std::uint32_t triggerDetection;
  std::uint8_t outputShadow;
};

struct YatBoardEntry {
  std::uint8_t eeprom[YAT_EEPROM_COUNT][YAT_EEPROM_IMAGE_SIZE];
  std::uint8_t flashFirmwareRecord[YAT_FLASH_RECORD_SIZE];
  std::uint32_t hostDmaOwner[YAT_HOST_DMA_GROUPS][YAT_HOST_DMA_PER_GROUP];
  std::uint32_t acqDmaOwner[YAT_ACQ_DMA_CHANNELS];
  std::uint32_t xioPresent;
  YatIoBoardState ioBoard;
  std::uint8_t xioFirmwareRecord[YAT_FLASH_RECORD_SIZE];
  std::uint8_t ipuFirmwareRecord[YAT_FLASH_RECORD_SIZE];
  std::uint32_t ipuPresent;
  std::uint8_t reserved[549];
  std::uint32_t initialized;
  std::uint8_t activeFirmwareHeader[YAT_CBH_HEADER_SIZE];
  QelHwStatus initError;
};
#pragma pack(pop)
static_assert(sizeof(YatIoBoardState) == 13);
static_assert(offsetof(YatBoardEntry, flashFirmwareRecord) == 1024);
static_assert(offsetof(YatBoardEntry, hostDmaOwner) == 1116);
static_assert(offsetof(YatBoardEntry, acqDmaOwner) == 1372);
static_assert(offsetof(YatBoardEntry, xioPresent) == 1436);
static_assert(offsetof(YatBoardEntry, ioBoard) == 1440);
static_assert(offsetof(YatBoardEntry, xioFirmwareRecord) == 1453);
static_assert(offsetof(YatBoardEntry, ipuFirmwareRecord) == 1545);
static_assert(offsetof(YatBoardEntry, ipuPresent) == 1637);
static_assert(offsetof(YatBoardEntry, reserved) == 1641);
static_assert(offsetof(YatBoardEntry, initialized) == 2190);
static_assert(offsetof(YatBoardEntry, activeFirmwareHeader) == 2194);
static_assert(offsetof(YatBoardEntry, initError) == 2380);
static_assert(sizeof(YatBoardEntry) == 2384);

// The arbitration list of one camera slot of a board.
struct PackerArbitration {
  std::uint32_t entryCount;
  struct {
    std::uint32_t control;
    std::uint32_t selector;
  } entries[YAT_PACKER_MAX_ENTRIES];
  std::uint8_t active;
  std::uint8_t fill[3];
};
static_assert(sizeof(PackerArbitration) == 88);
static_assert(offsetof(PackerArbitration, active) == 84);

// The living process behind a process slot: its id and start time, so a
// reused pid is never taken for the holder.
struct YatProcessHolder {
  std::int32_t pid;         // 0: nobody
  std::uint32_t reserved;
  std::uint64_t startTime;  // clock ticks since boot
};
static_assert(sizeof(YatProcessHolder) == 16);
static_assert(offsetof(YatProcessHolder, startTime) == 8);

// ROI lists of internal buffers, kept here so that a record in another
// process's shared memory names them by reference, never by an address of
// the process that built them. A list is a run of entries of the pool.
inline constexpr std::uint32_t YAT_ROI_POOL_LISTS = 256;
inline constexpr std::uint32_t YAT_ROI_POOL_ENTRIES = 4096;
inline constexpr std::uint32_t YAT_ROI_POOL_ENTRY_SIZE = 28;

struct YatRoiPoolList {
  std::uint32_t serial;  // 0: the list slot is free
  std::uint32_t holder;  // process slot that added it (0: none)
  std::uint32_t first;   // first entry in the pool
  std::uint32_t count;   // entries
};
static_assert(sizeof(YatRoiPoolList) == 16);

struct YatRoiPool {
  std::uint32_t lastSerial;
  std::uint32_t reserved;
  YatRoiPoolList lists[YAT_ROI_POOL_LISTS];
  std::uint8_t entries[YAT_ROI_POOL_ENTRIES][YAT_ROI_POOL_ENTRY_SIZE];
};
static_assert(offsetof(YatRoiPool, lists) == 8);
static_assert(offsetof(YatRoiPool, entries) == 8 + 16 * YAT_ROI_POOL_LISTS);

struct YatSharedData {
  YatAcqHandle acqHandles[YAT_MAX_BOARD][YAT_MAX_CAMERA_PER_BOARD];
  YatSharedBoardInfo info;
  YatBoardEntry boards[YAT_MAX_BOARD];
  std::uint32_t debugLevel;
  PackerArbitration packers[YAT_MAX_BOARD][YAT_PACKER_SLOTS_PER_BOARD];
  std::uint32_t reserved;  // keeps the holders 8-byte aligned
  YatProcessHolder holders[YAT_PROCESS_SLOTS];  // holder of process slot n at n - 1
  YatRoiPool roiPool;
};
static_assert(offsetof(YatSharedData, info) == 22016);
static_assert(offsetof(YatSharedData, boards) == 22032);
static_assert(offsetof(YatSharedData, debugLevel) == 60176);
static_assert(offsetof(YatSharedData, packers) == 60180);
static_assert(offsetof(YatSharedData, holders) == 65816);
static_assert(offsetof(YatSharedData, roiPool) == 66328);
static_assert(sizeof(YatSharedData) == 185120);

// Name under which the section is kept: the library's own file name.
inline constexpr const char* YAT_SHARED_DATA_NAME = "Pardow.DLL";
