// The AL, LB and BH lists of one transfer, computed from a transfer
// description without talking to the driver, so that the element fields can
// be checked on their own. The arrays live in the record; the element
// pointers refer to them, so a record is built once and never copied.
//
// Handled so far: one tap (dual mode 0 with taps 1, or dual mode other than
// 0 and 1), no insert or camera insert pieces, no mirror, no extra
// destinations, no planar split and no half-width output. Anything else is
// refused with QELHW_ERROR_NOT_SUPPORTED.
//
// Bus-width padding: a piece whose line is not a whole number of bus words
// is widened to the next whole word, but never beyond the window it is cut
// from (the record window for LB, the buffer for BH), so that no line runs
// into its neighbour.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "driver/kernel/YatTransferRecords.h"
#include "driver/user/QelHwStatus.h"
#include "driver/user/YatTransferDesc.h"

inline constexpr std::uint32_t YAT_MAX_CHANNEL_GROUPS = 15;
inline constexpr std::uint32_t YAT_MAX_IMAGE_WINDOWS = 64;
inline constexpr std::uint32_t YAT_MAX_LOCAL_IMAGES = 64;
inline constexpr std::uint32_t YAT_MAX_HOST_BUFFERS = 4096;
inline constexpr std::uint32_t YAT_MAX_LINES_FACTOR = 64;
inline constexpr std::uint32_t YAT_IMAGE_PIECE_KIND = 0x10;
inline constexpr std::uint32_t YAT_IMAGE_PIECE_ADDRESS = 0xFFFFFFFF;

// The resources a transfer's lists name, taken beforehand by the caller.
struct YatListResources {
  std::array<std::uint32_t, YAT_MAX_CHANNEL_GROUPS> acqDma{};  // per channel group
  std::uint32_t lbHostChannel = 0;  // host DMA channel of the handle slot the LB pieces use
  std::uint32_t bhHostChannel = 0;  // host DMA channel of handle slot 0
  std::uint32_t busWidth = 16;      // bytes
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
};

struct YatTransferLists {
  std::uint32_t taps = 1;
  std::uint32_t groups = 0;
  std::int32_t lineStep = 1;
  std::uint32_t cycleMode = 1;
  bool linesMerged = false;
  bool overflow = false;
  std::vector<YatSourceEntry> sources;
  std::vector<YatAlRegion> alRegions;
  std::vector<YatAlElement> al;
  std::vector<YatLbLine> lbLines;
  std::vector<YatLbPiece> lbPieces;
  std::vector<YatLbElement> lb;
  std::vector<YatBhPiece> bhPieces;  // pieces of buffer 0, then of buffer 1, ...
  std::vector<YatBhBufferRecord> bhRecords;
  std::vector<YatBhElement> bh;
  YatBhHeader header{};
};

// Reads and checks the caller's description; QELHW_ERROR_ARG_INVALID when a
// record is missing or out of bounds.
QelHwStatus Yat_Transfer_ReadInput(const YatTransferDesc* desc, YatTransferInput* input);

// Channel groups of the acquisition stage, 0 when there are no window-A entries.
std::uint32_t Yat_Transfer_ChannelGroups(const YatTransferInput& input);

QelHwStatus Yat_Transfer_CheckSupported(const YatTransferInput& input);

// Fills every list; the element pointers refer to `lists`' own arrays.
QelHwStatus Yat_Transfer_BuildLists(const YatTransferInput& input, const YatListResources& resources,
                                    YatTransferLists* lists);

// Notify word of LB pieces for a destination list's flags and a camera.
std::uint32_t Yat_Transfer_NotifyWord(std::uint32_t listFlags, std::uint32_t camera);

// BH cycle mode of a destination list's cycling mode.
std::uint32_t Yat_Transfer_CycleMode(std::uint32_t cyclingMode);
