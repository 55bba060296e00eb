// A machine with preset boards for the acquisition device tests: each board's
// main EEPROM and firmware options set before the kernel host starts, and
// helper processes (quillet-helper-acqdevices) that start the devices.
#pragma once

#include <gtest/gtest.h>

#include <stdlib.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/board/eeprom_images.h"
#include "platform/support/machine_log.h"
#include "platform/testing/board_control.h"
#include "platform/testing/board_startup.h"
#include "platform/testing/child_process.h"
#include "platform/testing/kernel_host.h"
#include "platform/testing/machine_fixture.h"

namespace acq_device_test {

using namespace std::chrono_literals;
using plat::testing::ChildProcess;

// A board as a test wants it: the model (its flash and bus identity), the
// EEPROM's model code and option bytes, the firmware's option bits F.
struct BoardPreset {
  std::string model = "FolvantX4Dual";
  std::optional<std::uint16_t> modelCode;
  std::optional<std::uint8_t> extension;  // EEPROM byte 12
  std::optional<std::uint16_t> drawing;   // EEPROM word at byte 2
  std::uint16_t firmwareOptions = 0;
  std::vector<std::pair<std::uint32_t, std::uint8_t>> bytes;  // any other EEPROM byte
};

inline BoardPreset Model(std::uint16_t code, std::uint16_t options = 0) {
  BoardPreset preset;
  preset.modelCode = code;
  preset.firmwareOptions = options;
  return preset;
}

inline BoardPreset OneConnector(std::uint16_t options) {
  BoardPreset preset = Model(1, options);
  preset.extension = 0x01;
  preset.drawing = 0x816;
  return preset;
}

inline BoardPreset Factory(const char* model) {
  BoardPreset preset;
  preset.model = model;
  return preset;
}

inline void Put16(plat::board::EepromImage& image, std::uint32_t offset, std::uint16_t value) {
  image[offset] = static_cast<std::uint8_t>(value);
  image[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

class AcqDevices : public ::testing::Test {
 protected:
  void SetUp() override {
    plat::testing::make_driver_directory(machine_);
  }
  void TearDown() override {
    for (auto& helper : helpers_) {
      helper->write_line("quit");
      EXPECT_EQ(helper->wait(30s), 0);
    }
    helpers_.clear();
    if (host_) {
      EXPECT_EQ(host_->stop(), 0);
    }
    ::unsetenv("YATFOLVA4XDIR");
  }

  // Presets the boards (board i = presets[i]) and starts the kernel host.
  void StartBoards(const std::vector<BoardPreset>& presets) {
    std::vector<std::string> models;
    for (std::size_t i = 0; i < presets.size(); ++i) {
      const BoardPreset& p = presets[i];
      plat::board::BoardStartup startup = plat::testing::factory_startup(p.model, static_cast<int>(i));
      if (p.modelCode) Put16(startup.main_eeprom, plat::board::kEepromModelOffset, *p.modelCode);
      if (p.extension) startup.main_eeprom[12] = *p.extension;
      if (p.drawing) Put16(startup.main_eeprom, 2, *p.drawing);
      for (const auto& [offset, value] : p.bytes) startup.main_eeprom[offset] = value;
      startup.firmware_options = p.firmwareOptions;
      ASSERT_TRUE(plat::testing::preset_board(p.model, static_cast<int>(i), startup));
      models.push_back(p.model);
    }
    host_ = std::make_unique<plat::testing::KernelHostProcess>(models);
    ASSERT_TRUE(host_->ready());
  }

  // A process that loaded the board library; "ready 0" once it opened.
  ChildProcess& Helper(const char* program = "quillet-helper-acqdevices") {
    helpers_.push_back(std::make_unique<ChildProcess>(program, std::vector<std::string>{}));
    EXPECT_EQ(helpers_.back()->read_line(60s), "ready 0");
    return *helpers_.back();
  }
  static std::string Ask(ChildProcess& helper, const std::string& line) {
    helper.write_line(line);
    return helper.read_line(60s);
  }
  // A helper that has started the devices.
  ChildProcess& StartedHelper() {
    ChildProcess& helper = Helper();
    const std::string started = Ask(helper, "start");
    EXPECT_EQ(started.rfind("started", 0), 0u) << started;
    return helper;
  }

  static std::string Log() { return plat::support::read_machine_log(); }
  // The machine log's lines that hold `text`.
  static std::vector<std::string> LogLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream log(Log());
    for (std::string line; std::getline(log, line);)
      if (line.find(text) != std::string::npos) lines.push_back(line);
    return lines;
  }

  plat::testing::ScopedMachine machine_;
  std::unique_ptr<plat::testing::KernelHostProcess> host_;
  std::vector<std::unique_ptr<ChildProcess>> helpers_;
};

}  // namespace acq_device_test
