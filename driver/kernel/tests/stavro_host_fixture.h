// The driver through the real path: a kernel-host process loads "Stavro.SYS"
// with one board of each model, and the test process is a client of the
// control device "\\.\STAVRO".
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <iostream>
#include <memory>
#include <vector>

#include "driver/kernel/YatIoctl.h"
#include "driver/user/QelHwStatus.h"
#include "platform/support/machine_log.h"
#include "platform/testing/kernel_host.h"
#include "platform/testing/machine_fixture.h"
#include "platform/win/device.h"

// One answer of the driver: the status word and the whole output.
struct StavroReply {
  bool ok = false;              // the request itself succeeded
  std::uint32_t returned = 0;   // bytes the driver reported
  std::int32_t status = 0;      // the status word
  std::vector<std::uint8_t> bytes;

  std::uint32_t Word(std::size_t at) const {
    std::uint32_t value = 0;
    if (at + 4 <= bytes.size()) std::memcpy(&value, bytes.data() + at, 4);
    return value;
  }
};

class StavroHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host_ = std::make_unique<plat::testing::KernelHostProcess>(
        std::vector<std::string>{"FolvantX4Full", "FolvantX4Dual"});
    ASSERT_TRUE(host_->ready());
    device_ = plat::open_device("\\\\.\\STAVRO");
    ASSERT_NE(device_, plat::kNullHandle);
  }

  void TearDown() override {
    if (device_ != plat::kNullHandle) plat::close_device(device_);
    plat::set_device_caller_width(false);
    if (host_) {
      EXPECT_EQ(host_->stop(), 0);
    }
  }

  // A request that is expected to complete: its failures travel in the status word.
  StavroReply AskBytes(std::uint32_t code, const void* input, std::uint32_t inputSize,
                       std::uint32_t outputSize) {
    StavroReply reply;
    reply.bytes.assign(outputSize, 0xEE);
    reply.ok = plat::device_io_control(device_, code, input, inputSize, reply.bytes.data(), outputSize,
                                       &reply.returned);
    EXPECT_TRUE(reply.ok) << "request 0x" << std::hex << code << " failed";
    reply.status = static_cast<std::int32_t>(reply.Word(0));
    return reply;
  }

  template <typename Record>
  StavroReply Ask(std::uint32_t code, const Record& input, std::uint32_t outputSize) {
    return AskBytes(code, &input, sizeof input, outputSize);
  }

  static YatIocHeader Board(std::uint32_t index) { return YatIocHeader{YAT_IOC_TARGET_BOARD, index}; }

  plat::testing::ScopedMachine machine_;
  std::unique_ptr<plat::testing::KernelHostProcess> host_;
  plat::Handle device_ = plat::kNullHandle;
};

// Board 0 with its register map built (the library's open does that; here
// the test does); a failing test prints the machine's log.
class StavroBoardTest : public StavroHostTest {
 protected:
  void SetUp() override {
    StavroHostTest::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_EQ(Ask(YAT_IOCTRL_INIT_RESOURCE_MANAGER, Board(0), 4).status, QELHW_OK);
  }
  void TearDown() override {
    if (HasFailure()) std::cout << plat::support::read_machine_log();
    StavroHostTest::TearDown();
  }
};
