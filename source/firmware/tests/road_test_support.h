// The road of the SDK's users for the server driver's tests: a fresh machine
// with a "Full" and a "Dual" board, the driver directory, the SDK configured
// to load the device-control module "Ormel.VKM", and helper processes that
// use the SDK (quillet-helper-road).
#pragma once

#include <gtest/gtest.h>

#include <stdlib.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "driver/user/tests/helper_support.h"
#include "platform/sdk/qelapi.h"
#include "platform/support/machine_log.h"
#include "platform/testing/child_process.h"
#include "platform/testing/kernel_host.h"
#include "platform/testing/machine_fixture.h"
#include "platform/win/registry.h"

namespace road_test {

using namespace std::chrono_literals;
using plat::testing::ChildProcess;

inline std::string AskLine(ChildProcess& process, const std::string& line) {
  process.write_line(line);
  return process.read_line(60s);
}

class Road : public ::testing::Test {
 protected:
  void SetUp() override {
    plat::testing::make_driver_directory(machine_);
    ConfigureModule("Ormel.VKM");
    host_ = std::make_unique<plat::testing::KernelHostProcess>(std::vector<std::string>{"FolvantX4Full", "FolvantX4Dual"});
    ASSERT_TRUE(host_->ready());
  }

  void TearDown() override {
    processes_.clear();
    if (host_) {
      EXPECT_EQ(host_->stop(), 0);
    }
    ::unsetenv("YATFOLVA4XDIR");
  }

  static void ConfigureModule(const char* file) {
    plat::RegistryKey* key = nullptr;
    ASSERT_EQ(plat::reg_create_key(plat::RegistryRoot::kLocalMachine, qelapi::kModulesKey, &key), 0u);
    plat::reg_set_value(key, "Tramond-CL_RZ6", plat::kRegSz, file, static_cast<std::uint32_t>(std::strlen(file) + 1));
    plat::reg_close_key(key);
  }

  // A helper process (the first reply is awaited).
  ChildProcess& Start(const std::string& program = "quillet-helper-road") {
    processes_.push_back(std::make_unique<ChildProcess>(program, std::vector<std::string>{}));
    EXPECT_EQ(processes_.back()->read_line(60s), "ready");
    return *processes_.back();
  }

  static std::string Ask(ChildProcess& process, const std::string& line) { return AskLine(process, line); }

  static bool Logged(const std::string& text) {
    return plat::support::read_machine_log().find(text) != std::string::npos;
  }

  static bool LogShows(const std::vector<std::string>& texts) { return plat::testing::machine_log_shows(texts, 30s); }

  plat::testing::ScopedMachine machine_;
  std::unique_ptr<plat::testing::KernelHostProcess> host_;
  std::vector<std::unique_ptr<ChildProcess>> processes_;
};

// Little-endian hex of 32-bit and 64-bit words, for request payloads.
inline std::string Word(std::uint32_t value) {
  std::uint8_t bytes[4];
  std::memcpy(bytes, &value, sizeof bytes);
  return helper::Hex(bytes, sizeof bytes);
}

// Hex of text bytes, `size` of them (zeros after the text).
inline std::string TextField(const std::string& text, std::size_t size) {
  std::string padded = text.substr(0, size);
  padded.resize(size, '\0');
  return helper::Hex(reinterpret_cast<const std::uint8_t*>(padded.data()), padded.size());
}

inline std::string Quad(std::uint64_t value) {
  return Word(static_cast<std::uint32_t>(value)) + Word(static_cast<std::uint32_t>(value >> 32));
}

}  // namespace road_test
