// An acquisition device's board-private commands through commands 4012 and
// 4013 on the road of the SDK's users (acq_client_fixture.h), on a board whose
// firmware offers the register bank, its block write and the processing
// kernel. Blocks named by address lie in the client, which is the server's
// process on this road.
#include "source/QelAcq/tests/acq_client_fixture.h"

namespace acq_device_test {
namespace {

constexpr std::uint16_t kFirmware = 1u << 5 | 1u << 15 | 1u << 7;  // bank, bank block, kernel
constexpr std::uint32_t kRead = 4012, kWrite = 4013;

struct Case {
  std::uint32_t sdk;        // 4012 or 4013
  std::uint32_t command;
  std::string in;           // the input bytes as hex
  std::uint32_t outSize;
  std::uint32_t status;
  std::string out;          // what the output begins with, as hex
};

class AcqPrivateRoad : public AcqClientRoad {
 protected:
  // A block of 32-bit words in the client; its address as hex.
  std::string Block(const std::string& words) {
    std::istringstream in(Ask(*client_, "block " + words));
    std::string word;
    std::uint64_t address = 0;
    in >> word >> address;
    EXPECT_EQ(word, "block");
    return Quad(address);
  }
  void Run(const std::string& device, const std::vector<Case>& cases) {
    for (const Case& c : cases) {
      const std::string request = device + Word(c.command) + Word(static_cast<std::uint32_t>(c.in.size() / 2)) +
                                  Word(c.outSize) + c.in;
      const Answer answer = Send(0, c.sdk, request);
      EXPECT_EQ(answer.status, c.status) << c.sdk << " " << c.command << " " << c.in;
      EXPECT_EQ(answer.payload.substr(0, c.out.size()), c.out) << c.sdk << " " << c.command << " " << c.in;
    }
  }
};

TEST_F(AcqPrivateRoad, CustomAndPrivateCommandsThroughTheSdk) {
  BoardPreset board = Factory("FolvantX4Dual");
  board.firmwareOptions = kFirmware;
  StartBoards({board});
  StartClient();
  const std::string device = Device(0);
  const std::string badPairs = Block("1 11 c 22 2 33"), goodPairs = Block("1 11 2 33");
  const std::string kernel = Block("0 1111 d dddd 1 22222222");
  Run(device, {
      // The register bank, and index 10 refused after it lands in the output.
      {kRead, 265, Word(3) + Word(0xABCD1234), 0, 0, ""},
      {kRead, 264, Word(3) + Word(0), 8, 0, Word(3) + Word(0xABCD1234)},
      {kRead, 264, Word(10) + Word(0), 8, 0x32A, Word(10)},
      {kRead, 265, Word(10) + Word(1), 0, 0x32A, ""},
      // A block with one bad index writes nothing; a good one writes all.
      {kRead, 272, Word(3) + badPairs + Word(0), 0, 0x32A, ""},
      {kRead, 264, Word(1) + Word(0), 8, 0, Word(1) + Word(0)},
      {kRead, 272, Word(2) + goodPairs + Word(0), 0, 0, ""},
      {kRead, 264, Word(1) + Word(0), 8, 0, Word(1) + Word(0x11)},
      {kRead, 264, Word(2) + Word(0), 8, 0, Word(2) + Word(0x33)},
      // Kernel coefficients: high and low halves of shared registers.
      {kRead, 528, Word(3) + kernel + Word(0), 0, 0, ""},
      {kRead, 529, Word(0) + Word(0), 8, 0, Word(0) + Word(0x1111)},
      {kRead, 529, Word(1) + Word(0), 8, 0, Word(1) + Word(0x22222222)},
      {kRead, 262, Word(0x502C) + Word(0), 8, 0, Word(0x502C) + Word(0x1111DDDD)},
      {kRead, 529, Word(14) + Word(0), 8, 0x232, ""},
      // Power over Camera Link at 12 V: the switch's bit and its power-good lines.
      {kRead, 4096, Word(3) + Word(1), 0, 0, ""},
      {kRead, 262, Word(0x10028) + Word(0), 8, 0, Word(0x10028) + Word(0xA01)},
      {kRead, 4096, Word(3) + Word(0), 0, 0, ""},
      {kRead, 262, Word(0x10028) + Word(0), 8, 0, Word(0x10028) + Word(0)},
      // Sizes checked in order, an unknown command, the private write.
      {kRead, 262, Word(0x10028) + Word(0), 4, 0x532, ""},
      {kRead, 262, Word(0x10028), 8, 0x332, ""},
      {kRead, 999, "", 0, 0x46, ""},
      {kWrite, 262, Word(0x10028) + Word(0), 8, 0x400046, ""},
  });
}

}  // namespace
}  // namespace acq_device_test
