// A client on the road of the SDK's users for the acquisition tests:
// quillet-helper-acqclient serving its boards from the server driver built
// into it, every request sent through "QelApi.dll", on a machine of preset
// boards (acq_apply_fixture.h).
#pragma once

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "driver/user/tests/helper_support.h"
#include "source/QelAPI/QelHandle.h"
#include "source/QelAcq/tests/acq_apply_fixture.h"
#include "source/firmware/tests/road_test_support.h"

namespace acq_device_test {

using road_test::Quad;
using road_test::Word;

struct Answer {
  std::uint32_t status = 0xFFFFFFFF;
  std::string payload;
};

inline std::uint32_t WordAt(const std::string& hex, std::size_t byte) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | std::stoul(hex.substr(2 * (byte + i), 2), nullptr, 16);
  return value;
}

inline std::string Hex(const std::vector<std::uint8_t>& bytes) { return helper::Hex(bytes.data(), bytes.size()); }

inline constexpr std::uint32_t kWindowWidth = 64, kWindowLines = 8;

class AcqClientRoad : public AcqApply {
 protected:
  void TearDown() override {
    client_.reset();  // the SDK's threads are still serving: the process is ended
    AcqApply::TearDown();
  }

  void StartClient() {
    client_ = std::make_unique<ChildProcess>("quillet-helper-acqclient", std::vector<std::string>{});
    ASSERT_EQ(client_->read_line(60s), "ready");
    ASSERT_EQ(Ask(*client_, "host"), "host 0");
  }

  Answer Send(std::uint32_t board, std::uint32_t command, const std::string& hex) {
    std::istringstream in(Ask(*client_, "send " + std::to_string(board) + " " + std::to_string(command) + " " + hex));
    std::string word, sent, status;
    Answer answer;
    in >> word >> sent >> status >> answer.payload;
    if (word == "answer" && sent == "0") answer.status = static_cast<std::uint32_t>(std::stoul(status));
    return answer;
  }
  static std::string Server(std::uint32_t board) {
    return Word(0x01DE0000 | ((board + 1) << 8)) + Word(0) + Word(0) + Quad(0) + Word(kQelTagServer) + Quad(0);
  }
  // A device of the board (device 0 unless named), opened with a kWindowWidth x kWindowLines window.
  std::string Device(std::uint32_t board, std::uint32_t device = 0) {
    const Answer opened = Send(board, 4001, Server(board) + Word(device));
    EXPECT_EQ(opened.status, 0u);
    const std::string handle = opened.payload.substr(0, 64);
    // The window first, then the camera's line and lines it must fit in.
    const std::pair<std::uint32_t, std::uint32_t> window[] = {
        {2067, kWindowWidth}, {10, kWindowWidth}, {2068, kWindowLines}, {12, kWindowLines}};
    for (const auto& [index, value] : window)
      EXPECT_EQ(Send(board, 4006, handle + Word((index << 16) | 4) + Word(value)).status, 0u) << index;
    return handle;
  }

  std::unique_ptr<ChildProcess> client_;
};

}  // namespace acq_device_test
