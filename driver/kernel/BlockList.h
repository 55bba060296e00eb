// Per-process block lists: the kernel objects a process causes the driver to
// hold (transfer objects, channel infos, DMA information blocks) are blocks
// of that process's list, so a handle from user mode is trusted only when it
// is the payload of a block in the caller's own list, and a dying process's
// list can be released whole.
#pragma once

#include <cstddef>
#include <cstdint>

// The link in front of every payload; the payload follows it directly.
struct YatListBlock {
  YatListBlock* next;
};
static_assert(sizeof(YatListBlock) == 8);

// The head of one list: null when empty. New blocks are appended at the tail.
struct YatBlockList {
  YatListBlock* first;
};

inline constexpr std::int32_t kYatNoBlock = -1;
// A two-node list holds at most two nodes of this size (link included).
inline constexpr std::size_t kYatTwoNodeSize = 32;

// Appends a zero-filled block; answers its position (0 when it became the
// first), kYatNoBlock when memory is short.
std::int32_t BlockListAllocate(std::size_t payloadSize, YatBlockList* list);
// Appends a zero-filled 32-byte node; null when the list already holds two,
// when the payload does not fit a node or when memory is short.
void* TwoNodeListAllocate(std::size_t payloadSize, YatBlockList* list);
// The payload of the block at `position`; null past the end.
void* ListGetAt(std::int32_t position, const YatBlockList* list);
// The position of the block whose payload is `payload`; kYatNoBlock when the
// list has no such block (a handle the caller does not own).
std::int32_t BlockListCheckHandle(const void* payload, const YatBlockList* list);
std::uint32_t BlockListCount(const YatBlockList* list);
// Unlinks and frees the block at `position`; nothing past the end.
void BlockListFree(std::int32_t position, YatBlockList* list);
// Frees every block and empties the head.
void ListFree(YatBlockList* list);
// Moves the block whose payload is `payload` from one list to the tail of
// another; false when `from` has no such block.
bool BlockListMove(const void* payload, YatBlockList* from, YatBlockList* to);
