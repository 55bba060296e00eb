// The kernel side of transfers: transfer objects in the caller's block list,
// their AL, LB and BH parts with channel infos, DMA information blocks and
// buffer-list rings, and the operations that run them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "driver/kernel/DmaTable.h"
#include "driver/kernel/YatExtensions.h"
#include "driver/kernel/YatTransferRecords.h"
#include "platform/kernel/qelmem.h"

// One DMA channel of a part (a 32-byte block of the process list).
struct YatChannelInfo {
  std::uint32_t dmaChannel;
  std::uint32_t bufferCount;
  std::uint64_t selectedEntry;  // loaded into the channel by a start
  std::uint64_t listStart;      // address of the channel's first entry
  std::uint32_t* lastEntry;     // the entry appended last
};
static_assert(sizeof(YatChannelInfo) == 32);

// A BH buffer: its table, the mapping of its state word and the lock of its
// host pages, which the transfer keeps until it is freed.
struct YatBhDmaInfo {
  DmaResult* result;
  std::uint64_t userAddress;   // where the caller sees the entry's state word
  std::uint8_t ownsMapping;
  std::uint8_t locked;
  std::uint64_t mappedUser;     // the mapping this block made (when it owns one)
  std::uint64_t mappedPhysical;
  std::uint64_t mappedLength;
  plat::kernel::QelMemLockRecord lock;
  std::uint32_t* entry;
};

inline constexpr std::uint32_t kYatTransferAbortDelayUnset = 0;

// A transfer as a request found it: the object and, read under the process
// table, the board and acquisition channel whose transfer mutex guards it.
struct YatXferRef {
  YatXferObject* transfer = nullptr;
  YatBoardExtension* board = nullptr;
  std::uint32_t acqChannel = 0;
};

// The blocks a transfer adds to its process's list while it is built.
struct YatXferOwner {
  YatManagerExtension* manager;
  std::uint32_t slot;
};
// A zero-filled block of the process's list (the table held for the append).
void* XferAllocateBlock(const YatXferOwner& owner, std::size_t size);

// Handles: the caller's process slot, and the transfer a handle names in a
// slot's list (the process table held by the caller), or null.
std::uint32_t XferCallerSlot(YatManagerExtension* manager);
YatXferObject* XferFromHandle(YatManagerExtension* manager, std::uint32_t slot, std::uint64_t handle);
// A new transfer object in the slot's list; null when memory is short.
YatXferObject* XferCreate(YatManagerExtension* manager, std::uint32_t slot, YatBoardExtension* board,
                          std::uint32_t acqChannel);
// Looks a handle up (taking the table briefly); false when it names no
// transfer of the slot.
bool XferLookup(YatManagerExtension* manager, std::uint32_t slot, std::uint64_t handle, YatXferRef* ref);
// With the channel's transfer mutex held: whether the slot still lists the
// transfer with that board and channel (another request may have destroyed it).
bool XferStillListed(YatManagerExtension* manager, std::uint32_t slot, const YatXferRef& ref);
// Destroys a transfer of the slot: takes its channel's transfer mutex, takes
// it and all its blocks out of the list, frees its parts and then the
// blocks. False when the slot no longer lists it. The board must stay
// (pinned by the caller, or being removed by it).
bool XferDestroyListed(YatManagerExtension* manager, std::uint32_t slot, const YatXferRef& ref);

QelHwStatus CreateALXfer(YatBoardExtension* board, YatXferObject* transfer, const YatXferOwner& owner,
                         const YatAlElement* elements, std::uint32_t count);
QelHwStatus CreateLBXfer(YatBoardExtension* board, YatXferObject* transfer, const YatXferOwner& owner,
                         const YatLbElement* elements, std::uint32_t count);
// Elements whose buffer records the caller sees at `recordAddresses` (the
// out fields are written back there in the caller's width).
QelHwStatus CreateBHXfer(YatBoardExtension* board, YatXferObject* transfer, const YatXferOwner& owner,
                         const YatBhHeader* header, const YatBhElement* elements, std::uint32_t count, bool narrow);

// The parts' frees; `blocks` holds the transfer's blocks (taken out of the
// process's list by XferDestroyListed).
QelHwStatus FreeALXfer(YatManagerExtension* manager, YatXferObject* transfer, YatBlockList* blocks);
QelHwStatus FreeLBXfer(YatManagerExtension* manager, YatXferObject* transfer, YatBlockList* blocks);
QelHwStatus FreeBHXfer(YatManagerExtension* manager, YatXferObject* transfer, std::uint32_t slot, YatBlockList* blocks);
// Every transfer of a process slot (its close). Transfers of a board being
// removed are left to the removal, which is waited for.
void DestroySlotTransfers(YatManagerExtension* manager, std::uint32_t slot);
// Every transfer on a board, whichever process holds it (its removal).
void DestroyBoardTransfers(YatBoardExtension* board);

QelHwStatus StartBHXfer(YatManagerExtension* manager, YatXferObject* transfer);
QelHwStatus StartLBXfer(YatManagerExtension* manager, YatXferObject* transfer);
QelHwStatus StartALXfer(YatManagerExtension* manager, YatXferObject* transfer);
QelHwStatus AbortALXfer(YatManagerExtension* manager, YatXferObject* transfer);
QelHwStatus AbortLBXfer(YatManagerExtension* manager, YatXferObject* transfer);
QelHwStatus GetSelectedBufferAddress(YatBoardExtension* board, std::uint32_t position, YatChannelInfo* channel,
                                     YatBucketHeader* chain, std::uint32_t entrySize);
QelHwStatus XferSetPosition(YatBoardExtension* board, YatXferObject* transfer, std::uint32_t position,
                            std::uint32_t dmaType, std::uint32_t dmaChannel);
QelHwStatus SetCycleModeBHXfer(YatManagerExtension* manager, YatXferObject* transfer, std::uint32_t mode);
QelHwStatus RearmBHXfer(YatManagerExtension* manager, YatXferObject* transfer);
// The acquisition reset of a channel: every transfer of this board and
// channel goes back to buffer 0 with its BH list re-armed, and restarts.
QelHwStatus YatAcqResetXferBufferList(YatBoardExtension* board, std::uint32_t acqChannel);
QelHwStatus SetHostDmaEnable(YatBoardExtension* board, bool on);
QelHwStatus SetHostDmaRun(YatBoardExtension* board, bool on);

// Internal helpers shared by the part builders.
YatChannelInfo* GetChannelInfo(YatXferPart* part, const YatXferOwner& owner, std::uint32_t dmaChannel);
bool XferAddDmaInfo(YatXferPart* part, void* info);
// Visits every 32-byte entry of a buffer-list chain from its first bucket.
template <typename Fn>
void ForEachListEntry(YatBucketHeader* chain, Fn fn) {
  if (chain == nullptr) return;
  YatBucketHeader* bucket = chain;
  while (bucket->previous != 0) bucket = reinterpret_cast<YatBucketHeader*>(bucket->previous);
  std::uint32_t position = 0;
  for (; bucket != nullptr; bucket = reinterpret_cast<YatBucketHeader*>(bucket->next)) {
    auto* first = reinterpret_cast<std::uint32_t*>(reinterpret_cast<std::uint8_t*>(bucket) + BucketHeaderRoom(YAT_ENTRY_BYTES));
    for (std::uint32_t i = 0; i < bucket->usedSlots; ++i) fn(bucket, first + i * YAT_ENTRY_WORDS, position++);
  }
}
YatBucketHeader* FirstBucketOf(YatBucketHeader* chain);
// The board's kernel mutex of an acquisition channel's transfers.
class XferMutex {
 public:
  XferMutex(YatBoardExtension* board, std::uint32_t acqChannel);
  ~XferMutex();
  XferMutex(const XferMutex&) = delete;
  XferMutex& operator=(const XferMutex&) = delete;

 private:
  plat::kernel::KernelMutex* mutex_;
};
