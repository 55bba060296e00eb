// Grabs through the SDK's client API (quillet-helper-xfergrab): the client's
// callbacks with their event words and counts, XferWait, the images in the
// host buffers, stop, abort and start again, snaps, acquisition events
// during the grab, the worker's measurement point, and a client killed in
// the middle of a grab.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <vector>
#include <sstream>
#include <thread>

#include "platform/board/dma_frames.h"
#include "platform/testing/board_control.h"
#include "source/firmware/tests/road_test_support.h"

namespace {

using plat::testing::ChildProcess;

constexpr std::uint32_t kEndOfFrame = 0x800000;
constexpr std::uint32_t kEndOfTransfer = 0x4000000;
constexpr std::uint32_t kIncomplete = 0x40000000;

class XferGrab : public road_test::Road {
 protected:
  ChildProcess& Client() {
    ChildProcess& client = Start("quillet-helper-xfergrab");
    EXPECT_EQ(Ask(client, "open"), "open 0");
    return client;
  }
  static void SetCamera(std::uint32_t width, std::uint32_t height, std::uint32_t periodUs = 2000) {
    const plat::board::ControlCameraModel model{width, height, 1, 8, periodUs};
    ASSERT_EQ(plat::testing::board_control_set_camera_model(0, 0, model), plat::board::kControlOk);
  }
  static plat::board::ControlGrabState GrabState() {
    plat::board::ControlGrabState state{};
    EXPECT_EQ(plat::testing::board_control_grab_state(0, 0, &state), plat::board::kControlOk);
    return state;
  }
  // Camera 0's frame `number` as hex, `lines` of it and zeros below.
  static std::string Pattern(std::uint32_t number, std::uint32_t width, std::uint32_t height, std::uint32_t lines) {
    std::string hex;
    char two[3];
    for (std::uint32_t y = 0; y < height; ++y)
      for (std::uint32_t x = 0; x < width; ++x) {
        std::snprintf(two, sizeof two, "%02x", y < lines ? plat::board::camera_pattern(0, 0, number, x, y) : 0);
        hex += two;
      }
    return hex;
  }
  // A client with device 0 of board 0 open and a transfer into its host
  // buffers (the given kinds, one buffer each) connected, callbacks for `events`.
  ChildProcess& Connected(const std::vector<std::uint32_t>& kinds, std::uint32_t events = kEndOfFrame | kEndOfTransfer) {
    ChildProcess& client = Client();
    EXPECT_EQ(Ask(client, "acq 0 0"), "acq 0");
    std::istringstream geometry(Ask(client, "geometry 0"));
    std::string word;
    geometry >> word >> width_ >> height_;
    for (std::uint32_t kind : kinds)
      EXPECT_EQ(Ask(client, "buffers 0 " + std::to_string(kind) + " 1 " + std::to_string(width_) + " " +
                                std::to_string(height_)),
                "buffers 0");
    EXPECT_EQ(Ask(client, "xfer 0 " + std::to_string(events)), "xfer 0") << Log();
    return client;
  }
  static std::string Log() { return plat::support::read_machine_log(); }

  struct Call {
    std::uint32_t context;  // 1 transfer, 2 acquisition
    std::uint32_t events;
    std::uint32_t count;
  };
  static std::vector<Call> Calls(ChildProcess& client) {
    std::istringstream in(Ask(client, "calls"));
    std::string word;
    std::size_t n = 0;
    in >> word >> n;
    std::vector<Call> calls;
    for (std::string item; in >> item;) {
      Call call{};
      std::sscanf(item.c_str(), "%u:%x:%u", &call.context, &call.events, &call.count);
      calls.push_back(call);
    }
    return calls;
  }
  // The transfer callbacks once `enough` holds for them (a minute at most).
  // A callback reaches the client on its own, not with the answer to a call.
  template <typename Enough>
  static std::vector<Call> TransferCallsOnce(ChildProcess& client, Enough enough) {
    std::vector<Call> calls;
    for (int attempt = 0; attempt < 1200; ++attempt) {
      calls = Calls(client);
      std::erase_if(calls, [](const Call& call) { return call.context != 1; });
      if (enough(calls)) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return calls;
  }
  // The transfer callbacks once at least `count` came.
  static std::vector<Call> TransferCalls(ChildProcess& client, std::size_t count = 0) {
    return TransferCallsOnce(client, [count](const std::vector<Call>& calls) { return calls.size() >= count; });
  }
  // The transfer callbacks once the one with the end of the transfer came.
  static std::vector<Call> TransferCallsToTheEnd(ChildProcess& client) {
    return TransferCallsOnce(client, [](const std::vector<Call>& calls) {
      return std::any_of(calls.begin(), calls.end(),
                         [](const Call& call) { return (call.events & kEndOfTransfer) != 0; });
    });
  }
  // A continuous grab of a camera slow enough (a line in 60 ms, a frame in
  // half a minute) that an abort lands in its first frame, after four lines.
  void AbortMidFrame(ChildProcess& client) {
    constexpr std::uint32_t kLineUs = 60'000;
    SetCamera(width_, height_, 2 * height_ * kLineUs);
    ASSERT_EQ(Ask(client, "start 0 0xFFFFFFFF"), "start 0");
    std::this_thread::sleep_for(std::chrono::microseconds(4 * kLineUs));
    ASSERT_EQ(Ask(client, "abort 0"), "abort 0");
  }
  std::string Image(ChildProcess& client, std::uint32_t k) { return Ask(client, "image 0 " + std::to_string(k)); }
  std::string Frame(std::uint32_t number, std::uint32_t lines = 0) {
    return "image " + Pattern(number, width_, height_, lines == 0 ? height_ : lines);
  }
  static std::uint32_t BufferValue(ChildProcess& client, std::uint32_t k, const char* id) {
    std::istringstream in(Ask(client, "bprm 0 " + std::to_string(k) + " " + id));
    std::string word;
    std::uint32_t status = 1, value = 0;
    in >> word >> status >> value;
    EXPECT_EQ(status, 0u);
    return value;
  }
  static std::uint32_t State(ChildProcess& client, std::uint32_t k) { return BufferValue(client, k, "0xE0004"); }
  // The buffer's size: the bytes its last frame brought.
  static std::uint32_t Size(ChildProcess& client, std::uint32_t k) { return BufferValue(client, k, "0x130004"); }

  std::uint32_t width_ = 0;
  std::uint32_t height_ = 0;
};

// Three frames into two contiguous and two scatter-gather buffers: one
// callback per frame, counting 1 to 3, the third with the end of the
// transfer; XferWait answers once it is over; the fourth buffer is untouched.
TEST_F(XferGrab, ThreeFramesIntoFourBuffersWithTheirCallbacks) {
  ChildProcess& client = Connected({1, 1, 0x20, 0x20});
  const std::string untouched = Image(client, 3);
  ASSERT_EQ(Ask(client, "start 0 3"), "start 0");
  EXPECT_EQ(Ask(client, "wait 0 30000"), "wait 0");
  TransferCalls(client, 3);
  EXPECT_EQ(Ask(client, "calls"), "calls 3 1:800000:1 1:800000:2 1:4800000:3") << Log();
  for (std::uint32_t k = 0; k < 3; ++k) {
    EXPECT_EQ(Image(client, k), Frame(k)) << k;
    EXPECT_EQ(State(client, k) & kIncomplete, 0u) << k;  // whole frames
  }
  EXPECT_EQ(Image(client, 3), untouched);
  EXPECT_EQ(Ask(client, "wait 0 0"), "wait 0");  // not running: at once
}

// The worker's measurement point (what the grab benchmark times from) is
// handed each frame's end-of-frame message before that frame's callback runs.
TEST_F(XferGrab, TheWorkerHandsEachEndOfFrameMessageToItsMeasurementPointBeforeTheCallback) {
  ChildProcess& client = Connected({1, 1, 1});
  EXPECT_EQ(Ask(client, "probe"), "probe 0");
  ASSERT_EQ(Ask(client, "start 0 3"), "start 0");
  EXPECT_EQ(Ask(client, "wait 0 30000"), "wait 0");
  ASSERT_EQ(TransferCalls(client, 3).size(), 3u) << Log();
  std::string order;
  for (const Call& call : Calls(client)) {
    if (call.context == 4 && (call.events & kEndOfFrame) != 0) order += "taken ";
    if (call.context == 1) order += "callback" + std::to_string(call.count) + " ";
  }
  EXPECT_EQ(order, "taken callback1 taken callback2 taken callback3 ");
}

// A continuous grab stopped ends with a whole frame: one end-of-transfer
// callback, with the last frame's end, and the board made no frame more
// than the callbacks tell. A stop of the idle transfer sends nothing more.
TEST_F(XferGrab, AContinuousGrabStopsAtAFrameBoundaryWithOneEndOfTransfer) {
  // A frame that finds no buffer given back never reaches the host, and a
  // stop after it would wait for its message in vain: a quarter-second frame
  // leaves the client three of them to give each buffer back.
  SetCamera(640, 480, 250000);
  ChildProcess& client = Connected({1, 0x20, 1, 0x20});
  const plat::board::ControlGrabState before = GrabState();
  ASSERT_EQ(Ask(client, "start 0 0xFFFFFFFF"), "start 0");
  // Each filled buffer is given back, so the grab goes on round the four;
  // all four are free when it stops.
  for (std::size_t given = 0; given < 6; ++given) {
    ASSERT_GE(TransferCalls(client, given + 1).size(), given + 1);
    EXPECT_EQ(Ask(client, "free 0 " + std::to_string(given % 4)), "free 0");
  }
  for (std::uint32_t k = 0; k < 4; ++k) EXPECT_EQ(Ask(client, "free 0 " + std::to_string(k)), "free 0");
  EXPECT_EQ(Ask(client, "stop 0"), "stop 0");
  EXPECT_EQ(Ask(client, "wait 0 30000"), "wait 0");
  // The end of the transfer comes with the last frame's end, or on its own
  // when the acquisition was already idle at the stop.
  const std::vector<Call> calls = TransferCallsToTheEnd(client);
  ASSERT_FALSE(calls.empty());
  std::size_t frames = 0;
  for (std::size_t n = 0; n < calls.size(); ++n) {
    EXPECT_EQ(calls[n].count, n + 1);
    const bool last = n + 1 == calls.size();
    EXPECT_EQ(calls[n].events & kEndOfTransfer, last ? kEndOfTransfer : 0u) << n;
    EXPECT_TRUE(!last || calls[n].events == kEndOfTransfer || calls[n].events == (kEndOfFrame | kEndOfTransfer));
    if ((calls[n].events & kEndOfFrame) != 0) ++frames;
  }
  const plat::board::ControlGrabState after = GrabState();
  EXPECT_EQ(after.running, 0u);
  EXPECT_EQ(after.frames_completed - before.frames_completed, frames);
  EXPECT_EQ(Ask(client, "stop 0"), "stop 0");
  EXPECT_EQ(TransferCalls(client).size(), calls.size());
}

// Stop of a transfer that never started sends the end of the transfer at
// once, once.
TEST_F(XferGrab, StopWhileIdleSendsTheEndOfTransferAtOnce) {
  ChildProcess& client = Connected({1});
  EXPECT_EQ(Ask(client, "stop 0"), "stop 0");
  TransferCalls(client, 1);
  EXPECT_EQ(Ask(client, "calls"), "calls 1 1:4000000:1");
  EXPECT_EQ(Ask(client, "stop 0"), "stop 0");
  EXPECT_EQ(Ask(client, "calls"), "calls 1 1:4000000:1");
}

// A start after a finished grab (or a stop) goes on with the next buffer; a
// start after an abort begins again at the first. A buffer's state bit 31
// tells it is free for the grab; the client gives a filled one back. Each
// start's frames are numbered from 0.
TEST_F(XferGrab, StopThenStartContinuesAbortThenStartBeginsAtTheFirstBuffer) {
  ChildProcess& client = Connected({1, 1, 1, 1});
  const std::string untouched = Image(client, 3);
  const auto grab = [&](const char* frames) {
    ASSERT_EQ(Ask(client, std::string("start 0 ") + frames), "start 0");
    ASSERT_EQ(Ask(client, "wait 0 30000"), "wait 0");
  };
  grab("1");
  EXPECT_EQ(Ask(client, "stop 0"), "stop 0");
  grab("1");
  EXPECT_EQ(Image(client, 1), Frame(0));  // the next buffer
  EXPECT_EQ(Ask(client, "abort 0"), "abort 0");
  EXPECT_EQ(State(client, 1) & 0x80000000u, 0u);  // holds a frame
  EXPECT_EQ(State(client, 2) & 0x80000000u, 0x80000000u);
  for (const char* k : {"0", "1"}) EXPECT_EQ(Ask(client, std::string("free 0 ") + k), "free 0");
  EXPECT_EQ(State(client, 1) & 0x80000000u, 0x80000000u);
  grab("2");
  EXPECT_EQ(Image(client, 0), Frame(0));
  EXPECT_EQ(Image(client, 1), Frame(1));  // from the first buffer again
  EXPECT_EQ(Image(client, 3), untouched);
  EXPECT_EQ(TransferCalls(client, 4).size(), 4u);
}

// A camera with half the window's lines: the buffer holds them, the rest
// stays as it was, and its state carries the incomplete-frame bit; a whole
// frame afterwards clears it.
TEST_F(XferGrab, AShortFrameSetsTheIncompleteBit) {
  ChildProcess& client = Connected({0x20});
  SetCamera(width_, height_ / 2);
  ASSERT_EQ(Ask(client, "start 0 1"), "start 0");
  ASSERT_EQ(Ask(client, "wait 0 30000"), "wait 0");
  EXPECT_EQ(Image(client, 0), Frame(0, height_ / 2));
  EXPECT_EQ(State(client, 0) & kIncomplete, kIncomplete);
  SetCamera(width_, height_);
  ASSERT_EQ(Ask(client, "free 0 0"), "free 0");
  ASSERT_EQ(Ask(client, "start 0 1"), "start 0");
  ASSERT_EQ(Ask(client, "wait 0 30000"), "wait 0");
  EXPECT_EQ(Image(client, 0), Frame(0));
  EXPECT_EQ(State(client, 0) & kIncomplete, 0u);
}

// An abort in the middle of a slow camera's frame ends that frame short: its
// callback comes (no end of the transfer with it), the buffer holds the lines
// that came and its state carries the incomplete-frame bit, its size the
// bytes of the whole lines. A start afterwards begins again at the first
// buffer with whole frames, numbered from 0.
TEST_F(XferGrab, AnAbortMidFrameEndsTheFrameShortAndAStartBeginsAgainAtTheFirstBuffer) {
  ChildProcess& client = Connected({1, 0x20});
  const std::string untouched = Image(client, 0);
  AbortMidFrame(client);
  const std::vector<Call> calls = TransferCalls(client, 1);
  ASSERT_EQ(calls.size(), 1u) << Log();
  EXPECT_EQ(calls[0].events, kEndOfFrame);
  EXPECT_EQ(State(client, 0) & kIncomplete, kIncomplete);
  const std::uint32_t size = Size(client, 0);
  EXPECT_EQ(size % width_, 0u);
  const std::uint32_t lines = size / width_ + 1;  // the last line is not counted
  EXPECT_GE(lines, 4u);
  EXPECT_LT(lines, height_);
  const std::size_t cut = std::string("image ").size() + 2 * std::size_t{lines} * width_;
  EXPECT_EQ(Image(client, 0), Frame(0, lines).substr(0, cut) + untouched.substr(cut));
  EXPECT_EQ(GrabState().running, 0u);

  SetCamera(width_, height_);
  ASSERT_EQ(Ask(client, "free 0 0"), "free 0");
  ASSERT_EQ(Ask(client, "start 0 2"), "start 0");
  ASSERT_EQ(Ask(client, "wait 0 30000"), "wait 0");
  for (std::uint32_t k = 0; k < 2; ++k) {
    EXPECT_EQ(Image(client, k), Frame(k)) << k;
    EXPECT_EQ(State(client, k) & kIncomplete, 0u) << k;
    EXPECT_EQ(Size(client, k), width_ * height_) << k;
  }
  EXPECT_EQ(TransferCalls(client, 3).size(), 3u);
}

// A start at once after an abort: the cut frame's message may reach the
// worker after the new start, but it ended before it, so only the start's
// own frames count towards its end.
TEST_F(XferGrab, AStartAtOnceAfterAnAbortEndsWithItsOwnFrames) {
  ChildProcess& client = Connected({1, 1});
  AbortMidFrame(client);
  SetCamera(width_, height_);
  ASSERT_EQ(Ask(client, "free 0 0"), "free 0");  // it holds the cut frame
  ASSERT_EQ(Ask(client, "start 0 2"), "start 0");
  ASSERT_EQ(Ask(client, "wait 0 30000"), "wait 0") << Ask(client, "calls");
  EXPECT_EQ(Image(client, 0), Frame(0));
  EXPECT_EQ(Image(client, 1), Frame(1));
  EXPECT_EQ(State(client, 1) & kIncomplete, 0u);
  const std::vector<Call> calls = TransferCalls(client, 3);
  ASSERT_EQ(calls.size(), 3u) << Log();
  EXPECT_EQ(calls[0].events, kEndOfFrame);  // the cut frame
  EXPECT_EQ(calls[1].events, kEndOfFrame);
  EXPECT_EQ(calls[2].events, kEndOfFrame | kEndOfTransfer);
}

// In start mode 1 a one-frame start returns with the frame in the buffer.
TEST_F(XferGrab, ASnapInStartModeOneReturnsWithItsFrame) {
  ChildProcess& client = Connected({1, 0x20});
  ASSERT_EQ(Ask(client, "prm 0 0xC0004 1"), "prm 0");
  for (std::uint32_t k = 0; k < 2; ++k) {
    ASSERT_EQ(Ask(client, "start 0 1"), "start 0");
    EXPECT_EQ(Image(client, k), Frame(0)) << k;
  }
}

// The acquisition's frame events reach the client's callback while the
// transfer grabs.
TEST_F(XferGrab, AcquisitionEventsFlowDuringTheGrab) {
  ChildProcess& client = Client();
  ASSERT_EQ(Ask(client, "acq 0 0"), "acq 0");
  ASSERT_EQ(Ask(client, "events 0 0x1002000"), "events 0");
  ASSERT_EQ(Ask(client, "buffers 0 1 4 640 480"), "buffers 0");
  ASSERT_EQ(Ask(client, "xfer 0 0x4800000"), "xfer 0");
  ASSERT_EQ(Ask(client, "start 0 4"), "start 0");
  ASSERT_EQ(Ask(client, "wait 0 30000"), "wait 0");
  // The board latches its events until the driver takes them, so on a busy
  // machine a frame's start and end may come as one callback.
  std::vector<Call> acquisition;
  for (int attempt = 0; attempt < 1200 && acquisition.empty(); ++attempt) {
    acquisition = Calls(client);
    std::erase_if(acquisition, [](const Call& call) { return call.context != 2; });
    if (acquisition.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ASSERT_FALSE(acquisition.empty());
  for (std::size_t n = 0; n < acquisition.size(); ++n) {
    EXPECT_EQ(acquisition[n].count, n + 1);
    EXPECT_NE(acquisition[n].events & 0x1002000, 0u);
  }
  EXPECT_EQ(TransferCalls(client, 4).size(), 4u);
}

// A monitor in another process, registered through manager control for the
// device's transfer events, receives one for each frame the client grabs.
TEST_F(XferGrab, TheMonitorReceivesTheTransferEvents) {
  using road_test::Quad;
  using road_test::Word;
  ChildProcess& client = Client();
  ASSERT_EQ(Ask(client, "acq 0 0"), "acq 0");
  ChildProcess& monitor = Client();
  const std::string taken = Ask(monitor, "control 0 0x80000059 " + Word(0));
  ASSERT_EQ(taken.substr(0, 10), "control 0 ") << taken;
  const std::string address = taken.substr(10, 16);
  const std::uint64_t event = std::stoull(Ask(monitor, "event").substr(6));
  ASSERT_EQ(Ask(monitor, "control 0 0x8000005C " + address + Word(kEndOfFrame) + Quad(event) + Quad(6)),
            "control 0 " + Quad(0));
  ASSERT_EQ(Ask(client, "buffers 0 0x20 3 640 480"), "buffers 0");
  ASSERT_EQ(Ask(client, "xfer 0 0x4800000"), "xfer 0");
  ASSERT_EQ(Ask(client, "start 0 3"), "start 0");
  ASSERT_EQ(Ask(client, "wait 0 30000"), "wait 0");
  std::vector<Call> events;
  for (int attempt = 0; attempt < 1200 && events.size() < 3; ++attempt) {
    events = Calls(monitor);
    if (events.size() < 3) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_EQ(events.size(), 3u);
}

// A client killed with SIGKILL in the middle of a continuous grab: the next
// process opens the device again (its flat-field selection cleared), gets
// its place in the connection matrix and the board's memory back, and grabs.
TEST_F(XferGrab, AClientKilledMidGrabIsReclaimedAndTheNextOneGrabs) {
  ChildProcess& probe = Start("quillet-helper-xferclient");
  ASSERT_EQ(Ask(probe, "open"), "open 0");
  const std::string memory = Ask(probe, "free 0 0"), matrix = Ask(probe, "matrix 0");
  ChildProcess& killed = Connected({1, 0x20});
  ASSERT_EQ(Ask(killed, "start 0 0xFFFFFFFF"), "start 0");
  ASSERT_GE(TransferCalls(killed, 2).size(), 2u);
  killed.kill_hard();
  std::erase_if(processes_, [&](const std::unique_ptr<ChildProcess>& p) { return p.get() == &killed; });

  ChildProcess& next = Connected({1, 0x20});
  EXPECT_EQ(Ask(next, "acqprm 0 0x70C0004"), "acqprm 0 0");
  EXPECT_EQ(Ask(next, "acqprm 0 0x70D0004"), "acqprm 0 0");
  ASSERT_EQ(Ask(next, "start 0 2"), "start 0");
  ASSERT_EQ(Ask(next, "wait 0 30000"), "wait 0");
  EXPECT_EQ(Image(next, 1), Frame(1));
  EXPECT_EQ(Ask(next, "release 0"), "release 0");
  EXPECT_EQ(Ask(probe, "free 0 0"), memory);
  EXPECT_EQ(Ask(probe, "matrix 0"), matrix);
}

// The leak checker does not follow host buffers' records through the shared
// memory that names them, so a client that ends holding its buffers is run
// without it; the address checker still sees what the client's exit touches.
class LeakCheckOff {
 public:
  LeakCheckOff() {
    const char* options = std::getenv("ASAN_OPTIONS");
    had_ = options != nullptr;
    if (had_) saved_ = options;
    ::setenv("ASAN_OPTIONS", (saved_ + ":detect_leaks=0").c_str(), 1);
  }
  ~LeakCheckOff() {
    if (had_) ::setenv("ASAN_OPTIONS", saved_.c_str(), 1);
    else ::unsetenv("ASAN_OPTIONS");
  }

 private:
  bool had_ = false;
  std::string saved_;
};

// A client that ends (its input ends, without closing the SDK) while its
// transfer is still connected, grabbing or not: it exits with status 0, and
// the next process gets the place and the board's memory back and grabs.
TEST_F(XferGrab, AClientEndingWithoutDisconnectExitsCleanlyAndTheNextOneGrabs) {
  ChildProcess& probe = Start("quillet-helper-xferclient");
  ASSERT_EQ(Ask(probe, "open"), "open 0");
  const std::string memory = Ask(probe, "free 0 0"), matrix = Ask(probe, "matrix 0");
  const auto gone = [this](ChildProcess& process) {
    std::erase_if(processes_, [&](const std::unique_ptr<ChildProcess>& p) { return p.get() == &process; });
  };
  for (const bool grabbing : {true, false}) {
    ChildProcess& ended = [this]() -> ChildProcess& {
      const LeakCheckOff off;
      return Connected({1, 0x20});
    }();
    if (grabbing) {
      ASSERT_EQ(Ask(ended, "start 0 0xFFFFFFFF"), "start 0");
      ASSERT_GE(TransferCalls(ended, 2).size(), 2u);
    }
    ended.write_line("exit");
    EXPECT_EQ(ended.wait(std::chrono::seconds(60)), 0) << grabbing;
    gone(ended);

    ChildProcess& next = Connected({1, 0x20});
    ASSERT_EQ(Ask(next, "start 0 2"), "start 0");
    ASSERT_EQ(Ask(next, "wait 0 30000"), "wait 0") << grabbing;
    EXPECT_EQ(Image(next, 1), Frame(1)) << grabbing;
    EXPECT_EQ(Ask(next, "release 0"), "release 0");
    EXPECT_EQ(Ask(probe, "free 0 0"), memory) << grabbing;
    EXPECT_EQ(Ask(probe, "matrix 0"), matrix) << grabbing;
    gone(next);
  }
}

}  // namespace
