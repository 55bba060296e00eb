// The host messaging layer: SDK messages between servers. A message is a block
// of the memory library's machine-wide pool that starts with the 36-byte
// header below; requests carry a command id, answers a status. Transactions,
// ports and port servers live in the library's shared section (QelHostShared.h),
// so a request posted in one process can be answered from another: a queued
// message is kept as its process-independent pool reference, and the owner's
// event is signalled across processes.
//
// Every caller holds the SDK's API lock while it uses the tables; the layer
// has no lock of its own.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/support/qelmem_entries.h"
#include "platform/win/objects.h"
#include "source/QelAPI/QelHandle.h"
#include "source/QelAPI/QelStatus.h"
#include "source/QelHost/QelHostShared.h"

struct QelMessageHeader {
  std::uint32_t size;         // bytes of the whole message, header included
  std::uint32_t transaction;  // id of the transaction that waits for the answer, 0 for none
  std::uint32_t flags;        // kQelMsgAnswer, kQelMsgNoAnswer
  std::uint32_t source;       // address of the sending server
  std::uint32_t destination;  // address of the receiving server
  std::uint32_t port;         // 0 when routed to the parent, the child's port when routed to a child
  std::uint32_t reserved;     // copied from request to answer
  std::uint32_t command;      // command id in a request, QelStatus in an answer
  std::uint32_t errorText;    // offset of an appended zero-terminated error text, 0 for none
};
static_assert(sizeof(QelMessageHeader) == 36);
static_assert(offsetof(QelMessageHeader, destination) == 16);
static_assert(offsetof(QelMessageHeader, command) == 28);
static_assert(offsetof(QelMessageHeader, errorText) == 32);

inline constexpr std::uint32_t kQelMsgAnswer = 0x1;
inline constexpr std::uint32_t kQelMsgNoAnswer = 0x4;

// Statuses of the layer (no module part).
inline constexpr QelStatus kHostHardwareError = 73;
inline constexpr QelStatus kHostNotSupported = 76;
inline constexpr QelStatus kHostInUse = 84;
inline constexpr QelStatus kHostGeneralFailure = 86;
inline constexpr QelStatus kHostServerNotFound = 95;
inline constexpr QelStatus kHostMessageRefused = 96;
inline constexpr QelStatus kHostNoMessage = 97;
inline constexpr QelStatus kHostNoMemory = 0x100047;
inline constexpr QelStatus kHostNoMessagingMemory = 0x10006C;
// Argument n null, invalid, or out of range.
constexpr QelStatus HostNullArgument(QelStatus n) { return QelStatusMake(n, 0x36); }
constexpr QelStatus HostInvalidArgument(QelStatus n) { return QelStatusMake(n, 0x32); }
constexpr QelStatus HostArgumentOutOfRange(QelStatus n) { return QelStatusMake(n, 0x33); }

// A function handed a message: a port server's handler, the request dispatch.
using HostMessageHandler = QelStatus (*)(QelMessageHeader* message);

// Requests for this process's own server go here (the command-handler
// dispatch installs itself); without it a request is refused with 70.
void HostSetRequestDispatcher(HostMessageHandler dispatcher);

// Messages.
QelStatus HOSTALLOCMSG(std::uint32_t size, QelMessageHeader** message);
QelStatus HOSTFREEMSG(QelMessageHeader* message);
QelStatus HOSTALLOCANSWER(const QelMessageHeader* request, std::uint32_t size, QelMessageHeader** answer);
QelStatus HOSTAPPENDERRORTOANSWER(QelMessageHeader* answer, const char* text, QelMessageHeader** result);
// The error text appended to an answer, or null when there is none or its
// offset or end lies outside the message.
const char* HostAnswerErrorText(const QelMessageHeader* answer);

// Transactions.
QelStatus HOSTNEWTRANSAC(HostTransaction** transaction);
QelStatus HOSTGETTRANSACPTR(std::uint32_t id, HostTransaction** transaction);
QelStatus HOSTFREETRANSAC(HostTransaction* transaction);

// Sending and receiving.
QelStatus HOSTPOSTMSG(QelMessageHeader* request, HostMessageHandler handler, plat::Handle event,
                      HostTransaction** transaction);
QelStatus HOSTGETANSWER(HostTransaction* transaction, QelMessageHeader** message);
QelStatus HOSTSENDANSWER(QelMessageHeader* message);
QelStatus HostPutMessage(QelMessageHeader* message, HostTransaction* transaction);

// Ports and port servers.
QelStatus HOSTNEWPORT(std::uint32_t port, std::uint32_t server);
QelStatus HOSTFREEPORT(std::uint32_t port);
QelStatus HOSTINSTALLPORTSERVER(std::uint32_t server, HostMessageHandler handler, std::uint32_t shared);
QelStatus HOSTUNINSTALLPORTSERVER(std::uint32_t server);
QelStatus HOSTGETPORTSERVERMSG(std::uint32_t server, QelMessageHeader** message);
QelStatus HOSTGETPORTADDRESS(std::uint32_t port, std::uint32_t* address);

// Routing of messages for servers that are not on this board.
QelStatus HostRouteMessage(QelMessageHeader* message);
QelStatus HOSTSENDMSGTOPARENT(QelMessageHeader* message);
QelStatus HOSTSENDMSGTOCHILD(QelMessageHeader* message);

// Address bookkeeping of this process.
void HostSetServerIndex(std::uint32_t index);
void HostSetAddressBase(std::uint32_t base);
std::uint32_t HostGetServerIndex();
std::uint32_t HostGetLocalAddress();
// The byte of an address that holds this server's own index (-1 .. 3).
int HostGetIndexPosition();
const QelHandle* HostGetLocalServerHandle();
bool HostIsLocalAddress(std::uint32_t address);
bool HostIsOnThisBoard(std::uint32_t address);
void HostNewInstance();
void HostCloseInstance();

// Memory-library services with the layer's statuses and log lines.
QelStatus HOSTALLOCCONTIGBUFFER(std::uint32_t size, std::uint64_t* physical, void** address);
QelStatus HOSTALLOCCONTIGBUFFEREX(std::uint32_t size, std::uint32_t lowest, std::uint32_t highest,
                                  std::uint64_t* physical, void** address);
QelStatus HOSTFREECONTIGBUFFER(void* address);
QelStatus HOSTLOCKSGBUFFER(std::uint64_t buffer, void* address, std::uint32_t size, qelmem::QelMemSgList** list);
QelStatus HOSTUNLOCKSGBUFFER(qelmem::QelMemSgList* list);
QelStatus HOSTUNLOCKALLSGBUFFER();
QelStatus HOSTMAPBUFFER(std::uint64_t physical, std::uint64_t size, void** address);
QelStatus HOSTMAPBUFFEREX(std::uint64_t physical, std::uint64_t size, std::uint64_t flags, void** address);
QelStatus HOSTUNMAPBUFFER(void* address);
QelStatus HOSTVIRTUALTOPHYS(const void* address, std::uint64_t* physical);
QelStatus HOSTREADIO(std::uint32_t port, std::uint32_t width, std::uint32_t* value);
QelStatus HOSTWRITEIO(std::uint32_t port, std::uint32_t width, std::uint32_t value);
// Physical pages inside [lowest, highest]: *count pages wanted, the number
// granted comes back in it, their page numbers in pages (room for *count).
QelStatus HOSTALLOCPHYSMEMORY(std::uint64_t lowest, std::uint64_t highest, std::uint64_t flags,
                              std::uint64_t* count, std::uint64_t* pages, qelmem::QelMemPhysHandle* memory);
QelStatus HOSTFREEPHYSMEMORY(qelmem::QelMemPhysHandle memory);
QelStatus HOSTMAPPHYSMEMORY(qelmem::QelMemPhysHandle memory, std::uint64_t* address);
QelStatus HOSTUNMAPPHYSMEMORY(qelmem::QelMemPhysHandle memory, void* address);
// Page numbers of `count` pages of the block from its first on; *returned
// receives how many were given.
QelStatus HOSTGETPHYSMEMORY(qelmem::QelMemPhysHandle memory, std::uint64_t* pages, std::uint32_t count,
                            std::uint32_t* returned);
