// The AL, LB and BH element fields computed from a transfer description.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "driver/user/YatTransferLists.h"

namespace {

std::uint64_t Address(const void* at) { return reinterpret_cast<std::uintptr_t>(at); }

// A one-tap 8-bit camera of 640 x 480 and `buffers` host buffers of its size.
struct OneTapCamera {
  YatImageWindow windowA{0, 0, 0, 640, 480, 0, 640};
  YatImageWindow windowB{0, 0, 0, 640, 480, 0, 640};
  YatLocalImage image{};
  YatLocalImageList images{YAT_LOCAL_IMAGE_LIST_SIZE, 0, 1, 0};
  std::vector<YatHostBufferEntry> entries;
  YatHostBufferList hosts{};
  YatTransferDesc desc{};

  explicit OneTapCamera(std::uint32_t buffers = 4, std::uint32_t cycling = 1) : entries(buffers) {
    image = {YAT_LOCAL_IMAGE_SIZE, 0, 640, 480, 1, 0, 0, 640, 480, 0x100000, 7, 1, Address(&windowA), 1,
             Address(&windowB), 0};
    images.images = Address(&image);
    for (YatHostBufferEntry& e : entries) e.geometry = {640, 480, 1, 0, 0, 640, 480};
    hosts = {0, cycling, buffers, Address(entries.data()), 0};
    desc.localImageList = Address(&images);
    desc.hostBufferList = Address(&hosts);
    desc.taps = 1;
    desc.lastIndex = 1;
    desc.routeWord = 1;
    desc.eventId = 0x55;
  }

  QelHwStatus Build(YatTransferLists* lists, YatTransferInput* input) {
    const QelHwStatus status = Yat_Transfer_ReadInput(&desc, input);
    if (status != QELHW_OK) return status;
    YatListResources resources;
    resources.acqDma[0] = 2;
    resources.lbHostChannel = 5;
    resources.bhHostChannel = 4;
    return Yat_Transfer_BuildLists(*input, resources, lists);
  }
};

TEST(TransferLists, OneTapCameraAlElement) {
  OneTapCamera camera;
  YatTransferInput input;
  YatTransferLists lists;
  ASSERT_EQ(camera.Build(&lists, &input), QELHW_OK);
  ASSERT_EQ(lists.al.size(), 1u);
  const YatAlElement& al = lists.al[0];
  EXPECT_EQ(+al.dmaChannel, 2u);
  EXPECT_EQ(+al.geometry.imageWidth, 640u);
  EXPECT_EQ(+al.geometry.imageHeight, 480u);
  EXPECT_EQ(+al.geometry.pixelFormat, 1u);
  EXPECT_EQ(+al.geometry.linePitch, 640u);
  EXPECT_EQ(+al.stepWord, 0x101u);
  EXPECT_EQ(+al.lastLineWord, 479u);
  EXPECT_EQ(+al.tapGroupMask, 1u << 2);
  ASSERT_EQ(+al.regionCount, 1u);
  const auto* region = reinterpret_cast<const YatAlRegion*>(al.regions);
  EXPECT_EQ(+region->width, 640u);
  EXPECT_EQ(+region->height, 480u);
  ASSERT_EQ(+al.sourceCount, 1u);
  const auto* source = reinterpret_cast<const YatSourceEntry*>(al.sources);
  EXPECT_EQ(+source->bufferIndex, 7u);
  EXPECT_EQ(+source->onboardAddress, 0x100000u);
  EXPECT_EQ(+al.flags, 0u);
  EXPECT_EQ(+al.registerValue, 1u);
  EXPECT_EQ(+al.taps, 1);
  EXPECT_FALSE(lists.overflow);
}

TEST(TransferLists, OneTapCameraLbElement) {
  OneTapCamera camera;
  YatTransferInput input;
  YatTransferLists lists;
  ASSERT_EQ(camera.Build(&lists, &input), QELHW_OK);
  ASSERT_EQ(lists.lb.size(), 1u);
  const YatLbElement& lb = lists.lb[0];
  EXPECT_EQ(+lb.dmaChannel, 2u);
  EXPECT_EQ(+lb.notifyMask, 1u << 2);
  EXPECT_EQ(+lb.geometry.linePitch, 640u);
  EXPECT_EQ(+lb.geometry.lineCount, 480u);
  ASSERT_EQ(+lb.lineCount, 1u);
  const auto* line = reinterpret_cast<const YatLbLine*>(lb.lines);
  EXPECT_EQ(+line->lineStep, 1);
  EXPECT_EQ(+line->width, 640u);
  ASSERT_EQ(+lb.pieceCount, 1u);
  const auto* piece = reinterpret_cast<const YatLbPiece*>(lb.pieces);
  EXPECT_EQ(+piece->channelMask, 1 << 5);
  EXPECT_EQ(+piece->kindBits, static_cast<int>(YAT_IMAGE_PIECE_KIND));
  EXPECT_EQ(+piece->width, 640u);
  EXPECT_EQ(+piece->height, 480u);
  EXPECT_EQ(+piece->onboardAddress, YAT_IMAGE_PIECE_ADDRESS);
  EXPECT_EQ(+lb.chunkCount, 1u);
}

TEST(TransferLists, OneTapCameraBhElementAndFlip) {
  OneTapCamera camera;
  camera.entries[2].entryFlags = YAT_ENTRY_VERTICAL_FLIP;
  camera.entries[1].bufferFlags = 0xF0000;
  YatTransferInput input;
  YatTransferLists lists;
  ASSERT_EQ(camera.Build(&lists, &input), QELHW_OK);
  ASSERT_EQ(lists.bh.size(), 1u);
  EXPECT_EQ(+lists.bh[0].dmaChannel, 4u);
  EXPECT_EQ(+lists.bh[0].modeWord, 1u);
  ASSERT_EQ(+lists.bh[0].bufferCount, 4u);
  const auto* records = reinterpret_cast<const YatBhBufferRecord*>(lists.bh[0].buffers);
  for (std::uint32_t b = 0; b < 4; ++b) {
    SCOPED_TRACE(b);
    EXPECT_EQ(+records[b].bufferIndex, b);
    EXPECT_EQ(+records[b].endNotify, 1u);
    EXPECT_EQ(+records[b].lockRecord, Address(&camera.entries[b].lock));
    ASSERT_EQ(+records[b].regionCount, 1u);
    const auto* piece = reinterpret_cast<const YatBhPiece*>(records[b].regions);
    EXPECT_EQ(+piece->direction, b == 2 ? 0xFF : 1);
    EXPECT_EQ(+piece->width, 640u);
    EXPECT_EQ(+piece->height, 480u);
  }
  EXPECT_EQ(+records[1].readyOnly, 1u);
  EXPECT_EQ(+records[1].notifyOptions, 0x4u);
  EXPECT_EQ(+lists.header.lastIndex, 0u);
  EXPECT_EQ(+lists.header.eventId, 0x55u);
}

TEST(TransferLists, TwoMergedLinesDoubleTheWidthAndHalveTheHeightEverywhere) {
  OneTapCamera camera(2);
  camera.desc.linesFactor = 2;
  camera.entries[1].geometry = {640, 480, 1, 8, 5, 640, 400};
  YatTransferInput input;
  YatTransferLists lists;
  ASSERT_EQ(camera.Build(&lists, &input), QELHW_OK);
  EXPECT_TRUE(lists.linesMerged);
  const YatAlElement& al = lists.al[0];
  EXPECT_EQ(+al.geometry.imageWidth, 1280u);
  EXPECT_EQ(+al.geometry.imageHeight, 240u);
  EXPECT_EQ(+al.lastLineWord, 239u);
  EXPECT_EQ(+al.registerValue, 2u);
  EXPECT_EQ(+lists.lb[0].opensEveryRun, 1);
  const auto* piece = reinterpret_cast<const YatLbPiece*>(lists.lb[0].pieces);
  EXPECT_EQ(+piece->width, 1280u);
  EXPECT_EQ(+piece->height, 240u);
  const auto* records = reinterpret_cast<const YatBhBufferRecord*>(lists.bh[0].buffers);
  EXPECT_EQ(+records[0].geometry.imageWidth, 1280u);
  EXPECT_EQ(+records[0].geometry.imageHeight, 240u);
  // Window line 5 is the second half of merged line 2.
  EXPECT_EQ(+records[1].geometry.left, 8u + 640u);
  EXPECT_EQ(+records[1].geometry.topLine, 2u);
  EXPECT_EQ(+records[1].geometry.linePitch, 1280u);
  EXPECT_EQ(+records[1].geometry.lineCount, 200u);
  // The caller's own description is left as it was; the library writes back the merged word.
  EXPECT_EQ(+camera.image.frameWidth, 640u);
}

TEST(TransferLists, WindowBCrossingWindowAGivesTwoHostPieces) {
  OneTapCamera camera;
  camera.windowA.height = 300;
  camera.windowB = {0, 0, 200, 640, 200, 0, 640};
  YatTransferInput input;
  YatTransferLists lists;
  ASSERT_EQ(camera.Build(&lists, &input), QELHW_OK);
  const auto* records = reinterpret_cast<const YatBhBufferRecord*>(lists.bh[0].buffers);
  ASSERT_EQ(+records[0].regionCount, 2u);
  const auto* pieces = reinterpret_cast<const YatBhPiece*>(records[0].regions);
  EXPECT_EQ(+pieces[0].height, 100u);
  EXPECT_EQ(+pieces[1].height, 100u);
}

TEST(TransferLists, CyclingModesTwoAndThreeReportOneBufferLess) {
  struct Case {
    std::uint32_t cycling, buffers, mode, reported;
  };
  for (const Case c : {Case{1, 4, 1, 4}, Case{3, 4, 3, 3}, Case{6, 4, 2, 3}, Case{3, 1, 3, 1}, Case{9, 2, 1, 2}}) {
    SCOPED_TRACE(c.cycling);
    OneTapCamera camera(c.buffers, c.cycling);
    YatTransferInput input;
    YatTransferLists lists;
    ASSERT_EQ(camera.Build(&lists, &input), QELHW_OK);
    EXPECT_EQ(+lists.bh[0].modeWord, c.mode);
    EXPECT_EQ(+lists.bh[0].bufferCount, c.reported);
  }
}

TEST(TransferLists, RefusesWhatCannotBePlaced) {
  {
    OneTapCamera camera;  // window A without window B
    camera.image.windowBCount = 0;
    YatTransferInput input;
    EXPECT_EQ(Yat_Transfer_ReadInput(&camera.desc, &input), QELHW_ERROR_ARG_INVALID);
  }
  {
    OneTapCamera camera;  // sixteen channel groups
    std::vector<YatImageWindow> windows(16, camera.windowA);
    for (std::uint32_t i = 0; i < 16; ++i) windows[i].x = i * 40;
    camera.image.windowACount = 16;
    camera.image.windowsA = Address(windows.data());
    YatTransferInput input;
    EXPECT_EQ(Yat_Transfer_ReadInput(&camera.desc, &input), QELHW_ERROR_ARG_INVALID);
  }
  {
    OneTapCamera camera;  // more merged lines than the frame has
    camera.desc.linesFactor = 481;
    YatTransferInput input;
    EXPECT_EQ(Yat_Transfer_ReadInput(&camera.desc, &input), QELHW_ERROR_ARG_INVALID);
  }
  {
    OneTapCamera camera;
    camera.desc.localImageList = 0;
    YatTransferInput input;
    EXPECT_EQ(Yat_Transfer_ReadInput(&camera.desc, &input), QELHW_ERROR_ARG_INVALID);
  }
  EXPECT_EQ(Yat_Transfer_ReadInput(nullptr, nullptr), QELHW_ERROR_ARG_INVALID);
}

TEST(TransferLists, NotifyWordOfListFlags) {
  struct Case {
    std::uint32_t flags, camera, word;
  };
  for (const Case c : {Case{0, 0, 0}, Case{0x1, 0, 0x10}, Case{0x2000, 0, 0x2}, Case{0x2000, 1, 0x200},
                       Case{0x4 | 0x400, 0, 0x1040}, Case{0x80000001, 0, 0x8000}}) {
    SCOPED_TRACE(c.flags);
    EXPECT_EQ(Yat_Transfer_NotifyWord(c.flags, c.camera), c.word);
  }
}

}  // namespace
