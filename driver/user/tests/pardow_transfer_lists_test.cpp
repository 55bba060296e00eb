// The AL, LB and BH element fields computed from a transfer description.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "driver/user/YatInternalBuffer.h"

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
    resources.acqDma[1] = 3;
    resources.slotChannels = {4, 8, 12, 0};
    resources.lbHostChannel = 5;
    resources.bhHostChannel = 4;
    return Yat_Transfer_BuildLists(*input, resources, lists);
  }
};

// The same camera sending two taps side by side, each with its own window.
struct TwoTapCamera : OneTapCamera {
  std::array<YatImageWindow, 2> windowsA{{{0, 0, 0, 320, 480, 0, 640}, {0, 320, 0, 320, 480, 0, 640}}};
  std::array<YatImageWindow, 2> windowsB{{{0, 0, 0, 320, 480, 0, 640}, {0, 320, 0, 320, 480, 0, 640}}};
  TwoTapCamera() {
    desc.taps = 2;
    image.windowACount = 2;
    image.windowsA = Address(windowsA.data());
    image.windowBCount = 2;
    image.windowsB = Address(windowsB.data());
  }
};

template <class T>
const T* Array(std::uint64_t address) {
  return reinterpret_cast<const T*>(address);
}

YatInternalBuffer OnboardBuffer(std::uint32_t address, std::uint32_t size) {
  YatInternalBuffer record{};
  record.tag = YAT_INTERNAL_BUFFER_TAG;
  record.onboardAddress = address;
  record.size = size;
  return record;
}

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
    EXPECT_EQ(+piece->direction, YAT_BH_LEFT_TO_RIGHT);
    EXPECT_EQ(+piece->options.lineStep, b == 2 ? -1 : 1);
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

TEST(TransferLists, TwoTapsGiveAnElementPerTapInEveryStage) {
  TwoTapCamera camera;
  YatTransferInput input;
  YatTransferLists lists;
  ASSERT_EQ(camera.Build(&lists, &input), QELHW_OK);
  ASSERT_EQ(lists.al.size(), 2u);
  ASSERT_EQ(lists.lb.size(), 2u);
  ASSERT_EQ(lists.bh.size(), 2u);
  for (std::uint32_t t = 0; t < 2; ++t) {
    SCOPED_TRACE(t);
    EXPECT_EQ(+lists.al[t].dmaChannel, 2u + t);
    EXPECT_EQ(+lists.al[t].tapGroupMask, 1u << (2 + t));
    EXPECT_EQ(+lists.al[t].geometry.left, 320u * t);
    EXPECT_EQ(+lists.al[t].taps, 2);
    EXPECT_EQ(+lists.lb[t].dmaChannel, 2u + t);
    EXPECT_EQ(+lists.lb[t].geometry.linePitch, 320u);
    ASSERT_EQ(+lists.lb[t].pieceCount, 1u);
    // Each tap's pieces travel on the LB slot's channel, the second tap eight further on.
    EXPECT_EQ(+Array<YatLbPiece>(lists.lb[t].pieces)->channelMask, 1 << (5 + 8 * t));
    EXPECT_EQ(+lists.bh[t].dmaChannel, 4u + 8 * t);
    const YatBhBufferRecord& record = Array<YatBhBufferRecord>(lists.bh[t].buffers)[1];
    EXPECT_EQ(+record.geometry.left, 320u * t);
    ASSERT_EQ(+record.regionCount, 1u);
    const YatBhPiece* piece = Array<YatBhPiece>(record.regions);
    EXPECT_EQ(+piece->x, 320u * t);
    EXPECT_EQ(+piece->width, 320u);
  }
  // The group that ends the window notifies, on each element's own channel.
  EXPECT_EQ(+lists.lb[0].notifyMask, 1u << 2);
  EXPECT_EQ(+lists.lb[1].notifyMask, 1u << 3);
  EXPECT_EQ(lists.channelsProgrammed, 2u);
}

TEST(TransferLists, AnInsertPieceLeadsEveryLineAndDoublesOneBytePixels) {
  OneTapCamera camera(2);
  YatInternalBuffer insert = OnboardBuffer(0x200000, 640);
  const std::uint64_t inserts[1] = {Address(&insert)};
  camera.desc.insertListA = Address(inserts);
  camera.hosts.listFlags = 0x1;
  for (YatHostBufferEntry& e : camera.entries) e.insertIndex = 1;
  YatTransferInput input;
  YatTransferLists lists;
  ASSERT_EQ(camera.Build(&lists, &input), QELHW_OK);
  EXPECT_EQ(lists.insertKinds, 1u);
  EXPECT_EQ(+lists.al[0].optionWord, 0x2u);
  ASSERT_EQ(lists.lb.size(), 1u);
  const YatLbElement& lb = lists.lb[0];
  EXPECT_EQ(+lb.stamp, 1);
  EXPECT_EQ(+lb.chunkCount, 1u);
  EXPECT_EQ(+lb.geometry.imageHeight, 960u);
  EXPECT_EQ(+lb.geometry.linePitch, 1280u);
  EXPECT_EQ(+lb.geometry.lineCount, 960u);
  EXPECT_EQ(+Array<YatLbLine>(lb.lines)->width, 1280u);
  ASSERT_EQ(+lb.pieceCount, 2u);
  const YatLbPiece* pieces = Array<YatLbPiece>(lb.pieces);
  EXPECT_EQ(+pieces[0].kindBits, static_cast<int>(YAT_INSERT_PIECE_KIND));
  EXPECT_EQ(+pieces[0].channelMask, 0);
  EXPECT_EQ(+pieces[0].flags, YAT_LB_ABSOLUTE_ADDRESS);
  EXPECT_EQ(+pieces[0].onboardAddress, 0x200000u);
  EXPECT_EQ(+pieces[0].width, 1280u);
  EXPECT_EQ(+pieces[1].kindBits, static_cast<int>(YAT_IMAGE_PIECE_KIND));
  EXPECT_EQ(+pieces[1].width, 640u);
  EXPECT_EQ(+pieces[1].onboardAddress, YAT_IMAGE_PIECE_ADDRESS);
  EXPECT_EQ(+pieces[1].stampWord, 0x10u);
}

TEST(TransferLists, WithInsertsALineWiderThan2048IsCutIntoChunks) {
  OneTapCamera camera(1);
  camera.windowA = camera.windowB = {0, 0, 0, 3000, 4, 0, 3000};
  camera.image = {YAT_LOCAL_IMAGE_SIZE, 0, 3000, 4, 1, 0, 0, 3000, 4, 0x100000, 7, 1, Address(&camera.windowA), 1,
                  Address(&camera.windowB), 0};
  camera.entries[0].geometry = {3000, 4, 1, 0, 0, 3000, 4};
  camera.entries[0].insertIndex = 1;
  YatInternalBuffer insert = OnboardBuffer(0x200000, 64);
  const std::uint64_t inserts[1] = {Address(&insert)};
  camera.desc.insertListA = Address(inserts);
  camera.hosts.listFlags = 0x1;
  YatTransferInput input;
  YatTransferLists lists;
  ASSERT_EQ(camera.Build(&lists, &input), QELHW_OK);
  const YatLbElement& lb = lists.lb[0];
  EXPECT_EQ(+lb.chunkCount, 2u);
  EXPECT_EQ(+lb.geometry.lineCount, 4u * 2 * 2);
  ASSERT_EQ(+lb.pieceCount, 4u);
  const YatLbPiece* p = Array<YatLbPiece>(lb.pieces);
  // Insert, image, insert, image; one-byte pixels travel with their insert byte.
  const std::uint32_t kinds[4] = {YAT_INSERT_PIECE_KIND, YAT_IMAGE_PIECE_KIND, YAT_INSERT_PIECE_KIND,
                                  YAT_IMAGE_PIECE_KIND};
  const std::uint32_t x[4] = {0, 0, 4096, 2048}, width[4] = {4096, 2048, 1904, 952};
  for (std::uint32_t i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(+p[i].kindBits, static_cast<int>(kinds[i]));
    EXPECT_EQ(+p[i].x, x[i]);
    EXPECT_EQ(+p[i].width, width[i]);
  }
}

// Buffers with inserts of their own get one LB element per on-board source,
// each with the insert of the host buffer it fills.
TEST(TransferLists, HostBuffersWithTheirOwnInsertsReplicateTheLbElement) {
  OneTapCamera camera(2);
  std::array<YatLocalImage, 2> images{camera.image, camera.image};
  images[1].onboardAddress = 0x180000;
  camera.images.count = 2;
  camera.images.images = Address(images.data());
  std::array<YatInternalBuffer, 2> inserts{OnboardBuffer(0x200000, 64), OnboardBuffer(0x210000, 64)};
  const std::uint64_t list[2] = {Address(&inserts[0]), Address(&inserts[1])};
  camera.desc.insertListA = Address(list);
  camera.hosts.listFlags = 0x1;
  camera.entries[0].insertIndex = 1;
  camera.entries[1].insertIndex = 2;
  YatTransferInput input;
  YatTransferLists lists;
  ASSERT_EQ(camera.Build(&lists, &input), QELHW_OK);
  ASSERT_EQ(lists.lb.size(), 2u);
  for (std::uint32_t j = 0; j < 2; ++j) {
    SCOPED_TRACE(j);
    EXPECT_EQ(+lists.lb[j].sourceCount, 1u);
    EXPECT_EQ(+Array<YatSourceEntry>(lists.lb[j].sources)->onboardAddress, j == 0 ? 0x100000u : 0x180000u);
    EXPECT_EQ(+Array<YatLbPiece>(lists.lb[j].pieces)->onboardAddress, 0x200000u + 0x10000u * j);
  }
  inserts[1].tag = 0;  // not an on-board buffer any more
  YatTransferInput again;
  YatTransferLists refused;
  EXPECT_EQ(camera.Build(&refused, &again), QELHW_ERROR_RESOURCE_NOT_ALLOCATED);
}

TEST(TransferLists, AnExtraDestinationGetsACopyOfEveryLineOnItsOwnChannel) {
  OneTapCamera camera(2);
  std::vector<YatHostBufferEntry> extra(3);
  for (YatHostBufferEntry& e : extra) e.geometry = {640, 480, 1, 0, 0, 640, 480};
  extra[1].entryFlags = YAT_ENTRY_VERTICAL_FLIP;
  YatHostBufferList extraList{0, 3, 3, Address(extra.data()), 0x4};
  camera.desc.extraDestinations = 1;
  camera.desc.extraLists[0] = Address(&extraList);
  YatTransferInput input;
  YatTransferLists lists;
  ASSERT_EQ(camera.Build(&lists, &input), QELHW_OK);
  ASSERT_EQ(+lists.lb[0].pieceCount, 2u);
  const YatLbPiece* pieces = Array<YatLbPiece>(lists.lb[0].pieces);
  EXPECT_EQ(+pieces[0].channelMask, 1 << 5);
  EXPECT_EQ(+pieces[1].channelMask, 1 << 8);
  EXPECT_EQ(+pieces[1].stampWord, 0x40u);
  EXPECT_EQ(+pieces[1].width, 640u);
  EXPECT_EQ(+lists.lb[0].period, 1u);
  YatHostLists host;
  ASSERT_EQ(Yat_Transfer_BuildExtraHost(input, 0, 8, &host), QELHW_OK);
  ASSERT_EQ(host.elements.size(), 1u);
  EXPECT_EQ(+host.elements[0].dmaChannel, 8u);
  EXPECT_EQ(+host.elements[0].modeWord, 3u);
  EXPECT_EQ(+host.elements[0].bufferCount, 2u);
  ASSERT_EQ(host.records.size(), 3u);
  EXPECT_EQ(+host.records[1].lockRecord, Address(&extra[1].lock));
  const YatBhPiece* piece = Array<YatBhPiece>(host.records[1].regions);
  EXPECT_EQ(+piece->direction, YAT_BH_LEFT_TO_RIGHT);
  EXPECT_EQ(+piece->options.lineStep, -1);
  EXPECT_EQ(+piece->width, 640u);
  EXPECT_EQ(+piece->height, 480u);
  EXPECT_EQ(+host.header.lastIndex, 0u);
}

TEST(TransferLists, APlanarSplitSendsThreePlanesOnThreeChannels) {
  OneTapCamera camera(2);
  for (YatHostBufferEntry& e : camera.entries) e.geometry = {640, 160, 24, 0, 0, 640, 160};
  camera.hosts.listFlags = 0x40;
  YatTransferInput input;
  YatTransferLists lists;
  ASSERT_EQ(camera.Build(&lists, &input), QELHW_OK);
  EXPECT_EQ(+Array<YatLbPiece>(lists.lb[0].pieces)->channelMask, (1 << 5) | (1 << 6) | (1 << 7));
  ASSERT_EQ(lists.bh.size(), 3u);
  const std::uint32_t channels[3] = {4, 13, 12};
  for (std::uint32_t p = 0; p < 3; ++p) {
    SCOPED_TRACE(p);
    EXPECT_EQ(+lists.bh[p].dmaChannel, channels[p]);
    const YatBhBufferRecord& record = Array<YatBhBufferRecord>(lists.bh[p].buffers)[1];
    EXPECT_EQ(+record.geometry.pixelFormat, 1u);
    EXPECT_EQ(+record.geometry.imageHeight, 480u);
    EXPECT_EQ(+Array<YatBhPiece>(record.regions)->firstLine, 160u * p);
  }
  EXPECT_EQ(+lists.header.taps, 3u);
  ASSERT_EQ(lists.registers.size(), 2u);
  EXPECT_EQ(lists.registers[0].reg, YAT_REG_PLANE_CHANNELS);
  EXPECT_EQ(lists.registers[0].value, 4u + 13u * 0x100 + 12u * 0x10000);
  EXPECT_EQ(lists.registers[1].reg, YAT_REG_PLANE_WIDTH);
  EXPECT_EQ(lists.registers[1].value, 640u);
}

// Flags of the destination list that change single fields of the LB piece.
TEST(TransferLists, ListFlagsShapeTheImagePiece) {
  struct Case {
    const char* name;
    std::uint32_t flags;
    std::uint32_t mirror;
    std::uint32_t x, width, flagsWord;
    std::uint64_t address;
    std::uint32_t alLinesFactor;
  };
  // Two merged lines: window B starts at 0 and is 1216 wide in a window of 1280.
  for (const Case c : {Case{"half width, code kept", 0x40000004, 0, 0, 608, 3u << 8, 0, 1},
                       Case{"quarter, code kept", 0x20004000, 0, 0, 608, 5u << 8, 608, 1},
                       Case{"half width, code cleared", 0x40000000, 0, 0, 608, 0, 0, 1},
                       Case{"mirrored", 0, 1, 64, 1216, 0, YAT_IMAGE_PIECE_ADDRESS, 2}}) {
    SCOPED_TRACE(c.name);
    OneTapCamera camera;
    camera.windowB = {0, 8, 0, 608, 480, 0, 640};
    camera.hosts.listFlags = c.flags;
    camera.desc.mirror = c.mirror;
    camera.desc.linesFactor = 2;
    YatTransferInput input;
    YatTransferLists lists;
    ASSERT_EQ(camera.Build(&lists, &input), QELHW_OK);
    const YatLbPiece* piece = Array<YatLbPiece>(lists.lb[0].pieces);
    EXPECT_EQ(+piece->x, c.x);
    EXPECT_EQ(+piece->width, c.width);
    EXPECT_EQ(+piece->flags, c.flagsWord);
    EXPECT_EQ(+piece->onboardAddress, c.address);
    EXPECT_EQ(+lists.al[0].registerValue, c.alLinesFactor);
    EXPECT_EQ(+lists.al[0].mirror, c.mirror);
  }
}

TEST(TransferLists, WithoutAnOnboardImageOnlyTheHostListIsBuilt) {
  OneTapCamera camera(2);
  camera.images.images = 0;
  camera.desc.taps = 4;
  YatTransferInput input;
  YatTransferLists lists;
  ASSERT_EQ(camera.Build(&lists, &input), QELHW_OK);
  EXPECT_TRUE(lists.directHost);
  EXPECT_TRUE(lists.al.empty());
  EXPECT_TRUE(lists.lb.empty());
  ASSERT_EQ(lists.bh.size(), 1u);
  EXPECT_EQ(+lists.header.taps, 1u);
  const YatBhPiece* piece = Array<YatBhPiece>(Array<YatBhBufferRecord>(lists.bh[0].buffers)->regions);
  EXPECT_EQ(+piece->width, 640u);
  EXPECT_EQ(+piece->height, 480u);
}

TEST(TransferLists, RefusesTapsAndInsertsItCannotPlace) {
  {
    TwoTapCamera camera;  // a second tap without a window B of its own
    camera.image.windowBCount = 1;
    YatTransferInput input;
    EXPECT_EQ(Yat_Transfer_ReadInput(&camera.desc, &input), QELHW_ERROR_ARG_INVALID);
  }
  {
    OneTapCamera camera;  // extra destination 3 has no handle slot
    YatHostBufferList extra = camera.hosts;
    camera.desc.extraDestinations = 1;
    camera.desc.extraLists[3] = Address(&extra);
    YatTransferInput input;
    EXPECT_EQ(Yat_Transfer_ReadInput(&camera.desc, &input), QELHW_ERROR_ARG_INVALID);
  }
  {
    OneTapCamera camera;  // insert pieces asked for, but the buffer names no insert
    YatInternalBuffer insert = OnboardBuffer(0x200000, 64);
    const std::uint64_t inserts[1] = {Address(&insert)};
    camera.desc.insertListA = Address(inserts);
    camera.hosts.listFlags = 0x2;
    YatTransferInput input;
    YatTransferLists lists;
    EXPECT_EQ(camera.Build(&lists, &input), QELHW_ERROR_ARG_INVALID);
  }
}

}  // namespace
