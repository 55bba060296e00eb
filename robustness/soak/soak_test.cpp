// The kill soak: client processes grab through the board library (open it,
// take on-board memory, build and start transfers, claim channels, wait for
// frames) and are killed with SIGKILL at random moments. Afterwards 16
// processes open the library at once, every region of on-board memory can be
// had whole, no client page stays locked, a grab gives every frame and the
// kernel host stops cleanly.
//
// QEL_SOAK_KILLS (default 20) kills at least, for QEL_SOAK_SECONDS (default 0)
// at least; QEL_SOAK_SEED repeats a run's random moments.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/board/control_protocol.h"
#include "platform/testing/board_control.h"
#include "platform/testing/child_process.h"
#include "platform/testing/kernel_host.h"
#include "platform/testing/machine_fixture.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using plat::testing::ChildProcess;

constexpr int kWorkers = 3;
constexpr int kHolders = 16;
constexpr int kKilledCode = 128 + 9;
constexpr auto kLongestLife = 2000ms;  // a worker is killed within this of its start

std::uint64_t Setting(const char* name, std::uint64_t fallback) {
  const char* text = std::getenv(name);
  return text != nullptr && *text != '\0' ? std::strtoull(text, nullptr, 10) : fallback;
}

struct Worker {
  std::unique_ptr<ChildProcess> process;
  Clock::time_point killAt;
};

class KillSoak : public ::testing::Test {
 protected:
  void SetUp() override {
    plat::testing::make_driver_directory(machine_);
    host_ = std::make_unique<plat::testing::KernelHostProcess>(std::vector<std::string>{"FolvantX4Full", "FolvantX4Dual"});
    ASSERT_TRUE(host_->ready());
    images_ = machine_.path("images");
    std::filesystem::create_directories(images_);
  }
  void TearDown() override { ::unsetenv("YATFOLVA4XDIR"); }

  void Start(Worker& worker, std::mt19937_64& random) {
    std::uniform_int_distribution<long> life(0, kLongestLife.count());
    worker.process = std::make_unique<ChildProcess>("pardow-grab", std::vector<std::string>{images_, "2"});
    worker.killAt = Clock::now() + std::chrono::milliseconds(life(random));
  }

  static std::uint32_t LockedBuffers() {
    std::uint32_t count = 0xFFFFFFFF;
    plat::testing::board_control_locked_buffers(&count);
    return count;
  }

  // The memory driver's locks come back as the killed processes' closes run.
  static bool NoPageLocked() {
    for (auto deadline = Clock::now() + 60s; Clock::now() < deadline; std::this_thread::sleep_for(50ms))
      if (LockedBuffers() == 0) return true;
    return false;
  }

  plat::testing::ScopedMachine machine_;
  std::unique_ptr<plat::testing::KernelHostProcess> host_;
  std::string images_;
};

TEST_F(KillSoak, KilledClientsLeaveTheDriverWhole) {
  const std::uint64_t wantedKills = Setting("QEL_SOAK_KILLS", 20);
  const auto wantedTime = std::chrono::seconds(Setting("QEL_SOAK_SECONDS", 0));
  const std::uint64_t seed = Setting("QEL_SOAK_SEED", std::random_device{}());
  std::cout << "soak seed " << seed << std::endl;
  std::mt19937_64 random(seed);

  std::vector<Worker> workers(kWorkers);
  for (Worker& worker : workers) Start(worker, random);
  std::uint64_t kills = 0, finished = 0;
  const auto began = Clock::now();
  while (kills < wantedKills || Clock::now() - began < wantedTime) {
    Worker* next = &workers[0];
    for (Worker& worker : workers)
      if (worker.killAt < next->killAt) next = &worker;
    std::this_thread::sleep_until(next->killAt);  // the random moment itself, not a wait for anything
    next->process->kill_hard();
    (next->process->wait(60s) == kKilledCode ? kills : finished) += 1;
    Start(*next, random);
  }
  for (Worker& worker : workers) worker.process->kill_hard();
  std::cout << "soak: " << kills << " kills, " << finished << " grabs ended before their kill, "
            << std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - began).count() << " s" << std::endl;

  EXPECT_TRUE(NoPageLocked()) << LockedBuffers() << " client buffers still locked";

  std::vector<std::unique_ptr<ChildProcess>> holders;
  for (int i = 0; i < kHolders; ++i)
    holders.push_back(std::make_unique<ChildProcess>("qel-soak-check", std::vector<std::string>{"hold"}));
  for (auto& holder : holders) EXPECT_EQ(holder->read_line(120s), "opened 0");
  for (auto& holder : holders) holder->write_line("close");
  for (auto& holder : holders) {
    EXPECT_EQ(holder->read_line(120s), "closed 0");
    EXPECT_EQ(holder->wait(60s), 0);
  }

  ChildProcess memory("qel-soak-check", {"memory"});
  EXPECT_TRUE(memory.wait_for_line("memory whole", 120s));
  EXPECT_EQ(memory.wait(60s), 0);

  ChildProcess grab("pardow-grab", {images_, "2"});
  EXPECT_EQ(grab.wait(120s), 0);
  EXPECT_TRUE(NoPageLocked());
  EXPECT_EQ(host_->stop(), 0);
}

}  // namespace
