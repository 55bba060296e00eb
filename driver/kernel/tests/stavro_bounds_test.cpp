// Sizes a request carries are bounded by what they can name: regions by the
// board's memory or the host buffer, memory jobs by the on-board memory,
// FPGA images by the largest bitstream. What used to hang or stall the host
// is refused at once, and a long job that is allowed leaves every other
// process answered.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <memory>
#include <thread>
#include <vector>

#include "driver/kernel/tests/host_pinger.h"
#include "driver/kernel/tests/stavro_host_fixture.h"
#include "driver/kernel/tests/transfer_setup.h"
#include "driver/user/QelHwStatus.h"
#include "platform/win/machine.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using transfer_test::Frame;
using transfer_test::TransferSetup;

constexpr std::uint64_t kMemoryBytes = 1024ull << 20;  // the default EEPROM: two banks of 512 MB
constexpr auto kPrompt = 5s;                            // a refusal takes no time at all

std::uint64_t Address(const void* p) { return reinterpret_cast<std::uintptr_t>(p); }

class StavroBounds : public StavroBoardTest {
 protected:
  // A transfer with on-board memory set up, and a frame-sized acquisition buffer.
  void Prepare() {
    setup_ = std::make_unique<TransferSetup>(device_, false);
    ASSERT_EQ(t().InitOnboard(frame_.Bytes()), QELHW_OK);
    ASSERT_EQ(t().Create(), QELHW_OK);
  }
  TransferSetup& t() { return *setup_; }

  YatAlElement Al() const {
    YatAlElement al{};
    al.geometry = {frame_.width, frame_.height, frame_.format, 0, 0, frame_.width, frame_.height};
    al.stepWord = 0x101;
    al.regionCount = 1;
    al.regions = Address(&region_);
    al.sourceCount = 1;
    al.sources = Address(&source_);
    al.taps = 1;
    return al;
  }
  std::int32_t SetAl(const YatAlElement& al) {
    return Ask(YAT_IOCTRL_SET_AL_XFERS, YatDmaXferRecord{Board(0), t().Handle(), 1, Address(&al)}, 4).status;
  }

  // Whether `ask` is answered with `expected` and quickly.
  template <typename Ask>
  static ::testing::AssertionResult RefusedPromptly(Ask ask, std::int32_t expected) {
    const auto start = Clock::now();
    const std::int32_t status = ask();
    const auto took = Clock::now() - start;
    if (status != expected) return ::testing::AssertionFailure() << "status " << status;
    if (took > kPrompt) return ::testing::AssertionFailure() << "took " << (took / 1ms) << " ms";
    return ::testing::AssertionSuccess();
  }

  Frame frame_;
  std::unique_ptr<TransferSetup> setup_;
  YatAlRegion region_{0, 0, 640, 6};
  YatSourceEntry source_{0, 0, 0};
};

TEST_F(StavroBounds, AcquisitionRegionsPastTheMemoryAreRefused) {
  Prepare();
  source_.onboardAddress = t().Onboard();
  struct Case {
    const char* what;
    YatAlRegion region;
    std::uint32_t imageWidth;
  } cases[] = {
      {"a region 0xFFFFFFFF pixels wide", {0, 0, 0xFFFFFFFF, 6}, 640},
      {"a region 0xFFFFFFFF lines high", {0, 0, 640, 0xFFFFFFFF}, 640},
      {"lines one byte wide, as many as the memory has bytes", {0, 0, 1, 0xFFFFFFF}, 1},
      {"a region starting past the memory", {0, 0x7FFFFFFF, 640, 1}, 640},
  };
  for (const Case& c : cases) {
    region_ = c.region;
    YatAlElement al = Al();
    al.geometry.imageWidth = c.imageWidth;
    al.geometry.imageHeight = 0xFFFFFFFF;
    EXPECT_TRUE(RefusedPromptly([&] { return SetAl(al); }, QELHW_ERROR_PARAMETER_INVALID)) << c.what;
  }
  region_ = {0, 0, 640, 6};
  source_.onboardAddress = kMemoryBytes;  // a buffer past the memory
  EXPECT_EQ(SetAl(Al()), QELHW_ERROR_PARAMETER_INVALID);
  // Nothing of them was built: the transfer takes its real parts and runs.
  source_.onboardAddress = t().Onboard();
  EXPECT_EQ(SetAl(Al()), QELHW_OK);
  EXPECT_EQ(t().Destroy(), QELHW_OK);
}

TEST_F(StavroBounds, OnboardWindowsAndHostRegionsPastWhatTheyNameAreRefused) {
  Prepare();
  t().MakeBuffers(frame_, 1);
  // An LB window of 0xFFFFFFFF lines, each a piece of the frame.
  YatSourceEntry source{0, 0, t().Onboard()};
  YatLbLine line{1, 0, 0, frame_.width, frame_.height, 0};
  YatLbPiece piece{};
  piece.channelMask = 1;
  piece.kindBits = 0x10;
  piece.width = frame_.width;
  piece.height = frame_.height;
  piece.onboardAddress = 0xFFFFFFFF;
  YatLbElement lb{};
  lb.geometry = {frame_.width, frame_.height, frame_.format, 0, 0, frame_.width, 0xFFFFFFFF};
  lb.sourceCount = 1;
  lb.sources = Address(&source);
  lb.lineCount = 1;
  lb.lines = Address(&line);
  lb.pieceCount = 1;
  lb.pieces = Address(&piece);
  EXPECT_TRUE(RefusedPromptly(
      [&] { return Ask(YAT_IOCTRL_SET_LB_XFERS, YatDmaXferRecord{Board(0), t().Handle(), 1, Address(&lb)}, 4).status; },
      QELHW_ERROR_PARAMETER_INVALID));

  // Host regions wider or taller than the locked buffer.
  YatBhHeader header{0, 0, 1, 0, 0, 0, 0};
  for (const YatBhPiece& region : {YatBhPiece{1, {0, 0}, 0, 0, 0, 0, 0xFFFFFFFF, frame_.height},
                                   YatBhPiece{1, {0, 0}, 0, 0, 0, 0, frame_.width, frame_.height + 1},
                                   YatBhPiece{1, {0, 0}, 0, 0, 0, 0x40000000, frame_.width, 1}}) {
    YatBhBufferRecord record{};
    record.geometry = {frame_.width, frame_.height, frame_.format, 0, 0, frame_.width, frame_.height};
    record.lockRecord = Address(t().Buffer(0).entry + YAT_HOST_BUFFER_LOCK_OFFSET);
    record.regionCount = 1;
    record.regions = Address(&region);
    YatBhElement element{0, 0, 1, Address(&record)};
    YatBhXferRecord in{Board(0), t().Handle(), Address(&header), 1, Address(&element)};
    EXPECT_TRUE(RefusedPromptly([&] { return Ask(YAT_IOCTRL_SET_BH_XFERS, in, 4).status; },
                                QELHW_ERROR_PARAMETER_INVALID));
  }
  EXPECT_EQ(t().Destroy(), QELHW_OK);
}

TEST_F(StavroBounds, MemoryJobsPastTheOnboardMemoryAreRefused) {
  std::vector<std::uint8_t> bytes(64, 0x5A);
  const std::uint32_t pattern = 0x01020304;
  auto fill = [&](std::uint32_t at, std::uint32_t count) {
    return Ask(YAT_IOCTRL_FILL_MEMORY, YatIocFillIn{Board(0), at, count, Address(&pattern), 4, 0}, 4).status;
  };
  auto write = [&](std::uint32_t at, std::uint32_t count) {
    return Ask(YAT_IOCTRL_WRITE_MEMORY, YatIocMemoryIn{Board(0), at, Address(bytes.data()), count, 0}, 4).status;
  };
  auto read = [&](std::uint32_t at, std::uint32_t count) {
    return Ask(YAT_IOCTRL_READ_MEMORY, YatIocMemoryIn{Board(0), at, Address(bytes.data()), count, 0}, 4).status;
  };
  const auto end = static_cast<std::uint32_t>(kMemoryBytes);
  EXPECT_TRUE(RefusedPromptly([&] { return fill(0, 0xEC000000); }, QELHW_ERROR_ARG_INVALID));  // 3.7 GB
  EXPECT_TRUE(RefusedPromptly([&] { return write(0, 0xEC000000); }, QELHW_ERROR_ARG_INVALID));
  EXPECT_TRUE(RefusedPromptly([&] { return read(0, 0xEC000000); }, QELHW_ERROR_ARG_INVALID));
  EXPECT_EQ(write(end - 32, 64), QELHW_ERROR_ARG_INVALID);
  EXPECT_EQ(read(end, 8), QELHW_ERROR_ARG_INVALID);
  EXPECT_EQ(write(end - 64, 64), QELHW_OK);  // the memory's last bytes
  EXPECT_EQ(fill(end - 2048, 2048), QELHW_OK);
}

TEST_F(StavroBounds, FpgaImagesLargerThanAnyBitstreamAreRefused) {
  const std::string dir = plat::machine_path("drives/c/firmware");
  std::filesystem::create_directories(dir);
  {
    std::ofstream big(dir + "/huge.cbn", std::ios::binary);
    big.seekp((4 << 20) + 1 - 1);
    big.put(0);
  }
  YatFpgaLoadRecord record{};
  record.header = Board(0);
  record.fpgaId = 1;
  std::strncpy(record.fileName, "C:\\firmware\\huge.cbn", sizeof record.fileName - 1);
  EXPECT_TRUE(RefusedPromptly([&] { return Ask(YAT_IOCTRL_LOAD_FPG, record, 4).status; }, QELHW_ERROR_ARG_INVALID));
  std::uint8_t image[16] = {};
  record.fileName[0] = '\0';
  record.imageAddress = Address(image);
  record.imageSize = 64u << 20;
  EXPECT_TRUE(RefusedPromptly([&] { return Ask(YAT_IOCTRL_LOAD_FPG, record, 4).status; }, QELHW_ERROR_ARG_INVALID));
}

// A memory job of many windows holds only the window engine: the process
// table stays free for other processes' opens, slot lookups and closes.
TEST_F(StavroBounds, OtherProcessesAreAnsweredDuringALongMemoryJob) {
  std::vector<std::uint8_t> bytes(4u << 20, 0xA5);
  stavro_test::Pinger pinger;
  std::this_thread::sleep_for(100ms);
  const unsigned before = pinger.Answers();
  const auto start = Clock::now();
  auto job = std::async(std::launch::async, [&] {
    plat::Handle own = plat::open_device("\\\\.\\STAVRO");
    const YatIocMemoryIn in{Board(0), 0, Address(bytes.data()), 4u << 20, 0};
    const std::int32_t status = transfer_test::Send(own, YAT_IOCTRL_WRITE_MEMORY, &in, sizeof in);
    plat::close_device(own);
    return status;
  });
  EXPECT_EQ(job.get(), QELHW_OK);
  const auto took = Clock::now() - start;
  const unsigned during = pinger.Answers() - before;
  pinger.Stop();
  EXPECT_EQ(pinger.Failures(), 0u);
  EXPECT_GT(during, 0u) << "the job took " << (took / 1ms) << " ms";
  // A ping that waited for the job would have taken as long as the job.
  EXPECT_LT(pinger.Slowest(), std::max<std::chrono::milliseconds>(500ms, std::chrono::duration_cast<std::chrono::milliseconds>(took) / 2));
}

}  // namespace
