// The AL, LB and BH lists of one transfer, computed from a transfer
// description without talking to the driver, so that the element fields can
// be checked on their own. The arrays live in the record; the element
// pointers refer to them, so a record is built once and never copied.
//
// The choices this library makes where the lists' rules leave room are
// written down in YatTransferDesc.h.
#pragma once

#include <array>
#include <cstdint>
#include <new>
#include <stdexcept>
#include <vector>

#include "driver/kernel/YatTransferRecords.h"
#include "driver/user/QelHwStatus.h"
#include "driver/user/YatTransferDesc.h"

inline constexpr std::uint32_t YAT_MAX_CHANNEL_GROUPS = 15;
inline constexpr std::uint32_t YAT_MAX_IMAGE_WINDOWS = 64;
inline constexpr std::uint32_t YAT_MAX_LOCAL_IMAGES = 64;
inline constexpr std::uint32_t YAT_MAX_HOST_BUFFERS = 4096;
inline constexpr std::uint32_t YAT_MAX_LINES_FACTOR = 64;
inline constexpr std::uint32_t YAT_MAX_TAPS = 8;
inline constexpr std::uint32_t YAT_IMAGE_PIECE_KIND = 0x10;
inline constexpr std::uint32_t YAT_INSERT_PIECE_KIND = 0x8;
inline constexpr std::uint32_t YAT_IMAGE_PIECE_ADDRESS = 0xFFFFFFFF;
inline constexpr std::uint32_t YAT_CHUNK_WIDTH = 2048;
inline constexpr std::uint32_t YAT_HOST_CHANNELS = 16;

// Registers of camera 0 (or the transfer's camera) the lists set.
inline constexpr std::uint32_t YAT_REG_INSERT_WIDTH = 0x5008;      // bits 16..31
inline constexpr std::uint32_t YAT_REG_EXTRA_CHANNEL = 0x500C;     // bits 4..7, bit 3 cleared
inline constexpr std::uint32_t YAT_REG_PLANE_CHANNELS = 0x5040;
inline constexpr std::uint32_t YAT_REG_PLANE_WIDTH = 0x5044;

// The resources a transfer's lists name, taken beforehand by the caller.
struct YatListResources {
  std::array<std::uint32_t, YAT_MAX_CHANNEL_GROUPS> acqDma{};  // per channel group
  std::array<std::uint32_t, 4> slotChannels{};                 // host DMA channel of each handle slot
  std::uint32_t lbHostChannel = 0;  // host DMA channel of the handle slot the LB pieces use
  std::uint32_t bhHostChannel = 0;  // host DMA channel of handle slot 0
  std::uint32_t busWidth = 16;      // bytes
  std::uint32_t cameraCount = 1;    // cameras of the board
};

// An on-board buffer an insert list names, as read from the caller's record.
struct YatInsertSource {
  std::uint64_t handle = 0;   // the record's address in the caller; 0 = none
  std::uint32_t tag = 0;
  std::uint32_t address = 0;  // on-board
  std::uint32_t size = 0;     // bytes
};

// The caller's records, copied in once they were checked.
struct YatTransferInput {
  YatTransferDesc desc{};
  std::vector<YatLocalImage> images;
  std::vector<YatImageWindow> windowsA;  // of the first image
  std::vector<YatImageWindow> windowsB;
  YatHostBufferList hostList{};
  std::vector<YatHostBufferEntry> hosts;
  std::vector<std::uint64_t> hostAddresses;  // where each entry lives in the caller
  // Insert lists, indexed by the 1-based indexes minus one; present only up
  // to the highest index a host buffer uses.
  bool hasInsertA = false, hasInsertB = false, hasCameraInsert = false;
  std::vector<YatInsertSource> insertA, insertB, cameraInserts;
  // Enabled extra destinations: list and entries per destination k.
  std::array<YatHostBufferList, YAT_EXTRA_DESTINATIONS> extraLists{};
  std::array<std::vector<YatHostBufferEntry>, YAT_EXTRA_DESTINATIONS> extraHosts;
  std::array<std::vector<std::uint64_t>, YAT_EXTRA_DESTINATIONS> extraAddresses;
};

// A camera register the lists want written.
struct YatRegisterWrite {
  std::uint32_t reg;
  std::uint32_t value;
  std::uint32_t mask;  // 0xFFFFFFFF: the whole register
};

// The BH list of one host destination.
struct YatHostLists {
  std::uint32_t cycleMode = 1;
  std::vector<YatBhPiece> pieces;
  std::vector<YatBhBufferRecord> records;
  std::vector<YatBhElement> elements;
  YatBhHeader header{};
};

struct YatTransferLists {
  std::uint32_t taps = 1;
  std::uint32_t groups = 0;
  std::int32_t lineStep = 1;
  std::uint32_t cycleMode = 1;
  std::uint32_t insertKinds = 0;  // K
  std::uint32_t chunks = 1;       // C
  bool linesMerged = false;
  bool overflow = false;
  bool directHost = false;        // no on-board image: BH only
  std::vector<YatSourceEntry> sources;
  std::vector<YatAlRegion> alRegions;
  std::vector<YatAlElement> al;
  std::vector<YatLbLine> lbLines;
  std::vector<YatLbPiece> lbPieces;
  std::vector<YatLbElement> lb;
  std::vector<YatRegisterWrite> registers;  // in the order they are written
  std::vector<YatBhPiece> bhPieces;  // pieces of buffer 0, then of buffer 1, ...
  std::vector<YatBhBufferRecord> bhRecords;
  std::vector<YatBhElement> bh;      // T elements, or 3T with the planar split
  YatBhHeader header{};
  std::uint32_t channelsProgrammed = 0;  // BH channels, for the handle's counter
};

// Runs a step that builds arrays in the heap: running out of memory is the
// step's own status, never an exception that leaves the library.
template <typename Step>
QelHwStatus YatWithoutExceptions(QelHwStatus outOfMemory, Step step) {
  try {
    return step();
  } catch (const std::bad_alloc&) {
    return outOfMemory;
  } catch (const std::length_error&) {
    return outOfMemory;
  }
}

// Reads and checks the caller's description; QELHW_ERROR_ARG_INVALID when a
// record is missing or out of bounds, QELHW_ERROR_INSUFFICIENT_MEMORY when
// its copy does not fit in memory.
QelHwStatus Yat_Transfer_ReadInput(const YatTransferDesc* desc, YatTransferInput* input);

// Taps T of the description.
std::uint32_t Yat_Transfer_Taps(const YatTransferDesc& desc);

// Channel groups of the acquisition stage, 0 when there are no window-A entries.
std::uint32_t Yat_Transfer_ChannelGroups(const YatTransferInput& input);

// Whether the AL and LB stages run: an on-board image with window-A entries.
bool Yat_Transfer_HasLocalStages(const YatTransferInput& input);

// Fills every list; the element pointers refer to `lists`' own arrays. Out
// of memory: QELHW_ERROR_INSUFFICIENT_MEMORY in the AL and LB stages and the
// planar split, QELHW_ERROR_SYSTEM_RESOURCE in the BH stage.
QelHwStatus Yat_Transfer_BuildLists(const YatTransferInput& input, const YatListResources& resources,
                                    YatTransferLists* lists);

// The BH list of extra destination k on host channel `channel`; out of
// memory: QELHW_ERROR_INSUFFICIENT_MEMORY.
QelHwStatus Yat_Transfer_BuildExtraHost(const YatTransferInput& input, std::uint32_t k, std::uint32_t channel,
                                        YatHostLists* lists);

#ifndef PARDOW_API
#define PARDOW_API extern "C" __attribute__((visibility("default")))
#endif
struct YatTransferHandle;
// Sends the BH list of extra destination k (0..2) on the handle's slot k + 1
// and binds its buffers' states; `count` is the number of enabled extra
// destinations + 1.
PARDOW_API QelHwStatus Yat_Transfer_Processing_BH(std::uint32_t board, YatTransferDesc* desc,
                                                  YatTransferHandle* handle, std::uint32_t k, std::uint32_t count);

// Notify word of LB pieces for a destination list's flags and a camera.
std::uint32_t Yat_Transfer_NotifyWord(std::uint32_t listFlags, std::uint32_t camera);

// BH cycle mode of a destination list's cycling mode.
std::uint32_t Yat_Transfer_CycleMode(std::uint32_t cyclingMode);

// Stages, over the on-board layout (lines already merged).
QelHwStatus Yat_Transfer_BuildLocal(const YatTransferInput& layout, const YatListResources& resources,
                                    YatTransferLists* lists);
QelHwStatus Yat_Transfer_BuildHost(const YatTransferInput& layout, const YatListResources& resources,
                                   YatTransferLists* lists);

// Bus-width padding of a line of `width` pixels: see YatTransferDesc.h.
std::uint32_t Yat_Transfer_BusWidth(std::uint32_t width, std::uint32_t format, std::uint32_t bus,
                                    std::uint32_t limit);
