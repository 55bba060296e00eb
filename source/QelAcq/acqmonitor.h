// The acquisition monitor: a second process (the monitor) watches a device
// that another process (the acquiring process) has open. The monitor takes
// a monitor handle of (board, device), registers one acquisition-event and
// one transfer-event callback, and reads the device's parameters and
// capabilities through the handle. Events flow from the acquiring process to
// the monitor through two record FIFOs in named shared sections per device;
// requests flow from the monitor to the acquiring process through a message
// channel per acquiring process. Each process that starts the module runs a
// message thread (serving requests addressed to it) and an event thread
// (delivering the events of the devices it monitors).
//
// Shared monitor records live in the server driver's shared section; the
// process fields name their process by id and start time, so that a dead
// monitor or acquiring process is recognised and nothing it left is followed.
//
// Lock order: the board's critical section (AcqModule.h) before a device's
// FIFO mutex; the FIFO mutex ("..._MONITOR_FIFO_MUTEX_brd<b>_acq<d>") guards
// every put, get and reset of both FIFOs of the device across processes and
// is taken alone otherwise; a channel mutex ("..._MONITOR_MONTOACQ_MSGMUTEX
// _proc<p>") serialises the monitors of one acquiring process and is never
// held while a module lock is taken; the monitor table's process-local mutex
// is taken alone.
#pragma once

#include <cstddef>
#include <cstdint>

#include "source/QelAPI/QelHandle.h"
#include "source/QelAPI/QelRecordFifo.h"
#include "source/QelAPI/QelStatus.h"
#include "source/QelAcq/AcqDeviceRecord.h"

inline constexpr std::uint32_t kAcqMonitorFifoSlots = 4096;
inline constexpr std::uint32_t kAcqMonitorRecordSize = 52;
inline constexpr std::uint32_t kAcqMonitorFifoSectionSize = 52 + kAcqMonitorFifoSlots * kAcqMonitorRecordSize;
static_assert(kAcqMonitorFifoSectionSize == 213044);
inline constexpr std::uint32_t kAcqMonitorMessageAreaSize = 2072;

// Statuses of the monitor.
inline constexpr QelStatus kAcqMonitorNoAcquirer = 0x600071;     // no process has the device open
inline constexpr QelStatus kAcqMonitorAcquirerDied = 0x400032;   // the acquiring process died
inline constexpr QelStatus kAcqMonitorTimeout = 0x400062;
inline constexpr QelStatus kAcqMonitorNoResource = 0x400079;
inline constexpr QelStatus kAcqMonitorHandleTaken = 0x680004B;
inline constexpr QelStatus kAcqMonitorNoHandle = 32769;
inline constexpr QelStatus kAcqMonitorUnknownMessage = 32838;

// Messages of the channel.
inline constexpr std::uint32_t kAcqMonitorMsgGetPrm = 1;
inline constexpr std::uint32_t kAcqMonitorMsgGetCap = 2;
inline constexpr std::uint32_t kAcqMonitorMsgAcqMask = 3;
inline constexpr std::uint32_t kAcqMonitorMsgXferMask = 4;
inline constexpr std::uint32_t kAcqMonitorMsgClearFifo = 5;

// Manager-control codes served by AcqMonitorCommand.
inline constexpr std::uint32_t kAcqMonitorGetHandleCode = 0x80000059;
inline constexpr std::uint32_t kAcqMonitorReleaseHandleCode = 0x8000005A;
inline constexpr std::uint32_t kAcqMonitorAcqCallbackCode = 0x8000005B;
inline constexpr std::uint32_t kAcqMonitorXferCallbackCode = 0x8000005C;

// The shared record of (board, device), 116 bytes, then our side fields.
#pragma pack(push, 4)
struct AcqMonitorRecord {
  QelHandle server;              // the monitor process's server, target of the callbacks
  std::uint32_t ownerProcessId;  // the monitor process; 0 none
  std::uint32_t acqMask;
  std::uint64_t acqCallback;
  std::uint64_t xferCallback;
  std::uint64_t acqContext;
  std::uint32_t acqRegistrations;
  std::uint32_t xferMask;
  std::uint64_t xferContext;
  std::uint32_t xferRegistrations;
  std::uint8_t userData[32];     // present when bytes 12-19 are non-zero
};
#pragma pack(pop)
static_assert(sizeof(AcqMonitorRecord) == 116);
static_assert(offsetof(AcqMonitorRecord, ownerProcessId) == 32);
static_assert(offsetof(AcqMonitorRecord, acqCallback) == 40);
static_assert(offsetof(AcqMonitorRecord, xferCallback) == 48);
static_assert(offsetof(AcqMonitorRecord, acqContext) == 56);
static_assert(offsetof(AcqMonitorRecord, acqRegistrations) == 64);
static_assert(offsetof(AcqMonitorRecord, xferMask) == 68);
static_assert(offsetof(AcqMonitorRecord, xferContext) == 72);
static_assert(offsetof(AcqMonitorRecord, xferRegistrations) == 80);
static_assert(offsetof(AcqMonitorRecord, userData) == 84);

// The monitor and user-data issuers of every record, by id and start time.
struct AcqMonitorShared {
  AcqMonitorRecord records[kAcqDeviceRecordCount];
  AcqOwnerTag owners[kAcqDeviceRecordCount];
  AcqOwnerTag userDataOwners[kAcqDeviceRecordCount];
};
static_assert(offsetof(AcqMonitorShared, owners) == 116 * 208);

// One event in a FIFO (52 bytes).
struct AcqMonitorEvent {
  std::uint32_t size;  // 52
  std::uint32_t board;
  std::uint32_t device;
  std::uint32_t kind;  // 0 acquisition, 1 transfer
  std::uint32_t events;
  std::uint32_t words[4];
  std::uint32_t quads[4];
};
static_assert(sizeof(AcqMonitorEvent) == kAcqMonitorRecordSize);

// What the acquiring side hands the monitor for an acquisition event (28 bytes).
struct AcqMonitorAcqEvent {
  std::uint32_t size;  // 28
  std::uint32_t events;
  std::uint32_t count;
  std::uint32_t zero[4];
};
static_assert(sizeof(AcqMonitorAcqEvent) == 28);

// The message area of a channel (2072 bytes).
struct AcqMonitorMessage {
  std::uint32_t type;
  std::uint32_t status;
  std::uint32_t board;
  std::uint32_t device;
  std::uint32_t inputSize;
  std::uint32_t outputSize;
  std::uint8_t input[1024];
  std::uint8_t output[1024];
};
static_assert(sizeof(AcqMonitorMessage) == kAcqMonitorMessageAreaSize);
static_assert(offsetof(AcqMonitorMessage, output) == 1048);

AcqMonitorShared* AcqMonitorGetShared();
AcqMonitorRecord* AcqMonitorRecordOf(std::uint32_t board, std::uint32_t device);

// ---- Start and end (per process) ----------------------------------------------
QelStatus AcqMonitorInit();
QelStatus AcqMonitorFree();

// ---- Manager control (0x80000059-0x8000005C) ------------------------------------
// 0x80000059 answers the monitor handle in the output (8 bytes).
QelStatus AcqMonitorCommand(std::uint32_t board, std::uint32_t code, const void* input, std::uint32_t inputSize,
                            void* output, std::uint32_t outputSize);
QelStatus AcqMonitorGetHandle(std::uint32_t board, std::uint32_t device, QelHandle** out);
QelStatus AcqMonitorReleaseHandle(QelHandle* handle);
bool AcqMonitorCheckOwner(std::uint32_t board, std::uint32_t device);
QelStatus AcqMonitorRegisterAcqCallback(QelHandle* handle, std::uint32_t mask, std::uint64_t callback,
                                        std::uint64_t context);
QelStatus AcqMonitorRegisterXferCallback(QelHandle* handle, std::uint32_t mask, std::uint64_t callback,
                                         std::uint64_t context);
// Message 5 to the acquiring process (1 the acquisition FIFO, 19 the transfer FIFO).
QelStatus AcqMonitorClearFifo(QelHandle* handle, std::uint32_t which);

// ---- Monitor handles ----------------------------------------------------------------
// This process's monitor handle whose address is `self`; null otherwise.
QelHandle* AcqMonitorHandleAt(std::uint64_t self);
bool AcqMonitorIsHandle(const QelHandle* handle);
QelStatus AcqMonitorFindHandle(const QelHandle* handle, std::uint32_t* board, std::uint32_t* device);
// The device record a monitor handle watches; null when it is none.
AcqDeviceRecord* AcqMonitorGetAcqHandle(const QelHandle* handle);
// A request of `type` (1 parameter, 2 capability) with the id, answered by
// the device's acquiring process: kAcqMonitorNoAcquirer when none has it open.
QelStatus AcqMonitorSendRequest(const QelHandle* handle, std::uint32_t type, std::uint32_t id, void* out,
                                std::uint32_t outSize);

// ---- The acquiring side ----------------------------------------------------------------
std::uint32_t AcqMonitorGetAcqEventMask(std::uint32_t board, std::uint32_t device);
std::uint32_t AcqMonitorGetXferEventMask(std::uint32_t board, std::uint32_t device);
void AcqMonitorAcqCallback(std::uint32_t board, std::uint32_t device, const AcqMonitorAcqEvent* event);
// A transfer's 40-byte event message.
void AcqMonitorXferCallback(std::uint32_t board, std::uint32_t device, const std::uint32_t* message);
// The connected transfer's 32 bytes (null clears), tagged with this process.
void AcqMonitorSetUserDataOf(std::uint32_t board, std::uint32_t device, const void* data);
// The user data when present and written by a process that still runs.
QelStatus AcqMonitorGetUserData(std::uint32_t board, std::uint32_t device, void* out);

// ---- FIFO resources of a device (acqmonitor_resources.cpp) ------------------------------
QelStatus AcqMonitorCreateFifoResources(std::uint32_t board, std::uint32_t device);
void AcqMonitorFreeFifoResourcesOf(std::uint32_t board, std::uint32_t device);
bool AcqMonitorFifoMapped(std::uint32_t board, std::uint32_t device);
// Puts one record into the acquisition (kind 0) or transfer (kind 1) FIFO;
// the device's FIFO event is set on success. False when the FIFO is full.
bool AcqMonitorFifoPut(std::uint32_t board, std::uint32_t device, const AcqMonitorEvent& event);
// Takes the oldest record of that FIFO; false when it is empty.
bool AcqMonitorFifoGet(std::uint32_t board, std::uint32_t device, std::uint32_t kind, AcqMonitorEvent* event);
// Records lost to a full acquisition FIFO since its last reset.
std::uint32_t AcqMonitorFifoOverflows(std::uint32_t board, std::uint32_t device);
void AcqMonitorResetAcqFifo(std::uint32_t board, std::uint32_t device);
void AcqMonitorResetXferFifo(std::uint32_t board, std::uint32_t device);
// The device's FIFO event, for the event thread's wait; kNullHandle when none.
std::uint64_t AcqMonitorFifoEvent(std::uint32_t board, std::uint32_t device);
