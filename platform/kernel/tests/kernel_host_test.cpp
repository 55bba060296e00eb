// The kernel host end to end: a real kernel-host process with the test
// driver and simulated boards, and client processes talking to the driver.
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/support/machine_log.h"
#include "platform/testing/board_control.h"
#include "platform/testing/child_process.h"
#include "platform/testing/kernel_host.h"
#include "platform/testing/machine_fixture.h"

namespace {

using plat::testing::ChildProcess;
using plat::testing::KernelHostProcess;
using plat::testing::machine_log_shows;
using namespace std::chrono_literals;

class KernelHost : public ::testing::Test {
 protected:
  void start(const std::vector<std::string>& boards) {
    host_ = std::make_unique<KernelHostProcess>(boards, "TestDrv.SYS");
    ASSERT_TRUE(host_->ready());
  }

  void TearDown() override {
    if (host_) {
      EXPECT_EQ(host_->stop(), 0);
    }
  }

  std::unique_ptr<ChildProcess> client() {
    auto c = std::make_unique<ChildProcess>("plat-helper-kernel-client", std::vector<std::string>{});
    EXPECT_EQ(c->read_line(), "ready");
    return c;
  }

  static std::string ask(ChildProcess& c, const std::string& command) {
    c.write_line(command);
    return c.read_line(30s);
  }

  plat::testing::ScopedMachine machine_;
  std::unique_ptr<KernelHostProcess> host_;
};

TEST_F(KernelHost, DeviceControlOutputIsZeroFilledAndCopiedWithItsCount) {
  start({"FolvantX4Full"});
  auto wide = client();
  ASSERT_EQ(ask(*wide, "open"), "opened");
  EXPECT_EQ(ask(*wide, "whoami 40"),
            "whoami returned=40 pid_ok=1 start_ok=1 width=0 opener_ok=1 opener_width=0 zero_tail=1 untouched=1");
  auto narrow = client();
  ASSERT_EQ(ask(*narrow, "width32"), "ok");
  ASSERT_EQ(ask(*narrow, "open"), "opened");
  EXPECT_EQ(ask(*narrow, "whoami 64"),
            "whoami returned=64 pid_ok=1 start_ok=1 width=1 opener_ok=1 opener_width=1 zero_tail=1 untouched=1");
}

TEST_F(KernelHost, BoardInterruptReachesTheClientsEventThroughIsrAndDpc) {
  start({"FolvantX4Full"});
  auto c = client();
  ASSERT_EQ(ask(*c, "open"), "opened");
  ASSERT_EQ(ask(*c, "event"), "event-registered");
  // A pending status does not interrupt while the master enable is off.
  ASSERT_EQ(plat::testing::board_control_raise_status(0, 0x408, 0x1), plat::board::kControlOk);
  EXPECT_EQ(ask(*c, "wait-event 100"), "event-timeout");
  // The driver's write of the master enable lets the board raise its line.
  ASSERT_EQ(ask(*c, "write-reg 0 42c 1"), "ok");
  EXPECT_EQ(ask(*c, "wait-event 30000"), "event-signalled");
  std::string counters = ask(*c, "counters");
  EXPECT_EQ(counters.rfind("counters claimed=1 under_lock=1 dpc=1", 0), 0u) << counters;
  bool asserted = true;
  ASSERT_EQ(plat::testing::board_control_interrupt_asserted(0, &asserted), plat::board::kControlOk);
  EXPECT_FALSE(asserted);
}

TEST_F(KernelHost, KilledClientGetsACloseForEachOpenAndOthersGoOn) {
  start({"FolvantX4Full"});
  auto doomed = client();
  ASSERT_EQ(ask(*doomed, "open"), "opened");
  ASSERT_EQ(ask(*doomed, "open"), "opened");
  std::string pid = ask(*doomed, "pid").substr(4);
  doomed->kill_hard();
  std::string closed = "TestDrv close pid " + pid;
  EXPECT_TRUE(machine_log_shows({closed, closed}));
  auto other = client();
  ASSERT_EQ(ask(*other, "open"), "opened");
  EXPECT_EQ(ask(*other, "whoami 24").rfind("whoami returned=24 pid_ok=1", 0), 0u);
}

TEST_F(KernelHost, DriverCopiesClientMemoryAndABadAddressFailsThatRequestOnly) {
  start({"FolvantX4Full"});
  auto c = client();
  ASSERT_EQ(ask(*c, "open"), "opened");
  EXPECT_EQ(ask(*c, "copy"), "copy good=1 bad_source_failed=1 bad_destination_failed=1");
  EXPECT_EQ(ask(*c, "whoami 24").rfind("whoami returned=24 pid_ok=1", 0), 0u);
}

TEST_F(KernelHost, ContiguousMemoryOfTheDriverIsVisibleInTheClient) {
  start({"FolvantX4Full"});
  auto c = client();
  ASSERT_EQ(ask(*c, "open"), "opened");
  EXPECT_EQ(ask(*c, "contig 65536"), "contig same=1 below4g=1");
}

TEST_F(KernelHost, BufferLockedThroughQelmemReceivesBoardDma) {
  start({"FolvantX4Full"});
  auto c = client();
  ASSERT_EQ(ask(*c, "open"), "opened");
  std::string locked = ask(*c, "lock 10000 100");
  ASSERT_EQ(locked.rfind("locked pages=3 total=10000 bus0=0x", 0), 0u) << locked;
  std::uint64_t bus0 = std::strtoull(locked.substr(locked.find("0x")).c_str(), nullptr, 16);
  const std::string text = "hello-dma";
  auto bytes = std::as_bytes(std::span(text.data(), text.size()));
  // Across the first page boundary of the buffer.
  ASSERT_EQ(plat::testing::board_control_dma_write(0, bus0 + 3990, bytes), plat::board::kControlOk);
  EXPECT_EQ(ask(*c, "check-locked 4090 hello-dma"), "buffer-matches");
  EXPECT_EQ(ask(*c, "unlock"), "unlocked");
  EXPECT_NE(plat::testing::board_control_dma_write(0, bus0, bytes), plat::board::kControlOk);
}

TEST_F(KernelHost, DriverLogLinesReachTheMachineLog) {
  start({"FolvantX4Full"});
  auto c = client();
  ASSERT_EQ(ask(*c, "open"), "opened");
  ASSERT_EQ(ask(*c, "log hello from a test"), "logged");
  EXPECT_TRUE(machine_log_shows({"TestDrv.SYS", "TestDrv says: hello from a test"}));
}

TEST_F(KernelHost, BoardRemovedThroughControlGetsSurpriseRemovalThenRemove) {
  start({"FolvantX4Full", "FolvantX4Dual"});
  EXPECT_TRUE(machine_log_shows({"TestDrv start board 0", "TestDrv start board 1"}));
  ASSERT_EQ(plat::testing::board_control_remove(1), plat::board::kControlOk);
  EXPECT_TRUE(machine_log_shows({"TestDrv surprise removal board 1", "TestDrv remove board 1"}));
  auto c = client();
  ASSERT_EQ(ask(*c, "open"), "opened");
  ASSERT_EQ(ask(*c, "write-reg 0 42c 0"), "ok");
  EXPECT_EQ(ask(*c, "write-reg 1 42c 0"), "failed");
}

TEST_F(KernelHost, PoolADriverLeavesBehindIsReportedAtUnload) {
  start({"FolvantX4Full"});
  auto c = client();
  ASSERT_EQ(ask(*c, "open"), "opened");
  ASSERT_EQ(ask(*c, "leak"), "leaked");
  EXPECT_EQ(host_->stop(), 0);
  host_.reset();
  EXPECT_TRUE(machine_log_shows({"driver TestDrv.SYS leaked pool: tag 'TstX', 4000 bytes"}));
}

TEST(KernelHostStart, DriverThatIsMissingEndsTheHostWithCode1) {
  plat::testing::ScopedMachine machine;
  ChildProcess host("kernel-host", {"--machine", machine.dir(), "--board", "FolvantX4Full", "--driver", "Nothing.SYS"});
  EXPECT_EQ(host.wait(60s), 1);
}

}  // namespace
