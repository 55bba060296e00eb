// Many processes on the driver at once, some of them killed: the kernel host
// answers throughout, every process finishes, and what the processes held
// (host-buffer locks, on-board memory, transfers) is all given back.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "driver/kernel/tests/host_pinger.h"
#include "driver/kernel/tests/stavro_host_fixture.h"
#include "driver/user/QelHwStatus.h"
#include "platform/board/control_protocol.h"
#include "platform/support/machine_log.h"
#include "platform/testing/board_control.h"
#include "platform/testing/child_process.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using stavro_test::Pinger;
using plat::testing::ChildProcess;

constexpr std::uint32_t kRegionBytes = 8u << 20;  // 64 MB in 8 regions
constexpr std::uint32_t kRegions = 8;

class StavroStress : public StavroBoardTest {
 protected:

  static std::unique_ptr<ChildProcess> Start(const std::string& role, std::chrono::milliseconds lasting) {
    auto child = std::make_unique<ChildProcess>("stavro-helper-stress",
                                                std::vector<std::string>{role, std::to_string(lasting.count())});
    EXPECT_EQ(child->read_line(60s), "ready") << role;
    return child;
  }

  // "done <rounds> <failures>" and a clean exit.
  static void Finished(ChildProcess& child, const std::string& role) {
    const std::string line = child.read_line(30s);
    std::istringstream in(line);
    std::string word;
    unsigned rounds = 0;
    in >> word >> rounds;
    EXPECT_EQ(word, "done") << role << ": " << line;
    EXPECT_GT(rounds, 0u) << role;
    EXPECT_EQ(child.wait(30s), 0) << role;
  }

  static std::uint32_t LockedBuffers() {
    std::uint32_t count = 0xFFFFFFFF;
    EXPECT_EQ(plat::testing::board_control_locked_buffers(&count), plat::board::kControlOk);
    return count;
  }

  // The memory driver's locks come back as the killed processes' closes run.
  static bool LocksBackTo(std::uint32_t count) {
    for (auto deadline = Clock::now() + 20s; Clock::now() < deadline; std::this_thread::sleep_for(20ms))
      if (LockedBuffers() == count) return true;
    return false;
  }

  std::uint32_t TransferHandles() {
    std::uint8_t list[4 + 8 * 64] = {};
    StavroReply reply = AskBytes(YAT_IOCTRL_DBG_GET_XFER_HANDLES, nullptr, 0, sizeof list);
    std::uint32_t count = 0;
    for (std::size_t at = 4; at + 8 <= reply.bytes.size(); at += 8)
      if (reply.Word(at) != 0 || reply.Word(at + 4) != 0) ++count;
    return count;
  }

  // Every region of bank 0 can be had whole: nothing in it is still held.
  void EveryRegionFree() {
    std::vector<std::uint32_t> taken;
    for (std::uint32_t region = 0; region < kRegions; ++region) {
      StavroReply reply = Ask(YAT_IOCTRL_ALLOC_FPGA_MEM, YatIocAllocFpgaMemIn{Board(0), region, kRegionBytes, 0}, 12);
      EXPECT_EQ(reply.status, QELHW_OK) << "region " << region;
      if (reply.status == QELHW_OK) taken.push_back(reply.Word(4));
    }
    for (std::uint32_t address : taken)
      EXPECT_EQ(Ask(YAT_IOCTRL_FREE_FPGA_MEM, YatIocFreeFpgaMemIn{Board(0), address, 0}, 4).status, QELHW_OK);
  }
};

TEST_F(StavroStress, OverlappingProcessesAreAnsweredAndLeaveNothingBehind) {
  const std::uint32_t locksBefore = LockedBuffers();
  Pinger pinger;
  std::vector<std::pair<std::string, std::unique_ptr<ChildProcess>>> helpers;
  // The managers stop first, so that the transfers after them (and the
  // processes killed while they hold some) use the allocator the final check
  // looks at.
  for (int i = 0; i < 2; ++i) helpers.emplace_back("managers", Start("managers", 1500ms));
  for (int i = 0; i < 3; ++i) helpers.emplace_back("transfers", Start("transfers", 4000ms));
  helpers.emplace_back("messages", Start("messages", 3500ms));
  helpers.emplace_back("churn", Start("churn", 3500ms));
  std::this_thread::sleep_for(1600ms);
  std::vector<std::unique_ptr<ChildProcess>> victims;
  for (int i = 0; i < 3; ++i) victims.push_back(Start("transfers", 60000ms));
  std::uint32_t mostLocked = 0;
  for (auto& victim : victims) {
    std::this_thread::sleep_for(600ms);
    mostLocked = std::max(mostLocked, LockedBuffers());
    victim->kill_hard();
  }
  for (auto& [role, child] : helpers) Finished(*child, role);
  pinger.Stop();

  EXPECT_GT(mostLocked, locksBefore);  // the killed processes held buffers
  EXPECT_EQ(pinger.Failures(), 0u);
  EXPECT_GT(pinger.Answers(), 10u);
  EXPECT_LT(pinger.Slowest(), 5s);
  EXPECT_TRUE(LocksBackTo(locksBefore)) << LockedBuffers() << " buffers still locked";
  EXPECT_EQ(TransferHandles(), 0u);
  EveryRegionFree();
}

// The register map's rebuild, the main FPGA's load and the reload from flash
// from three processes at once: each is served in turn, the host survives.
TEST_F(StavroStress, ConfigurationRequestsOfThreeProcessesTakeTurns) {
  Pinger pinger;
  std::vector<std::unique_ptr<ChildProcess>> helpers;
  for (int i = 0; i < 3; ++i) helpers.push_back(Start("config", 3000ms));
  for (auto& child : helpers) Finished(*child, "config");
  pinger.Stop();
  EXPECT_EQ(pinger.Failures(), 0u);
  EXPECT_LT(pinger.Slowest(), 5s);
  EXPECT_EQ(Ask(YAT_IOCTRL_INIT_RESOURCE_MANAGER, Board(0), 4).status, QELHW_OK);
}

}  // namespace
