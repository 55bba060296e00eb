// Shared pieces of the board library's tests: a fresh machine with the
// driver directory, a kernel host with chosen boards, helper processes that
// load the library, and waits on the machine log.
#pragma once

#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/support/machine_log.h"
#include "platform/testing/child_process.h"
#include "platform/testing/kernel_host.h"
#include "platform/testing/machine_fixture.h"

namespace pardow_test {

using namespace std::chrono_literals;
using plat::testing::ChildProcess;

inline constexpr const char* kOptionsFile = "Yat_Tramond-CL_RZ6_Config.ini";

class PardowMachine : public ::testing::Test {
 protected:
  void SetUp() override {
    plat::testing::make_driver_directory(machine_);
  }

  void TearDown() override {
    clients_.clear();
    stop_host();
    ::unsetenv("YATFOLVA4XDIR");
  }

  void start_host(const std::vector<std::string>& boards, const std::string& driver = "Stavro.SYS") {
    host_ = std::make_unique<plat::testing::KernelHostProcess>(boards, driver);
    ASSERT_TRUE(host_->ready());
  }

  void stop_host() {
    if (!host_) return;
    EXPECT_EQ(host_->stop(), 0);
    host_.reset();
  }

  // A process that loads the library and answers commands.
  ChildProcess& client() {
    clients_.push_back(std::make_unique<ChildProcess>("pardow-helper-client", std::vector<std::string>{}));
    EXPECT_EQ(clients_.back()->read_line(60s), "ready");
    return *clients_.back();
  }

  static std::string ask(ChildProcess& c, const std::string& command) {
    c.write_line(command);
    return c.read_line(60s);
  }

  static void finish(ChildProcess& c) {
    c.write_line("exit");
    EXPECT_EQ(c.wait(60s), 0);
  }

  // The options file the library reads: "<YATFOLVA4XDIR>\\<file>".
  std::string options_file() const { return machine_.path("driver") + "/" + kOptionsFile; }

  // Names the firmware file configured for a key of the default firmware
  // keys ("XIO Firmware File", ...), as an earlier firmware update leaves it.
  void configure_firmware_file(const std::string& sectionKey, const std::string& path) {
    const std::string file = options_file();
    plat::testing::write_file(file, plat::testing::read_file(file) +
                                        "[HKEY_LOCAL_MACHINE\\Software\\Marvanti Brenk\\Yat Tramond-CL RZ6 Device "
                                        "Driver\\Firmware\\Default\\" +
                                        sectionKey + "]\nFileName=" + path + "\n");
  }

  // Waits until the machine log holds every text, in that order.
  static bool log_shows(const std::vector<std::string>& texts) { return plat::testing::machine_log_shows(texts); }

  static std::size_t log_count(const std::string& text) {
    const std::string log = plat::support::read_machine_log();
    std::size_t count = 0;
    for (std::size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + text.size())) ++count;
    return count;
  }

  plat::testing::ScopedMachine machine_;
  std::unique_ptr<plat::testing::KernelHostProcess> host_;
  std::vector<std::unique_ptr<ChildProcess>> clients_;
};

}  // namespace pardow_test
