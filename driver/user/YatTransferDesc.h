// The transfer description a caller hands to Yat_Transfer_Init, the on-board
// image layout it points to, and the host buffer entries of a destination
// list. Included by the board library, the driver and the server driver, so
// it carries plain records only. Every record is packed; pointers are 64 bits.
#pragma once

#include <cstddef>
#include <cstdint>

#include "driver/kernel/YatTransferRecords.h"
#include "platform/kernel/qelmem.h"

inline constexpr std::uint32_t YAT_LOCAL_IMAGE_LIST_SIZE = 20;
inline constexpr std::uint32_t YAT_LOCAL_IMAGE_SIZE = 76;
inline constexpr std::uint32_t YAT_EXTRA_DESTINATIONS = 8;
inline constexpr std::uint32_t YAT_HOST_BUFFER_STATE_WORDS = 16;

// Insert lists are arrays of u64 addresses of on-board buffer records
// (YatInternalBuffer); host buffers name them with 1-based indexes.
inline constexpr std::uint32_t YAT_MAX_INSERTS = 8;
inline constexpr std::uint32_t YAT_MAX_CAMERA_INSERTS = 32;
// Handle slots: the main destination and the extra destinations 0..2.
inline constexpr std::uint32_t YAT_HANDLE_SLOTS = 4;

// Where the lists' rules leave room, Yat_Transfer_Init chooses:
// - Bus-width padding: a piece whose line is not a whole number of bus
//   words is widened to the next whole word, but never beyond the window it
//   is cut from (the record window for LB, the buffer for BH), so that no
//   line runs into its neighbour. Every piece of every buffer is padded on
//   its own.
// - Insert pieces: each chunk holds its insert pieces first (insert A, then
//   insert B, then the camera insert) and the image piece last. The second
//   insert piece reads insert list B at the same index as the first reads
//   list A; with list flag 0x80000 it is of kind 0x4000 instead of 8.
// - Component code of half-width output: bits 8..15 of YatLbPiece::flags.
// - The camera insert piece's half-word is YatLbPiece::splitWidth.
// - Replicated LB elements: copy j of every element takes source entry j of
//   the on-board image list; the line list is shared unchanged.
// - Extra destinations 3..7 have no handle slot and are refused, as are a
//   record with window-A entries and no window-B entry, a tap without a
//   window-B entry of its own, and more than 15 channel groups.
// - Direct-mode state bits: a set bit arms a buffer for the board, so the
//   bit of an empty buffer (buffer-full word 0) is set and that of a full one
//   cleared, in slot A's word as in slot B's and as the driver re-arms a
//   buffer it cycles back to; a state descriptor with bit 30 inverts the
//   sense, as in indirect mode. Read the other way round, slot A's rule would
//   leave every empty buffer of a fresh transfer disarmed.
inline constexpr std::uint32_t YAT_LB_COMPONENT_SHIFT = 8;
inline constexpr std::uint32_t YAT_LB_ABSOLUTE_ADDRESS = 0x1;
inline constexpr std::uint32_t YAT_SECOND_INSERT_KIND = 0x4000;

// Bits of YatImageWindow::flags.
inline constexpr std::uint32_t YAT_WINDOW_BACKWARDS = 0x2;
inline constexpr std::uint32_t YAT_WINDOW_NEGATIVE_STEP = 0x8;
inline constexpr std::uint32_t YAT_WINDOW_KIND_MASK = 0x7C;

// Bit of YatHostBufferEntry::entryFlags.
inline constexpr std::uint32_t YAT_ENTRY_VERTICAL_FLIP = 0x2;

#pragma pack(push, 1)

struct YatImageWindow {
  std::uint32_t reserved;
  std::uint32_t x;
  std::uint32_t y;
  std::uint32_t width;
  std::uint32_t height;
  std::uint32_t flags;
  std::uint32_t lineStep;  // bytes
};

// An acquisition stream's frame in on-board memory. Only the first record of
// a list gives the geometry; every record gives one source buffer.
struct YatLocalImage {
  std::uint32_t recordSize;  // YAT_LOCAL_IMAGE_SIZE
  std::uint32_t reserved;
  std::uint32_t frameWidth;
  std::uint32_t frameHeight;
  std::uint32_t pixelFormat;  // 1..29
  std::uint32_t windowX;
  std::uint32_t windowY;
  std::uint32_t windowWidth;  // the driver's line pitch in pixels
  std::uint32_t windowHeight;
  std::uint64_t onboardAddress;
  std::uint32_t sourceWord;
  std::uint32_t windowACount;
  std::uint64_t windowsA;  // YatImageWindow[windowACount], one per acquisition channel window
  std::uint32_t windowBCount;
  std::uint64_t windowsB;  // YatImageWindow[windowBCount], one per LB line window
  std::uint32_t reserved2;
};

struct YatLocalImageList {
  std::uint32_t recordSize;  // YAT_LOCAL_IMAGE_LIST_SIZE
  std::uint32_t reserved;
  std::uint32_t count;
  std::uint64_t images;  // YatLocalImage[count]
};

// One host buffer of a destination list (YatHostBufferList::entries). The
// sixteen bytes before the lock record are the owner's and not read here.
struct YatHostBufferEntry {
  std::uint32_t reserved;
  std::uint32_t bufferFlags;  // non-zero: ready for cycling modes 1..3
  std::uint32_t entryFlags;   // YAT_ENTRY_VERTICAL_FLIP
  YatImageGeometry geometry;  // the last four words: window of an extra destination
  std::uint64_t stateSlotA;
  std::uint64_t stateSlotB;
  std::uint64_t counter;
  std::uint32_t notifyBits;   // BH record flags bits 5 and up
  std::uint32_t bufferFull;   // 0 = empty
  std::uint64_t statusWord;   // bit 31: buffer not free
  std::uint64_t stateDescriptor;  // bits 0..4 bit index, bit 28 indirect, bit 30 inverted
  std::uint32_t insertIndex;      // 1-based into insert lists A and B; 0 = none
  std::uint8_t ownerBytes[16];
  plat::kernel::QelMemLockRecord lock;
  std::uint32_t cameraInsertIndex;  // 1-based into the camera insert list
  std::uint64_t stateWords[YAT_HOST_BUFFER_STATE_WORDS];  // indirect mode
};

struct YatTransferDesc {
  std::uint32_t reserved;
  std::uint64_t localImageList;  // YatLocalImageList*, required
  std::uint64_t hostBufferList;  // YatHostBufferList* of the main destination
  std::uint16_t taps;
  std::uint16_t reserved2;
  std::uint16_t lastIndex;       // the BH header gets lastIndex - 1
  std::uint16_t tapInterleave;
  std::uint32_t dualMode;
  std::uint32_t camera;          // 0 or 1
  std::uint32_t linesFactor;     // camera lines merged into one transfer line
  std::uint32_t spareWord;       // copied into each AL element
  std::uint64_t insertListB;     // on-board buffer handles
  std::uint64_t insertListA;
  std::uint32_t reserved3;
  std::uint32_t extraDestinations;
  std::uint64_t extraLists[YAT_EXTRA_DESTINATIONS];  // YatHostBufferList*, 0 = none
  std::uint32_t linesMerged;     // set by Yat_Transfer_Init when linesFactor > 1
  std::uint32_t mirror;
  std::uint64_t cameraInsertList;
  std::uint32_t routeWord;
  std::uint32_t eventId;
};

#pragma pack(pop)

static_assert(sizeof(YatImageWindow) == 28 && offsetof(YatImageWindow, flags) == 20 &&
              offsetof(YatImageWindow, lineStep) == 24);
static_assert(sizeof(YatLocalImage) == YAT_LOCAL_IMAGE_SIZE && offsetof(YatLocalImage, onboardAddress) == 36 &&
              offsetof(YatLocalImage, sourceWord) == 44 && offsetof(YatLocalImage, windowACount) == 48 &&
              offsetof(YatLocalImage, windowsA) == 52 && offsetof(YatLocalImage, windowBCount) == 60 &&
              offsetof(YatLocalImage, windowsB) == 64);
static_assert(sizeof(YatLocalImageList) == YAT_LOCAL_IMAGE_LIST_SIZE && offsetof(YatLocalImageList, images) == 12);
static_assert(sizeof(YatHostBufferEntry) == YAT_HOST_BUFFER_ENTRY_SIZE);
static_assert(offsetof(YatHostBufferEntry, geometry) == 12 && offsetof(YatHostBufferEntry, stateSlotA) == 40 &&
              offsetof(YatHostBufferEntry, counter) == 56 && offsetof(YatHostBufferEntry, notifyBits) == 64 &&
              offsetof(YatHostBufferEntry, bufferFull) == 68 && offsetof(YatHostBufferEntry, statusWord) == 72 &&
              offsetof(YatHostBufferEntry, stateDescriptor) == 80 && offsetof(YatHostBufferEntry, insertIndex) == 88 &&
              offsetof(YatHostBufferEntry, lock) == YAT_HOST_BUFFER_LOCK_OFFSET &&
              offsetof(YatHostBufferEntry, cameraInsertIndex) == 164 &&
              offsetof(YatHostBufferEntry, stateWords) == 168);
static_assert(sizeof(YatTransferDesc) == 156 && offsetof(YatTransferDesc, taps) == 20 &&
              offsetof(YatTransferDesc, dualMode) == 28 && offsetof(YatTransferDesc, spareWord) == 40 &&
              offsetof(YatTransferDesc, insertListA) == 52 && offsetof(YatTransferDesc, extraDestinations) == 64 &&
              offsetof(YatTransferDesc, extraLists) == 68 && offsetof(YatTransferDesc, linesMerged) == 132 &&
              offsetof(YatTransferDesc, mirror) == 136 && offsetof(YatTransferDesc, cameraInsertList) == 140 &&
              offsetof(YatTransferDesc, routeWord) == 148 && offsetof(YatTransferDesc, eventId) == 152);
