// The shared record of one acquisition device and the acquisition module's
// block of the server driver's shared data section.
//
// Every process that loads the server driver maps the same section, possibly
// at another address, and a process may die at any time. So nothing here
// points into the section, and nothing here is an address that another
// process would follow: the fields that name a process's own objects (the
// client's handle copy, callback and context, the two lock owners) hold
// tokens issued by that process (AcqOwnerTokens.h), and the side table
// `ownerTags` says, per device, which process (id and start time) issued the
// callback tokens and which the lock tokens. A token is only ever resolved by
// the process named beside it; any other process only compares tokens and
// asks whether their issuer still lives.
#pragma once

#include <cstddef>
#include <cstdint>

#include "source/QelAcq/AcqBlocks.h"

inline constexpr std::uint32_t kAcqMaxBoards = 16;
inline constexpr std::uint32_t kAcqSlotsPerBoard = 13;
inline constexpr std::uint32_t kAcqDeviceRecordCount = kAcqMaxBoards * kAcqSlotsPerBoard;
inline constexpr std::uint32_t kAcqDeviceRecordSize = 5496;

// A process token stored in a shared record; 0 names nothing.
using AcqToken = std::uint64_t;

struct AcqDeviceRecord {
  std::uint32_t slotIndex;  // 0-12
  AcqCapHeaderBlock levelCaps;
  AcqVicCapBlock vicCaps;
  AcqCamCapBlock camCaps;
  AcqToken clientHandleToken;  // the registering process's 32-byte copy of the client handle
  AcqToken callbackToken;      // the client's callback
  AcqToken contextToken;       // the client's callback context
  std::uint32_t eventMask;     // events the client registered for
  std::uint32_t eventCount;    // raised before each delivered callback; parameter 0x7020004
  std::uint32_t prm706;        // parameter 0x7060004
  std::uint32_t prm707;        // parameter 0x7070004
  std::uint32_t prm70c;        // parameter 0x70c0004
  std::uint32_t prm70d;        // parameter 0x70d0004
  VicPrmBlock vic;             // current video-input parameters
  CamPrmBlock cam;             // current camera parameters
  std::uint8_t xferConnected;  // non-zero while a transfer is connected
  std::uint8_t padding[7];
  AcqToken lockOwnerVic;       // the VIC object holding the parameter lock; 0 unlocked
  AcqToken lockOwnerCam;       // the CAM object holding the parameter lock; 0 unlocked
  std::uint32_t resourceMask;  // camera connector as a mask: 1 connector 1, 2 connector 2
  std::uint32_t boardIndex;    // 0-15
  std::uint32_t ownerProcessId;  // the process that has the device open; 0 none
  std::uint32_t routedEventMask;
};
static_assert(sizeof(AcqDeviceRecord) == kAcqDeviceRecordSize);
static_assert(offsetof(AcqDeviceRecord, levelCaps) == 4);
static_assert(offsetof(AcqDeviceRecord, vicCaps) == 76);
static_assert(offsetof(AcqDeviceRecord, vicCaps.caps) == 84);
static_assert(offsetof(AcqDeviceRecord, camCaps) == 1200);
static_assert(offsetof(AcqDeviceRecord, camCaps.caps) == 1208);
static_assert(offsetof(AcqDeviceRecord, clientHandleToken) == 2312);
static_assert(offsetof(AcqDeviceRecord, callbackToken) == 2320);
static_assert(offsetof(AcqDeviceRecord, contextToken) == 2328);
static_assert(offsetof(AcqDeviceRecord, eventMask) == 2336);
static_assert(offsetof(AcqDeviceRecord, eventCount) == 2340);
static_assert(offsetof(AcqDeviceRecord, prm706) == 2344);
static_assert(offsetof(AcqDeviceRecord, prm707) == 2348);
static_assert(offsetof(AcqDeviceRecord, prm70c) == 2352);
static_assert(offsetof(AcqDeviceRecord, prm70d) == 2356);
static_assert(offsetof(AcqDeviceRecord, vic) == 2360);
static_assert(offsetof(AcqDeviceRecord, cam) == 3320);
static_assert(offsetof(AcqDeviceRecord, xferConnected) == 5456);
static_assert(offsetof(AcqDeviceRecord, lockOwnerVic) == 5464);
static_assert(offsetof(AcqDeviceRecord, lockOwnerCam) == 5472);
static_assert(offsetof(AcqDeviceRecord, resourceMask) == 5480);
static_assert(offsetof(AcqDeviceRecord, boardIndex) == 5484);
static_assert(offsetof(AcqDeviceRecord, ownerProcessId) == 5488);
static_assert(offsetof(AcqDeviceRecord, routedEventMask) == 5492);

// The process that issued a record's tokens, named for good: a reused process
// id never passes for the process that died. Laid out as the platform's
// process identity.
struct AcqOwnerTag {
  std::int32_t processId;  // 0: no owner
  std::uint32_t reserved;
  std::uint64_t startTime;
};
static_assert(sizeof(AcqOwnerTag) == 16);
static_assert(offsetof(AcqOwnerTag, startTime) == 8);

struct AcqDeviceOwnerTags {
  AcqOwnerTag callback;  // issuer of clientHandleToken, callbackToken, contextToken
  AcqOwnerTag lock;      // issuer of lockOwnerVic, lockOwnerCam
  AcqOwnerTag device;    // the process that has the device open (ownerProcessId with its start time)
};
static_assert(sizeof(AcqDeviceOwnerTags) == 48);

// Per-board detection results, kept beside the records. `firstStatus` keeps
// what the board's one hardware detection answered, so that a process that
// only registers the stored result does not take a failed detection for a
// board without devices.
struct AcqDetectionTables {
  std::uint32_t detected[kAcqMaxBoards];
  std::uint32_t deviceType[kAcqMaxBoards][kAcqSlotsPerBoard];
  std::uint32_t resourceMask[kAcqMaxBoards][kAcqSlotsPerBoard];
  std::uint32_t registration[kAcqMaxBoards][kAcqSlotsPerBoard];
  std::uint32_t typeList[kAcqMaxBoards][kAcqSlotsPerBoard];
  std::uint32_t firstStatus[kAcqMaxBoards];
};
static_assert(sizeof(AcqDetectionTables) == 64 + 4 * 832 + 64);

// The acquisition module's block of the shared data section.
struct AcqSharedTables {
  std::uint32_t moduleInitialised;
  std::uint32_t deviceCount[kAcqMaxBoards];
  std::uint32_t boardInitialised[kAcqMaxBoards];
  std::uint32_t openSet[kAcqMaxBoards];  // bit s: slot s is open
  std::uint32_t reserved;
  AcqDeviceRecord records[kAcqDeviceRecordCount];  // (board, slot) at board x 13 + slot
  AcqDeviceOwnerTags ownerTags[kAcqDeviceRecordCount];
  AcqDetectionTables detection;
};
static_assert(offsetof(AcqSharedTables, deviceCount) == 4);
static_assert(offsetof(AcqSharedTables, boardInitialised) == 68);
static_assert(offsetof(AcqSharedTables, openSet) == 132);
static_assert(offsetof(AcqSharedTables, records) == 200);
static_assert(sizeof(AcqSharedTables::records) == 16 * 13 * 5496);
static_assert(offsetof(AcqSharedTables, ownerTags) == 200 + 1143168);
static_assert(offsetof(AcqSharedTables, detection) == 200 + 1143168 + 9984);
static_assert(sizeof(AcqSharedTables) == 200 + 1143168 + 9984 + 3456);

// The module's block of the server driver's shared data section.
AcqSharedTables* AcqGetSharedTables();

// Record and tags of (board, slot); null outside 16 x 13 or without tables.
AcqDeviceRecord* AcqSharedRecord(AcqSharedTables* tables, std::uint32_t board, std::uint32_t slot);
AcqDeviceOwnerTags* AcqSharedOwnerTags(AcqSharedTables* tables, std::uint32_t board, std::uint32_t slot);

// Writes what every process writes into a board's record at initialisation:
// slot, board, resource mask and the block headers.
void AcqInitRecordHeaders(AcqDeviceRecord* record, std::uint32_t board, std::uint32_t slot,
                          std::uint32_t resourceMask);
