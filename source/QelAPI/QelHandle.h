// QelHandle: the 32-byte name of every SDK object, carried inside request
// payloads between processes, and the predicates with which entry points test
// a handle before they use it.
//
// Word 0 is the address of the object's server: byte 0 the board part, byte 1
// the server index (board + 1 for a board's server), byte 2 the server class,
// byte 3 the host part. The private record is an address in the owner process
// only: it is used after it is found in this process's registry of live
// records of the handle's tag (HandleRecordOf), never just because a handle
// names it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "source/QelAPI/QelStatus.h"

#pragma pack(push, 1)
struct QelHandle {
  std::uint32_t server;    // address of the object's server
  std::uint32_t zero;
  std::uint32_t reserved;
  std::uint64_t record;    // the object's private record in its owner process
  std::uint32_t tag;
  std::uint64_t self;      // the handle's own address in its owner process
};
#pragma pack(pop)
static_assert(sizeof(QelHandle) == 32);
static_assert(offsetof(QelHandle, zero) == 4);
static_assert(offsetof(QelHandle, reserved) == 8);
static_assert(offsetof(QelHandle, record) == 12);
static_assert(offsetof(QelHandle, tag) == 20);
static_assert(offsetof(QelHandle, self) == 24);

// Tags of the objects.
inline constexpr std::uint32_t kQelTagServer = 0xcccc0040;
inline constexpr std::uint32_t kQelTagAcqDevice = 0xcccc0080;
inline constexpr std::uint32_t kQelTagTransfer = 0xcccc0087;
inline constexpr std::uint32_t kQelTagOtherXferSource = 0xcccc0088;  // a source kind no module here makes
inline constexpr std::uint32_t kQelTagPixelProcessor = 0xcccc0089;
inline constexpr std::uint32_t kQelTagGeneralIo = 0xcccc008a;
inline constexpr std::uint32_t kQelTagAcqSourceB = 0xcccc008c;
inline constexpr std::uint32_t kQelTagSerialPort = 0xcccc008d;
inline constexpr std::uint32_t kQelTagSecondaryAcq = 0xcccc008e;
inline constexpr std::uint32_t kQelTagVideoInputPrm = 0xcccc0100;
inline constexpr std::uint32_t kQelTagBuffer = 0xcccc0101;
inline constexpr std::uint32_t kQelTagCameraPrm = 0xcccc0102;
inline constexpr std::uint32_t kQelTagLut = 0xcccc0104;
inline constexpr std::uint32_t kQelTagEventInfo = 0xcccc010b;

// Server classes (byte 2 of the address).
inline constexpr std::uint32_t kQelServerClassF5 = 0xF5;
inline constexpr std::uint32_t kQelServerClassF8 = 0xF8;

// Statuses of IsHandleValid.
inline constexpr QelStatus kQelInvalidHandle = 0x3000001;
inline constexpr QelStatus kQelHandleNullIndex = 0x3000236;

// The server index byte (byte 1 of word 0): 0x3000001 for a null handle or
// one not readable for 32 bytes, 0x3000236 for a null out. A module's board
// is that byte minus 1.
QelStatus IsHandleValid(const QelHandle* handle, std::uint32_t* index);

// True when the handle can be read for its 32 bytes.
bool HandleIsReadable(const QelHandle* handle);

bool HandleIsSameObject(const QelHandle* a, const QelHandle* b);
bool HandleIsSameServer(const QelHandle* a, const QelHandle* b);
bool HandleIsSameServerAndTag(const QelHandle* a, const QelHandle* b);
bool HandleHasTag(const QelHandle* handle, std::uint32_t tag);
bool HandleIsBuffer(const QelHandle* handle);
bool HandleIsServer(const QelHandle* handle);
bool HandleIsPixPro(const QelHandle* handle);
bool HandleIsOtherXferSource(const QelHandle* handle);
bool HandleIsSecondaryAcq(const QelHandle* handle);
bool HandleIsAcqSource(const QelHandle* handle);
bool HandleIsLocal(const QelHandle* handle);
bool HandleIsOnLocalBoard(const QelHandle* handle);
bool HandleIsHostServer(const QelHandle* handle);
bool HandleIsServerF8(const QelHandle* handle);
bool HandleIsServerClass(const QelHandle* handle, std::uint32_t serverClass);
bool HandleIsHostBuffer(const QelHandle* handle);
bool HandleIsF8Buffer(const QelHandle* handle);
bool HandleIsSystemBuffer(const QelHandle* handle);
bool HandleIsF5Buffer(const QelHandle* handle);
bool HandleIsBufferOnServer(const QelHandle* server, const QelHandle* handle);
// Byte 0 of word 0 minus 1 (-1 for every board server of the address plan,
// whose board lies in byte 1: modules take the board from IsHandleValid).
int HandleBoardIndex(const QelHandle* handle);
bool HandleIsRemoteServer(const QelHandle* handle);
bool HandleIsRemoteBuffer(const QelHandle* handle);

// This process's registry of live private records, by tag. A module adds a
// record when it makes the object and removes it before the record dies.
void HandleRegistryAdd(std::uint32_t tag, const void* record);
void HandleRegistryRemove(std::uint32_t tag, const void* record);
// The handle's private record when the handle is readable, carries `tag` and
// names a live record of that tag in this process; null otherwise.
void* HandleRecordOf(const QelHandle* handle, std::uint32_t tag);
