// The rules of the descriptor chains the driver builds: mirrored and flipped
// host regions, AL lines walked right to left, LB passes with their marks and
// split widths. Checked on the descriptors as the board sees them and on the
// frames the board then delivers into the client's buffers.
#include <gtest/gtest.h>

#include <cstring>
#include <utility>
#include <vector>

#include "driver/kernel/tests/stavro_host_fixture.h"
#include "driver/kernel/tests/transfer_setup.h"
#include "driver/user/QelHwStatus.h"
#include "platform/board/dma_frames.h"
#include "platform/testing/board_control.h"

namespace {

using transfer_test::Frame;
using transfer_test::TransferSetup;

constexpr std::uint32_t kAlStartRegister = 0x701C;
constexpr std::uint32_t kLbStartRegister = 0x781C;
constexpr std::size_t kMostDescriptors = 64;

class StavroChainRules : public StavroBoardTest {
 protected:
  void Build(TransferSetup& t) {
    ASSERT_EQ(t.InitOnboard(frame_.Bytes()), QELHW_OK);
    ASSERT_EQ(t.Create(), QELHW_OK);
    t.MakeBuffers(frame_, 1);
    ASSERT_EQ(t.SetBh(frame_, 0), QELHW_OK);
    ASSERT_EQ(t.SetLb(frame_), QELHW_OK);
    ASSERT_EQ(t.SetAl(frame_), QELHW_OK);
    ASSERT_EQ(t.Command(YAT_IOCTRL_START_AUTO_XFER), QELHW_OK);
  }

  void ReadOnboard(std::uint32_t address, void* out, std::uint32_t bytes) {
    YatIocMemoryIn read{Board(0), address, reinterpret_cast<std::uintptr_t>(out), bytes, 0};
    ASSERT_EQ(Ask(YAT_IOCTRL_READ_MEMORY, read, 4).status, QELHW_OK);
  }

  // The on-board chain a started AL or LB channel 0 walks, in its order,
  // until it closes on its head.
  std::vector<YatLocalDescriptor> LocalChain(std::uint32_t startRegister) {
    std::uint32_t entryAddress = 0;
    EXPECT_EQ(plat::testing::board_control_register_read(0, startRegister, &entryAddress), plat::board::kControlOk);
    std::uint32_t entry[8] = {};
    ReadOnboard(entryAddress, entry, sizeof entry);
    std::vector<YatLocalDescriptor> chain;
    for (std::uint32_t at = entry[1]; chain.size() < kMostDescriptors;) {
      YatLocalDescriptor d{};
      ReadOnboard(at, &d, sizeof d);
      chain.push_back(d);
      if (d.next == entry[1]) break;
      at = d.next;
    }
    return chain;
  }

  // The host chain of the first buffer, through the diagnostic mapping.
  std::vector<YatHostDescriptor> HostChain(TransferSetup& t, std::size_t count) {
    YatDbgMapDescRecord in{Board(0), t.Handle(), YAT_DMA_TYPE_BH, 0, 0, 0};
    const StavroReply reply = Ask(YAT_IOCTRL_DBG_MAP_DESC, in, 12);
    std::uint64_t user = 0;
    std::memcpy(&user, reply.bytes.data() + 4, 8);
    std::vector<YatHostDescriptor> list;
    if (user == 0) return list;
    list.resize(count);
    std::memcpy(list.data(), reinterpret_cast<const std::uint8_t*>(user) + 32, count * sizeof(YatHostDescriptor));
    return list;
  }

  std::uint32_t Inject(std::uint32_t number) {
    std::uint32_t filled = 0;
    const plat::board::ControlFrame record{0, frame_.width, frame_.height, YatBytesPerPixel(frame_.format), number};
    EXPECT_EQ(plat::testing::board_control_inject_frame(0, record, &filled), plat::board::kControlOk);
    return filled;
  }

  // Bytes of host buffer 0 that differ from frame `number` as `source` maps
  // each host byte (x, y) to the camera's byte and line; the first is reported.
  template <typename Source>
  std::uint32_t WrongBytes(TransferSetup& t, std::uint32_t number, Source source) {
    const std::uint32_t lineBytes = frame_.width * YatBytesPerPixel(frame_.format);
    std::uint32_t wrong = 0;
    for (std::uint32_t y = 0; y < frame_.height; ++y) {
      for (std::uint32_t x = 0; x < lineBytes; ++x) {
        const auto [cameraX, cameraY] = source(x, y);
        const std::uint8_t want = plat::board::camera_pattern(0, 0, number, cameraX, cameraY);
        const std::uint8_t got = t.Buffer(0).memory[y * lineBytes + x];
        if (got != want && wrong++ == 0)
          ADD_FAILURE() << "line " << y << " byte " << x << " is " << int(got) << ", want " << int(want);
      }
    }
    return wrong;
  }

  Frame frame_;
};

std::uint32_t Count(std::uint32_t control) { return control & 0xFFF; }

// ---- host regions ----

struct RegionCase {
  const char* name;
  std::uint8_t direction;
  std::int8_t lineStep;
  std::vector<std::uint32_t> offsets;   // of each descriptor's first byte, from the buffer's start
  std::vector<std::uint32_t> controls;  // marks and counts
};

constexpr std::uint32_t kFirst = YAT_HOST_FIRST_LINE, kLast = YAT_HOST_LAST_LINE, kStart = YAT_HOST_LINE_START,
                        kEnd = YAT_HOST_LINE_END;

TEST_F(StavroChainRules, HostRegionsWalkTheirLinesInTheOrderTheirTwoStepBytesName) {
  frame_ = Frame{4, 2, 2};  // two lines of four 2-byte pixels
  const RegionCase cases[] = {
      {"left to right, top down", YAT_BH_LEFT_TO_RIGHT, 1, {0, 8}, {kFirst | kStart | kEnd | 8, kLast | kStart | kEnd | 8}},
      {"upside down", YAT_BH_LEFT_TO_RIGHT, -1, {8, 0}, {kFirst | kStart | kEnd | 8, kLast | kStart | kEnd | 8}},
      {"mirrored",
       YAT_BH_RIGHT_TO_LEFT | 1,
       1,
       {6, 4, 2, 0, 14, 12, 10, 8},
       {kFirst | kStart | 2, 2, 2, kEnd | 2, kStart | 2, 2, 2, kLast | kEnd | 2}},
      {"half round",
       YAT_BH_RIGHT_TO_LEFT,
       -1,
       {14, 12, 10, 8, 6, 4, 2, 0},
       {kFirst | kStart | 2, 2, 2, kEnd | 2, kStart | 2, 2, 2, kLast | kEnd | 2}},
  };
  for (const RegionCase& c : cases) {
    SCOPED_TRACE(c.name);
    TransferSetup t(device_, false);
    t.shapeRegion = [&c](YatBhPiece& region) {
      region.direction = c.direction;
      region.options.lineStep = c.lineStep;
    };
    ASSERT_EQ(t.Create(), QELHW_OK);
    t.MakeBuffers(frame_, 1);
    ASSERT_EQ(t.SetBh(frame_, 0), QELHW_OK);
    const std::vector<YatHostDescriptor> chain = HostChain(t, c.offsets.size());
    ASSERT_EQ(chain.size(), c.offsets.size());
    const std::uint32_t base = chain[0].addressLow - c.offsets[0];
    for (std::size_t i = 0; i < chain.size(); ++i) {
      SCOPED_TRACE(i);
      EXPECT_EQ(chain[i].addressLow - base, c.offsets[i]);
      EXPECT_EQ(chain[i].control, c.controls[i]);
    }
    EXPECT_EQ(t.Destroy(), QELHW_OK);
  }
}

// ---- AL lines right to left ----

TEST_F(StavroChainRules, AnAlLineWalkedRightToLeftIsCutFromItsEndOnePixelAtATime) {
  frame_ = Frame{4, 2, 2};
  TransferSetup t(device_, false);
  t.shapeAl = [](YatAlElement& al, YatAlRegion&) { al.stepWord = 0x1FF; };
  Build(t);
  if (HasFatalFailure()) return;
  const std::vector<YatLocalDescriptor> chain = LocalChain(kAlStartRegister);
  ASSERT_EQ(chain.size(), 8u);
  const std::uint32_t offsets[] = {6, 4, 2, 0, 14, 12, 10, 8};
  for (std::size_t i = 0; i < chain.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(chain[i].address, offsets[i]);
    EXPECT_EQ(Count(chain[i].control), 2u);
    EXPECT_EQ((chain[i].control & YAT_AL_LINE_START) != 0, i % 4 == 0);
    EXPECT_EQ((chain[i].control & YAT_AL_LINE_END) != 0, i % 4 == 3);
  }
  EXPECT_EQ(chain[0].control & YAT_AL_FIRST_LINE, YAT_AL_FIRST_LINE);
  EXPECT_NE(chain[7].control & YAT_AL_LAST_LINE, 0u);
  EXPECT_EQ(t.Destroy(), QELHW_OK);
}

// A 3-byte pixel across a 2048-byte boundary stays in order: its bytes
// before the boundary, then its byte after it.
TEST_F(StavroChainRules, AMirroredPixelAcrossAnOnboardBoundaryKeepsItsBytesInOrder) {
  frame_ = Frame{683, 1, 5};  // 2049 bytes a line: the last pixel starts at 2046
  TransferSetup t(device_, false);
  t.shapeAl = [](YatAlElement& al, YatAlRegion&) { al.stepWord = 0x1FF; };
  Build(t);
  if (HasFatalFailure()) return;
  const std::vector<YatLocalDescriptor> chain = LocalChain(kAlStartRegister);
  ASSERT_GE(chain.size(), 3u);
  EXPECT_EQ(chain[0].address, 2046u);
  EXPECT_EQ(Count(chain[0].control), 2u);
  EXPECT_EQ(chain[1].address, 2048u);
  EXPECT_EQ(Count(chain[1].control), 1u);
  EXPECT_EQ(chain[2].address, 2043u);
  EXPECT_EQ(Count(chain[2].control), 3u);
  EXPECT_NE(chain[0].control & YAT_AL_LINE_START, 0u);
  EXPECT_EQ(chain[1].control & YAT_AL_LINE_START, 0u);
  EXPECT_EQ(t.Destroy(), QELHW_OK);
}

// ---- grabbed images ----

struct ImageCase {
  const char* name;
  std::uint32_t alStepWord;
  std::uint8_t direction;
  std::int8_t lineStep;
  bool mirrored;
  bool upsideDown;
};

TEST_F(StavroChainRules, MirroredAndFlippedChainsShowInTheGrabbedImage) {
  const ImageCase cases[] = {
      {"host region mirrored", 0x101, YAT_BH_RIGHT_TO_LEFT | 1, 1, true, false},
      {"host region upside down", 0x101, YAT_BH_LEFT_TO_RIGHT, -1, false, true},
      {"host region half round", 0x101, YAT_BH_RIGHT_TO_LEFT | 1, -1, true, true},
      {"0xFF as direction mirrors", 0x101, 0xFF, 0, true, false},
      {"AL right to left", 0x1FF, YAT_BH_LEFT_TO_RIGHT, 1, true, false},
      {"AL bottom up", 0xFF01, YAT_BH_LEFT_TO_RIGHT, 1, false, true},
      {"AL and host both mirrored", 0x1FF, YAT_BH_RIGHT_TO_LEFT | 1, 1, false, false},
  };
  std::uint32_t number = 1;
  for (const ImageCase& c : cases) {
    SCOPED_TRACE(c.name);
    TransferSetup t(device_, false);
    t.shapeAl = [&c](YatAlElement& al, YatAlRegion&) { al.stepWord = c.alStepWord; };
    t.shapeRegion = [&c](YatBhPiece& region) {
      region.direction = c.direction;
      region.options.lineStep = c.lineStep;
    };
    Build(t);
    if (HasFatalFailure()) return;
    ASSERT_EQ(Inject(number), 1u);
    const std::uint32_t bpp = YatBytesPerPixel(frame_.format);
    EXPECT_EQ(WrongBytes(t, number,
                         [&](std::uint32_t x, std::uint32_t y) {
                           const std::uint32_t pixel = c.mirrored ? frame_.width - 1 - x / bpp : x / bpp;
                           return std::pair{pixel * bpp + x % bpp, c.upsideDown ? frame_.height - 1 - y : y};
                         }),
              0u);
    EXPECT_EQ(t.Destroy(), QELHW_OK);
    ++number;
  }
}

// ---- LB passes, marks and split widths ----

struct LbCut {
  std::uint32_t address;
  std::uint32_t control;
};

constexpr std::uint32_t kFrameOpen = YAT_LB_FRAME_OPEN | YAT_LB_FIRST_PASS_LINE0;
constexpr std::uint32_t kOpen = YAT_LB_LINE_OPEN, kClose = YAT_LB_LINE_CLOSE, kPassOpen = YAT_LB_PASS_OPEN,
                        kPassClose = YAT_LB_PASS_CLOSE, kLastLine = YAT_LB_LAST_LINE;

void ExpectCuts(const std::vector<YatLocalDescriptor>& chain, const std::vector<LbCut>& want) {
  ASSERT_EQ(chain.size(), want.size());
  for (std::size_t i = 0; i < chain.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(chain[i].address, want[i].address);
    EXPECT_EQ(chain[i].control, want[i].control);
  }
}

TEST_F(StavroChainRules, AnLbFrameOpensOnItsFirstLineAndItsPassClosesOnItsLast) {
  frame_ = Frame{640, 3, 2};  // 1280 bytes a line: line 1 crosses 2048
  TransferSetup t(device_, false);
  Build(t);
  if (HasFatalFailure()) return;
  ExpectCuts(LocalChain(kLbStartRegister), {{0, 1280 | kFrameOpen | kOpen | kClose},
                                            {1280, 768 | kOpen},
                                            {2048, 512 | kClose},
                                            {2560, 1280 | kOpen | kClose | kPassClose | kLastLine}});
  EXPECT_EQ(t.Destroy(), QELHW_OK);
}

// A window of five lines over a buffer of three: a plain buffer is read
// again from its line 0, a buffer whose AL ring closes on its line 1 (option
// bit 0) from its line 1; each walk over the buffer is a pass.
TEST_F(StavroChainRules, AWindowTallerThanItsBufferReadsItInPasses) {
  struct PassCase {
    const char* name;
    std::uint32_t optionBits;
    std::vector<std::uint32_t> rows;
    std::vector<bool> passStarts;
  };
  const PassCase cases[] = {
      {"ring from line 0", 0, {0, 1, 2, 0, 1}, {true, false, false, true, false}},
      {"ring from line 1", 1, {0, 1, 2, 1, 2}, {true, false, false, true, false}},
  };
  frame_ = Frame{64, 3, 2};  // 128 bytes a line
  for (const PassCase& c : cases) {
    SCOPED_TRACE(c.name);
    TransferSetup t(device_, false);
    t.shapeLb = [&c](YatLbElement& lb, YatLbLine& line, YatLbPiece&) {
      lb.geometry.lineCount = 5;
      line.height = 5;
      lb.optionBits = c.optionBits;
      lb.stamp = 1;
    };
    Build(t);
    if (HasFatalFailure()) return;
    std::vector<LbCut> want;
    for (std::size_t line = 0; line < c.rows.size(); ++line) {
      const bool passEnd = line + 1 == c.rows.size() || c.rows[line] == 2;
      std::uint32_t control = 128 | kOpen | kClose;
      if (line == 0) control |= kFrameOpen;
      if (c.passStarts[line]) control |= kPassOpen;
      if (passEnd) control |= kPassClose;
      if (line + 1 == c.rows.size()) control |= kLastLine;
      want.push_back({c.rows[line] * 128, control});
    }
    ExpectCuts(LocalChain(kLbStartRegister), want);
    EXPECT_EQ(t.Destroy(), QELHW_OK);
  }
}

TEST_F(StavroChainRules, SplitWidthsCutTheLineAndTheirFlagsMarkAndStepBack) {
  struct SplitCase {
    const char* name;
    std::uint32_t flags;
    std::vector<LbCut> cuts;
  };
  const std::uint32_t open = kFrameOpen | kOpen;
  const std::uint32_t close = kClose | kPassClose | kLastLine;
  const SplitCase cases[] = {
      {"plain split", 0, {{0, 32 | open}, {32, 32}, {64, 32}, {96, 32 | close}}},
      {"every split a line", 1,
       {{0, 32 | open | kClose}, {32, 32 | kOpen | kClose}, {64, 32 | kOpen | kClose}, {96, 32 | kOpen | close}}},
      {"last split two back", 5,
       {{0, 32 | open | kClose}, {32, 32 | kOpen | kClose}, {64, 32 | kOpen | kClose}, {32, 32 | kOpen | close}}},
  };
  frame_ = Frame{64, 1, 2};  // one line of 128 bytes
  for (const SplitCase& c : cases) {
    SCOPED_TRACE(c.name);
    TransferSetup t(device_, false);
    t.shapeLb = [&c](YatLbElement&, YatLbLine&, YatLbPiece& piece) {
      piece.splitWidth = 32;
      piece.flags = c.flags;
    };
    Build(t);
    if (HasFatalFailure()) return;
    ExpectCuts(LocalChain(kLbStartRegister), c.cuts);
    EXPECT_EQ(t.Destroy(), QELHW_OK);
  }
}

// A frame of five lines through an acquisition buffer of three whose AL ring
// closes on its line 1: the LB chain reads lines 3 and 4 of the frame from
// the buffer's lines 1 and 2, and the host buffer gets the frame whole.
TEST_F(StavroChainRules, AFrameTallerThanItsBufferArrivesWholeThroughTheRingFromLine1) {
  frame_ = Frame{64, 5, 2};
  TransferSetup t(device_, false);
  t.shapeAl = [](YatAlElement& al, YatAlRegion&) {
    al.geometry.imageHeight = 3;
    al.flags = 1;  // the window is taller than the buffer
  };
  t.shapeLb = [](YatLbElement& lb, YatLbLine&, YatLbPiece&) {
    lb.geometry.imageHeight = 3;
    lb.optionBits = 1;
  };
  Build(t);
  if (HasFatalFailure()) return;
  ASSERT_EQ(Inject(9), 1u);
  EXPECT_EQ(WrongBytes(t, 9, [](std::uint32_t x, std::uint32_t y) { return std::pair{x, y}; }), 0u);
  EXPECT_EQ(t.Destroy(), QELHW_OK);
}

// The last split of a line read two splits back shows in the grabbed line.
TEST_F(StavroChainRules, ASplitSteppedBackShowsInTheGrabbedLine) {
  frame_ = Frame{64, 2, 2};  // 128 bytes a line: splits at 0, 32, 64 and, stepped back, 32 again
  TransferSetup t(device_, false);
  t.shapeLb = [](YatLbElement&, YatLbLine&, YatLbPiece& piece) {
    piece.splitWidth = 32;
    piece.flags = 5;
  };
  Build(t);
  if (HasFatalFailure()) return;
  ASSERT_EQ(Inject(4), 1u);
  EXPECT_EQ(WrongBytes(t, 4, [](std::uint32_t x, std::uint32_t y) { return std::pair{x < 96 ? x : x - 64, y}; }), 0u);
  EXPECT_EQ(t.Destroy(), QELHW_OK);
}

}  // namespace
