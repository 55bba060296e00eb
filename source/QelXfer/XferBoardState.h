// The board's part of a transfer's private record: per source slot the board
// library's transfer object and the host elements it was built from, and
// per slot the internal stage (the on-board buffers between the acquisition
// and the host). Plain records: a reset clears them with the rest of the
// private record, and they hold only addresses of this process.
#pragma once

#include <cstdint>

#include "driver/user/YatInternalBuffer.h"
#include "driver/user/YatTransfer.h"
#include "driver/user/YatTransferDesc.h"
#include "platform/win/objects.h"
#include "source/QelAPI/QelHandle.h"

struct XferObject;
struct XferSource;
struct XferDestinationGroup;
struct XferPair;

inline constexpr std::uint32_t kXferBoardSlots = 2;
inline constexpr std::uint32_t kXferFurtherStages = 8;
inline constexpr std::uint32_t kXferHostElementSize = 296;
inline constexpr std::uint32_t kXferAcqElementSize = 76;
static_assert(sizeof(YatHostBufferEntry) == kXferHostElementSize);
static_assert(sizeof(YatLocalImage) == kXferAcqElementSize);

// The host side of one destination: its buffers as host elements, in the
// list the board library reads.
struct XferHostStage {
  XferDestinationGroup* group;     // the destination group the elements stand for
  YatHostBufferEntry* elements;    // one per buffer of the group's chain
  std::uint32_t elementCount;
  std::uint64_t* stateWords;       // the words the board library binds each buffer's state to
  YatHostBufferList list;
  std::uint32_t stateWord;         // 0xFFFFFFFF while armed and continuing
  std::uint32_t channel;           // host DMA channel
  std::uint32_t planes;
  std::uint32_t flagWord;          // the stage flag word of the destination
  std::uint32_t hardwareIndex;     // current hardware buffer index
  plat::Handle endEvent;
};

inline constexpr std::uint32_t kXferCoefficientBuffers = 8;

// A device's flat-field coefficient buffers as the board library reads them
// for the insert pieces of the correction: this process's copies of each
// buffer's two board-library records (list A the coefficients, list B the
// other record) and the lists of the copies' addresses, by buffer number - 1.
struct XferInsertLists {
  YatInternalBuffer coefficients[kXferCoefficientBuffers];
  YatInternalBuffer others[kXferCoefficientBuffers];
  std::uint64_t listA[kXferCoefficientBuffers];
  std::uint64_t listB[kXferCoefficientBuffers];
};

inline constexpr std::uint32_t kXferCameraInsertBuffers = 16;

// The onboard buffers of an acquisition's connector as the board library
// reads them for the camera insert piece (option bit 3): this process's
// copies of the first 16 buffers' board-library records and the list of the
// copies' addresses, by buffer number - 1.
struct XferCameraInserts {
  YatInternalBuffer records[kXferCameraInsertBuffers];
  std::uint64_t list[kXferCameraInsertBuffers];
};

struct XferBoardSlot {
  XferObject* owner;               // the transfer that connected the slot
  XferSource* source;
  XferPair* firstPair;             // the source's first destination as the client gave it
  std::uint32_t inUse;
  std::uint32_t connector;         // acquisition connector index
  XferHostStage main;
  XferHostStage further[kXferFurtherStages];
  std::uint32_t furtherCount;
  YatTransferHandle transfer;      // the board library's transfer object
  YatTransferDesc desc;
  YatLocalImageList images;
  XferInsertLists inserts;         // filled while the flat-field correction is on
  XferCameraInserts cameraInserts; // filled when a destination asks for the camera insert piece
  std::uint32_t needsRegion;       // a host buffer narrower than the frame or with an x offset
  plat::Handle endEvent;
  std::uint32_t lastTimeStamp;     // of the last frame before start
  std::uint32_t startTimeStamp;    // the board's last frame end when the slot started
  std::uint32_t lineAlignment;     // of the internal stage; 0 until the strip form sets it
  std::uint32_t workerHeld;        // the slot holds a reference to the worker thread
  std::uint32_t endSent;
  std::uint32_t frameCounters[1 + kXferFurtherStages];
  std::uint32_t runningStages;
};

// The on-board buffers a slot's acquisition fills before the host stage.
struct InternalBufferStage {
  XferObject* owner;
  std::uint32_t inUse;
  XferSource* source;
  XferDestinationGroup* group;     // the on-board buffers the acquisition fills
  plat::Handle event;
  std::uint32_t count;             // internal buffers the stage made (and frees)
  QelHandle** handles;             // the server buffers that stand for the internal buffers
  YatInternalBuffer* records;      // one board-library record per buffer
  YatLocalImage* elements;         // one acquisition element per buffer
  std::uint32_t elementCount;
  YatImageWindow* windows;         // the acquisition and line windows the elements point to
  std::uint32_t windowCount;
  std::uint32_t lines;             // lines of one internal buffer (a strip's when strips)
  std::uint32_t strips;            // 0 for full frames, else the line groups of a frame
  std::uint32_t workerHeld;
};

struct XferBoardState {
  XferObject* owner;               // the transfer that connected the board transfer
  XferObject* stageOwner;
  std::uint32_t frameCount;        // of the last start
  std::uint32_t stopping;
  std::uint32_t runningSlots;      // bit n: slot n runs
  std::uint32_t endCallbackSent;
  std::uint32_t bufferCount;       // the count N of internal buffers, kept between attempts
  XferBoardSlot slots[kXferBoardSlots];
  InternalBufferStage stages[kXferBoardSlots];
};
