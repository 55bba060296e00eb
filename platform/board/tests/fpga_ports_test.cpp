#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "platform/board/bitstream.h"
#include "platform/board/fpga_ports.h"
#include "platform/board/identity_block.h"
#include "platform/board/interrupt_block.h"
#include "platform/board/tests/board_fixture.h"

namespace plat::board {
namespace {

// The lines of one port as the driver drives them.
struct PortLines {
  std::uint32_t offset, program, clock, data, idle_bits, program_idle;
};
constexpr PortLines kMain{kRegMainConfig, 0x4, 0x2, 0x1, 0, 0};
constexpr PortLines kXio{kRegXioConfig, 0x1, 0x2, 0x4, 0x8, 0x1};
constexpr PortLines kExpansion{kRegExpansionConfig, 0x4, 0x1, 0x2, 0, 0};

class FpgaPortsTest : public ::testing::Test {
 protected:
  void write(std::uint32_t offset, std::uint32_t value) { bar_write32(board.get(), 0, offset, value); }
  std::uint32_t read(std::uint32_t offset) { return bar_read32(board.get(), 0, offset); }

  void pulse(const PortLines& port) {
    write(port.offset, port.idle_bits | (port.program_idle ^ port.program));
    write(port.offset, port.idle_bits | port.program_idle);
  }
  void send(const PortLines& port, const std::vector<std::uint8_t>& image) {
    write(port.offset, port.idle_bits | port.program_idle);
    pulse(port);
    auto bit = [&](bool one) {
      const std::uint32_t value = port.idle_bits | port.program_idle | (one ? port.data : 0);
      write(port.offset, value);
      write(port.offset, value | port.clock);
      write(port.offset, value);
    };
    for (std::uint8_t byte : image)
      for (int i = 7; i >= 0; --i) bit((byte >> i) & 1);
    for (int i = 0; i < 100; ++i) bit(false);
    write(port.offset, port.program_idle);
  }
  static std::vector<std::uint8_t> image(FpgaKind kind, std::uint32_t id) {
    return bitstream_build(BitstreamDesign{kind, id, 0x0102}, std::vector<std::uint8_t>(300, 0x5A));
  }

  plat::testing::ScopedMachine machine;
  BoardPtr board = make_board("FolvantX4Full");
};

TEST_F(FpgaPortsTest, SecondaryFpgasConfigureFromAGoodImageAndFailOnACorruptOne) {
  EXPECT_EQ(read(kRegXioStatus) & 0xFFF00000, 0u) << "not configured at power-on";
  send(kXio, image(FpgaKind::kXio, 0x77));
  EXPECT_EQ(read(kRegXioStatus) & 0xFFF00000, 0x00100000u);
  EXPECT_EQ(read(kRegXioVersion), 0x0102u);
  std::vector<std::uint8_t> corrupt = image(FpgaKind::kXio, 0x77);
  corrupt[corrupt.size() / 2] ^= 0x10;
  send(kXio, corrupt);
  EXPECT_EQ(read(kRegXioStatus) & 0xFFF00000, 0u);

  send(kExpansion, image(FpgaKind::kExpansion, 0x78));
  EXPECT_EQ(read(kRegExpansionConfig) & kExpansionConfigDone, kExpansionConfigDone);
  send(kExpansion, image(FpgaKind::kXio, 0x78));
  EXPECT_EQ(read(kRegExpansionConfig) & kExpansionConfigDone, 0u) << "an image for another FPGA";
}

TEST_F(FpgaPortsTest, MainFpgaKeepsItsDesignOverAPulseAndTakesANewOnesId) {
  const std::uint32_t booted = read(kRegFpgaId);
  EXPECT_EQ(read(kRegMainConfig) & kMainConfigDone, kMainConfigDone);
  pulse(kMain);
  EXPECT_EQ(read(kRegMainConfig) & kMainConfigDone, kMainConfigDone);
  EXPECT_EQ(read(kRegFpgaId), booted);
  send(kMain, image(FpgaKind::kMain, 0x239));
  EXPECT_EQ(read(kRegMainConfig) & kMainConfigDone, kMainConfigDone);
  EXPECT_EQ(read(kRegFpgaId), 0x239u);
}

TEST_F(FpgaPortsTest, LogicResetClearsTheLatchedStatuses) {
  board_raise_status(board.get(), kRegMainStatus, 0x40);
  write(kRegLogicReset, 0);
  write(kRegLogicReset, 1);
  EXPECT_EQ(read(kRegMainStatus) & 0x40, 0x40u) << "the reset acts when bit 0 falls";
  write(kRegLogicReset, 0);
  EXPECT_EQ(read(kRegMainStatus) & 0x40, 0u);
}

}  // namespace
}  // namespace plat::board
