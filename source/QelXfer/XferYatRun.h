// The board run's shared pieces: the transfer message as the worker reads
// it, what handling one message leaves to be done once the transfer's lock
// is given back (the client's callback, the monitor's record, the end
// events), and the run helpers the start, stop and worker share.
//
// Lock order: the transfer's lock, then the board library's. The client's
// callback, the monitor and the end events are served after the transfer's
// lock is released: a client callback may itself ask for the transfer, and
// the monitor's FIFO mutex, shared with other processes, is not awaited
// under it.
#pragma once

#include <array>
#include <cstdint>

#include "platform/win/objects.h"
#include "source/QelAPI/QelHandle.h"
#include "source/QelAPI/QelStatus.h"
#include "source/QelXfer/XferRecords.h"

// A transfer message: ten words as the board library hands them out.
struct XferMessage {
  std::array<std::uint32_t, 10> words;
  std::uint32_t BufferIndex() const { return words[0] & 0x1FFFFu; }
  std::uint32_t Slot() const { return (words[0] >> 17) & 0x7u; }
  std::uint32_t Channel() const { return (words[0] >> 24) & 0x3Fu; }
  bool LastOfList() const { return (words[1] & 0x3u) == 0x3u; }
  std::uint32_t BytesPerLine() const { return words[2]; }
  std::uint32_t Lines() const { return words[3]; }
  std::uint32_t TimeStamp() const { return words[4]; }
  std::uint32_t EventWord() const { return words[8]; }
  std::uint32_t Type() const { return words[9] & 0xFu; }
  std::uint32_t Board() const { return (words[9] >> 4) & 0xFu; }
};
static_assert(sizeof(XferMessage) == 40);

inline constexpr std::uint32_t kXferMessageTransfer = 2;
inline constexpr std::uint32_t kXferHwEndOfFrame = 1u << 23;
inline constexpr std::uint32_t kXferHwEndOfTransfer = 1u << 31;
inline constexpr std::uint32_t kXferEventEndOfTransfer = 0x4000000;
inline constexpr std::uint32_t kXferIncompleteFrame = 0x40000000;
inline constexpr std::uint32_t kXferStateArmed = 0xFFFFFFFFu;

// What is left to do once the transfer's lock is released.
struct XferDelivery {
  bool callback = false;
  QelHandle server{};
  std::uint64_t function = 0;
  std::uint64_t context = 0;
  std::uint32_t eventMask = 0;
  std::uint32_t eventCount = 0;
  bool monitor = false;
  std::uint32_t board = 0;
  std::uint32_t device = 0;
  std::array<std::uint32_t, 10> monitorRecord{};
  std::array<plat::Handle, 2> endEvents{};
  std::uint32_t endEventCount = 0;
};

// Handles one message of slot `slot` under the transfer's lock.
void XferYatHandleMessage(XferObject* xfer, std::uint32_t slot, const XferMessage& message, XferDelivery* out);
// The callback, the monitor record and the end events, without any lock.
void XferYatDeliver(const XferDelivery& delivery);
// Readies the end-of-transfer callback of a group (the pair's, or the one
// registered on another pair of its chain) when the event word asks for it.
void XferYatPrepareCallback(XferDestinationGroup* group, XferPair* pair, std::uint32_t sdkEvents,
                            XferDelivery* out);
// The acquisition on a connector has gone idle after the frame that carried
// `timeStamp` (no frame came after it).
bool XferIsLastFrame(std::uint32_t board, std::uint32_t connector, std::uint32_t timeStamp);
