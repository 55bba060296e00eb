// The driver's message records and the section-5 request records, as the
// board library and the driver both see them. Included on both sides, so it
// carries no kernel types.
#pragma once

#include <cstddef>
#include <cstdint>

#include "driver/kernel/YatIoctl.h"

// Queues of one process slot (one per message type). Types 0..4 are the
// process's own; 5..8 are the driver's time-stamp queues of acquisition
// channels 0..3 in the row of a board's index.
inline constexpr std::uint32_t YAT_MSG_QUEUE_COUNT = 9;
inline constexpr std::uint32_t YAT_MSG_USER_QUEUES = 5;
inline constexpr std::uint32_t YAT_MSG_TIMESTAMP_QUEUE = 5;
inline constexpr std::uint32_t YAT_MSG_QUEUE_ENTRIES = 1024;
inline constexpr std::uint32_t YAT_MSG_ENTRY_SIZES[YAT_MSG_QUEUE_COUNT] = {20, 40, 32, 4, 32, 20, 20, 20, 20};

inline constexpr std::uint32_t YAT_MSG_TYPE_CHANNEL = 0;
inline constexpr std::uint32_t YAT_MSG_TYPE_TRANSFER = 1;
inline constexpr std::uint32_t YAT_MSG_TYPE_IO_LINE = 2;

// The last 32-bit word of every record handed out: bit 23 says a record is
// present (an empty queue hands out zeros), bits 24..31 count the records
// lost before it.
inline constexpr std::uint32_t YAT_MSG_PRESENT = 1u << 23;
inline constexpr std::uint32_t YAT_MSG_LOST_SHIFT = 24;
inline constexpr std::uint32_t YAT_MSG_LOST_MAX = 255;

#pragma pack(push, 4)

// Channel events (queue 0) and time-stamp entries (queues 5..8).
struct YatChannelMessage {
  std::uint32_t eventBit;
  std::uint32_t channelStatus;  // the channel's status register while decoding
  std::uint64_t timeStamp;      // performance counter
  std::uint32_t tag;            // channel, board, unit flags or source, present, lost
};
static_assert(sizeof(YatChannelMessage) == 20);
static_assert(offsetof(YatChannelMessage, eventBit) == 0);
static_assert(offsetof(YatChannelMessage, channelStatus) == 4);
static_assert(offsetof(YatChannelMessage, timeStamp) == 8);
static_assert(offsetof(YatChannelMessage, tag) == 16);

// Host DMA messages (queue 1): the board's eight message words, the flags the
// driver computes from them, and the tag.
struct YatTransferMessage {
  std::uint32_t word0;  // bits 0..16 position, 17..19 route index, 24..29 host DMA channel
  std::uint32_t word1;  // bits 0..1 kind, 9, 12 start, 13 end, 15, 20
  std::uint32_t word2;
  std::uint32_t word3;  // transfer count
  std::uint32_t word4;
  std::uint64_t words56;  // or the time stamp of a notified end
  std::uint32_t word7;
  std::uint32_t flags;
  std::uint32_t tag;
};
static_assert(sizeof(YatTransferMessage) == 40);
static_assert(offsetof(YatTransferMessage, word0) == 0);
static_assert(offsetof(YatTransferMessage, word1) == 4);
static_assert(offsetof(YatTransferMessage, word3) == 12);
static_assert(offsetof(YatTransferMessage, words56) == 20);
static_assert(offsetof(YatTransferMessage, word7) == 28);
static_assert(offsetof(YatTransferMessage, flags) == 32);
static_assert(offsetof(YatTransferMessage, tag) == 36);

// General-purpose I/O events (queue 2).
struct YatIoLineMessage {
  std::uint32_t size;  // 32
  std::uint32_t reserved[3];
  std::uint32_t kind;   // 0 line change, 4 I/O trigger
  std::uint32_t level;  // 1 set, 2 clear, 0 for a trigger
  std::uint32_t line;
  std::uint32_t tag;  // unit, board, present, lost
};
static_assert(sizeof(YatIoLineMessage) == 32);
static_assert(offsetof(YatIoLineMessage, kind) == 16);
static_assert(offsetof(YatIoLineMessage, level) == 20);
static_assert(offsetof(YatIoLineMessage, line) == 24);
static_assert(offsetof(YatIoLineMessage, tag) == 28);

// YAT_IOCTRL_GET_MESSAGE. The size is the caller's; the driver writes the
// type's whole record.
struct YatMsgRequest {
  YatIocHeader header;
  std::uint32_t messageType;
  std::uint32_t size;
  std::uint64_t buffer;  // the caller's address
};
static_assert(sizeof(YatMsgRequest) == 24);
static_assert(offsetof(YatMsgRequest, messageType) == 8);
static_assert(offsetof(YatMsgRequest, size) == 12);
static_assert(offsetof(YatMsgRequest, buffer) == 16);

struct YatMsgRequest32 {
  YatIocHeader header;
  std::uint32_t messageType;
  std::uint32_t size;
  std::uint32_t buffer;
};
static_assert(sizeof(YatMsgRequest32) == 20);
static_assert(offsetof(YatMsgRequest32, buffer) == 16);

// YAT_IOCTRL_REGISTER_EVENT and YAT_IOCTRL_UNREGISTER_EVENT.
struct YatEventRegistration {
  YatIocHeader header;
  std::uint32_t messageType;
  std::uint64_t event;  // the caller's event handle
};
static_assert(sizeof(YatEventRegistration) == 20);
static_assert(offsetof(YatEventRegistration, messageType) == 8);
static_assert(offsetof(YatEventRegistration, event) == 12);

struct YatEventRegistration32 {
  YatIocHeader header;
  std::uint32_t messageType;
  std::uint32_t event;
};
static_assert(sizeof(YatEventRegistration32) == 16);
static_assert(offsetof(YatEventRegistration32, event) == 12);

// YAT_IOCTRL_ROUTE_EVENT and YAT_IOCTRL_UNROUTE_EVENT (both widths).
struct YatEventRoute {
  YatIocHeader header;
  std::uint32_t index;  // channel, DMA route or I/O line
  std::uint32_t resourceType;
  std::uint32_t eventBits;
};
static_assert(sizeof(YatEventRoute) == 20);
static_assert(offsetof(YatEventRoute, index) == 8);
static_assert(offsetof(YatEventRoute, resourceType) == 12);
static_assert(offsetof(YatEventRoute, eventBits) == 16);

// YAT_IOCTRL_RESET_QUEUE_EVENT.
struct YatQueueReset {
  YatIocHeader header;
  std::uint32_t messageType;
};
static_assert(sizeof(YatQueueReset) == 12);
static_assert(offsetof(YatQueueReset, messageType) == 8);

#pragma pack(pop)

// Resource types of YatEventRoute.
inline constexpr std::uint32_t YAT_ROUTE_CHANNEL = 1;
inline constexpr std::uint32_t YAT_ROUTE_IO_LINE_820 = 6;
inline constexpr std::uint32_t YAT_ROUTE_HOST_DMA = 7;
inline constexpr std::uint32_t YAT_ROUTE_IO_LINE_80C = 8;
inline constexpr std::uint32_t YAT_ROUTE_NONE = 9;
// A host DMA route takes effect only with this event bit.
inline constexpr std::uint32_t YAT_ROUTE_HOST_DMA_BIT = 0x80000000;
