// The API core: the thin SDK layer through which every module of the server
// driver talks to the messaging layer. It holds the registry of command
// handler tables by command-id range and the dispatch of requests, the API
// lock borrowed from the SDK's library, a pool of events for answers, the
// message, memory and I/O wrappers, per-thread error texts, event-information
// objects, the SDK settings and the buffer data-format table.
//
// Lock order (outermost first): the SDK's API lock (machine-wide, bound from
// "QelApi.DLL"); the handler registry's guard and the event pool's guard
// (process-local, taken alone, never held while a handler runs or a wait
// lasts); the per-thread error registry's guard (taken alone). Without the
// SDK library in the process the API lock is a no-op and the two process
// guards keep the lists consistent.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/win/objects.h"
#include "source/QelAPI/QelHandle.h"
#include "source/QelAPI/QelStatus.h"
#include "source/QelHost/QelHost.h"

// Statuses of the API core.
inline constexpr QelStatus kQelApiLockTimeout = 0x3000362;   // the API lock was not had
inline constexpr QelStatus kQelApiNotLockHolder = 0x300005E;  // the caller does not hold the API lock
inline constexpr QelStatus kQelApiNoEvent = 0x3000067;        // the event pool is empty
inline constexpr QelStatus kQelApiNotRegistered = 0x300004C;  // thread unknown / not allowed
inline constexpr QelStatus kQelApiNoHandler = 70;
inline constexpr QelStatus kQelApiNoMemory = 71;
inline constexpr QelStatus kQelApiNullPointer = 54;

// The communication time-out of the client stubs.
inline constexpr std::uint32_t kQelCommTimeoutMs = 10000;
std::uint32_t GetCommTimeout();

// ---- API lock glue ---------------------------------------------------------
// Binds the five lock entries of "QelApi.DLL" when that library is already in
// the process; otherwise (or when an entry is missing) every entry is cleared.
void BindApiLocker();
// Clears the remembered library and all five entries (instance close).
void ForgetApiLocker();
bool ApiLockIsBound();
// True when taken (at once when nothing is bound).
bool ApiLock();
void ApiUnlock();
// Thread id of the holder; 0 when nothing is bound.
std::uint32_t ApiGetLocker();
bool ApiCallerHoldsLock();
// Releases every level the calling thread holds and answers the depth (low
// byte); 1 when nothing is bound.
std::uint8_t ApiUnlockThread();
// Takes the lock back to the depth ApiUnlockThread gave; true when taken.
bool ApiRelockThread(std::uint8_t depth);

// ---- Handler registry and dispatch -----------------------------------------
using QelFuncHandler = HostMessageHandler;
struct HostFuncHandler;

// A new registration of table[0 .. last - first] for commands first..last, at
// the head of the list (the newest wins for the ids it shares with older
// ones). The table is copied. A null table takes a transaction of its own.
QelStatus QelManNewFuncHandler(std::uint32_t first, std::uint32_t last, const QelFuncHandler* table,
                               HostFuncHandler** token);
// Replaces one entry: null token 310, id outside the range 563, null handler
// 822, a range without table 70.
QelStatus QelManModifyFuncHandler(HostFuncHandler* token, std::uint32_t id, QelFuncHandler handler,
                                  QelFuncHandler* previous);
QelStatus QelManFreeFuncHandler(HostFuncHandler* token);
// Frees the registration the pointer holds and clears it; nothing for null.
void ManServerFree(HostFuncHandler** token);
// The request dispatch: the newest range holding the command decides; no
// range, no table or an empty entry answers the request with 70.
QelStatus HostDispatchFunc(QelMessageHeader* request);
// Answers the request with a 36-byte answer carrying `status` (freed when it
// cannot be sent).
QelStatus HostAnswerError(const QelMessageHeader* request, QelStatus status);
// Makes HostDispatchFunc the host layer's request dispatch (library load).
void QelApiInstallDispatch();

// ---- Message wrappers (the caller must hold the API lock) -------------------
QelStatus QelManAllocMsg(std::uint32_t size, QelMessageHeader** message);
QelStatus QelManFreeMsg(QelMessageHeader* message);
QelStatus QelManAllocAnswer(const QelMessageHeader* request, std::uint32_t size, QelMessageHeader** answer);
QelStatus QelManPostMsg(QelMessageHeader* message, plat::Handle event, HostTransaction** transaction);
QelStatus QelManGetAnswer(HostTransaction* transaction, QelMessageHeader** answer);
QelStatus QelManFreeAnswer(HostTransaction* transaction);
QelStatus QelManAppendError(QelMessageHeader** answer);
// Sends a message (an answer gets the thread's error text first); the
// message is freed on any failure, and when the caller does not hold the lock.
QelStatus QelManSendAnswer(QelMessageHeader* answer);

// ---- Memory and I/O wrappers (each takes the API lock around its call) ------
QelStatus QelManAllocContigBuffer(std::uint32_t size, std::uint64_t* physical, void** address);
QelStatus QelManAllocContigBufferEx(std::uint32_t size, std::uint32_t lowest, std::uint32_t highest,
                                    std::uint64_t* physical, void** address);
QelStatus QelManFreeContigBuffer(void* address);
QelStatus QelManLockSGBuffer(std::uint64_t buffer, void* address, std::uint32_t size, qelmem::QelMemSgList** list);
QelStatus QelManUnlockSGBuffer(qelmem::QelMemSgList* list);
QelStatus QelManUnlockAllSGBuffer();
QelStatus QelManMapBuffer(std::uint64_t physical, std::uint64_t size, void** address);
QelStatus QelManMapBufferEx(std::uint64_t physical, std::uint64_t size, std::uint64_t flags, void** address);
QelStatus QelManUnmapBuffer(void* address);
QelStatus QelManVirtualToPhys(const void* address, std::uint64_t* physical);
QelStatus QelManReadIo(std::uint32_t port, std::uint32_t width, std::uint32_t* value);
QelStatus QelManWriteIo(std::uint32_t port, std::uint32_t width, std::uint32_t value);
QelStatus QelManAllocPhysMemory(std::uint64_t lowest, std::uint64_t highest, std::uint64_t flags,
                                std::uint64_t* count, std::uint64_t* pages, qelmem::QelMemPhysHandle* memory);
QelStatus QelManFreePhysMemory(qelmem::QelMemPhysHandle memory);
QelStatus QelManMapPhysMemory(qelmem::QelMemPhysHandle memory, std::uint64_t* address);
QelStatus QelManUnmapPhysMemory(qelmem::QelMemPhysHandle memory, void* address);
QelStatus QelManGetPhysMemory(qelmem::QelMemPhysHandle memory, std::uint64_t* pages, std::uint32_t count,
                              std::uint32_t* returned);

// ---- Event pool ---------------------------------------------------------------
inline constexpr std::uint32_t kQelApiEventCount = 64;
// Creates the 64 auto-reset events (level 1 line and failure when it cannot).
QelStatus QELMANINITEVENTS();
void QelManFreeEvents();
bool QelManEventsReady();
QelStatus QelManGetEvent(plat::Handle* event);
// Gives an event back; only the API lock's holder may, and only an event
// handed out by QelManGetEvent (both refusals are logged).
QelStatus QelManReleaseEvent(plat::Handle event);
// Waits with the API lock released (the caller must hold it).
QelStatus QelManWaitEvent(plat::Handle event, std::uint32_t timeoutMs);

// ---- Per-thread error texts ---------------------------------------------------
inline constexpr std::uint32_t kQelThreadErrorTextSize = 1024;
// A thread is registered by its first use and forgotten when it ends.
QelStatus QelManSetThreadError(std::uint32_t code, const char* text);
// The calling thread's text, null when it has none (or an empty one) recorded.
const char* QelManGetThreadError(std::uint32_t* code);
// Forgets every thread (library unload); later calls answer 0x300004C.
void QelManFreeThreadErrors();

// ---- Event-information objects (tag 0xcccc010b) ----------------------------------
// The client's event descriptor as a record of nine 64-bit words: word 0,
// the entry count (32-bit word 1), a flag (word 2), two 64-bit values, nine
// 32-bit words of which the last is the data size (32-bit word 16).
struct QelEventDescriptor {
  std::uint32_t word0;
  std::uint32_t count;
  std::uint32_t flag;
  std::uint32_t pad;
  std::uint64_t value1;
  std::uint64_t value2;
  std::uint32_t words[9];
  std::uint32_t pad2;
};
static_assert(sizeof(QelEventDescriptor) == 72);
static_assert(offsetof(QelEventDescriptor, value1) == 16);
static_assert(offsetof(QelEventDescriptor, words) + 8 * 4 == 64);  // the data size is 32-bit word 16

QelStatus QelEventInfoNew(const QelHandle* server, std::uint32_t eventType, const QelEventDescriptor* descriptor,
                          const void* data, QelHandle** handle);
QelStatus QelEventInfoFree(QelHandle* handle);
QelStatus QelEventInfoGetPrm(const QelHandle* handle, std::uint32_t id, void* value);

// Logs a status at the level of its bits 20-21 (modules call it too).
void ManReportStatus(QelStatus status, const char* file, std::int32_t line);

// ---- SDK settings ---------------------------------------------------------------
inline constexpr std::uint32_t kQelSettingCount = 6;
void LoadSettings();
QelStatus GetSetting(std::uint32_t index, void* value, std::uint32_t size);
QelStatus SettingIndexStatus(std::uint32_t index);

// ---- Buffer data formats ---------------------------------------------------------
std::uint32_t QelManGetFormatCode(std::uint32_t index);
std::uint32_t QelManGetFormatIndex(std::uint32_t code);
std::uint32_t QelManGetFormatPixelDepthMin(std::uint32_t code);
std::uint32_t QelManGetFormatPixelDepthMax(std::uint32_t code);
bool QelManGetFormatName(std::uint32_t code, char* text, std::uint32_t size);

// ---- Server queries and forwarders -------------------------------------------------
const QelHandle* GetLocalServerHandle();
QelStatus GetServerAddressOffset(std::uint32_t* first, std::uint32_t* second);
QelStatus GetServerMemoryInfo(std::uint32_t* first, std::uint32_t* second, std::uint32_t* third);
QelStatus GetServerClass(std::uint32_t* serverClass);
std::uint32_t IsServerKnown(const QelHandle* handle);
// The processor's MMX flag from the OS layer (the other OS services are
// called by their own names).
bool ApiSysHasMmx();
