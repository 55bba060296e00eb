// The packer set-up through the library, the driver and the simulated board:
// packer registers on the board, the arbitration lists swapped in through the
// board's handshake, acquisition DMA channels claimed in the shared table.
#include <sstream>
#include <string>
#include <vector>

#include "driver/user/YatPacker.h"
#include "driver/user/tests/pardow_test_support.h"
#include "platform/board/control_protocol.h"
#include "platform/testing/board_control.h"

namespace pardow_test {
namespace {

constexpr std::uint32_t kMainList = 0x3300, kShadowList = 0x3380, kSwap = 0x3038;

struct FormatCase {
  const char* name;
  std::uint32_t depth, taps, geometry, kind, code, entries;
};

class PackerArbiter : public PardowMachine {
 protected:
  ChildProcess& client() {
    client_ = std::make_unique<ChildProcess>("pardow-helper-arbiter", std::vector<std::string>{});
    EXPECT_EQ(client_->read_line(60s), "ready");
    EXPECT_EQ(ask(*client_, "open"), "0");
    return *client_;
  }

  static std::uint32_t Peek(std::uint32_t offset) {
    std::uint32_t value = 0xDEADBEEF;
    EXPECT_EQ(plat::testing::board_control_peek_register(0, offset, &value), plat::board::kControlOk);
    return value;
  }

  static std::string Command(const FormatCase& c) {
    std::ostringstream text;
    text << "format 0 " << c.depth << ' ' << c.taps << ' ' << c.geometry << ' ' << c.kind << ' ' << c.code;
    return text.str();
  }

  // The list registers as the helper prints a slot: "<control>/<selector>" in hex.
  static std::vector<std::string> List(std::uint32_t base) {
    std::vector<std::string> list;
    for (std::uint32_t n = 0; n < 10; ++n) {
      std::ostringstream entry;
      entry << std::hex << Peek(base + 8 * n) << '/' << Peek(base + 8 * n + 4);
      list.push_back(entry.str());
    }
    return list;
  }

  static std::vector<std::string> Expected(const std::string& slot) {
    std::istringstream in(slot);
    std::string count, active, entry;
    in >> count >> active;
    std::vector<std::string> list;
    while (in >> entry) list.push_back(entry);
    list.resize(10, "0/0");
    return list;
  }

  static std::string Owners(std::uint32_t claimed) {
    std::string text;
    for (std::uint32_t i = 0; i < 16; ++i) text += std::string(i == 0 ? "" : " ") + (i < claimed ? "0" : "ffffffff");
    return text;
  }

  std::unique_ptr<ChildProcess> client_;
};

TEST_F(PackerArbiter, FormatsProgramThePackerAndSwapInTheirLists) {
  constexpr std::uint32_t I = YAT_GEOMETRY_INTERLEAVED, S = YAT_GEOMETRY_SEGMENTED, P = YAT_GEOMETRY_PACKED;
  const FormatCase cases[] = {
      {"mono 8, one tap", 8, 1, I, 2, 1, 1},    {"mono 10, one tap", 10, 1, I, 2, 2, 1},
      {"mono 12, one tap", 12, 1, I, 2, 2, 1},  {"mono 8, two taps", 8, 2, I, 2, 1, 1},
      {"mono 10, two taps", 10, 2, S, 2, 2, 2}, {"mono 12, two taps", 12, 2, S, 2, 2, 2},
      {"packed 3 x 8", 8, 3, P, 2, 5, 1},       {"colour 8, one tap", 8, 1, I, YAT_COLOUR_KIND, 6, 1},
  };
  start_host({"FolvantX4Full"});
  ChildProcess& c = client();
  for (const FormatCase& f : cases) {
    SCOPED_TRACE(f.name);
    ASSERT_EQ(ask(c, Command(f)), "0");

    // The board holds each packer word the plan makes, as far as its mask reaches.
    YatPackerFormat format;
    format.depth = f.depth;
    format.taps = f.taps;
    format.geometry = f.geometry;
    format.colourKind = f.kind;
    format.laneMode = f.kind == YAT_COLOUR_KIND ? 2 : 0;
    format.frameWidth = 640;
    YatPackerPlan plan;
    ASSERT_EQ(Yat_Packer_Plan(YatPackerTarget{}, format, f.code, &plan), QELHW_OK);
    for (const YatPackerWrite& w : plan.writes) EXPECT_EQ(Peek(w.reg), w.value & w.mask) << std::hex << w.reg;

    // Claimed for camera 0: one channel per tap.
    EXPECT_EQ(ask(c, "owners"), Owners(f.taps));

    // Active, the camera's list runs from the main list, the handshake back at rest.
    ASSERT_EQ(ask(c, "active 0 1"), "0");
    const std::string slot = ask(c, "slot 0");
    EXPECT_EQ(slot.substr(0, 4), std::to_string(f.entries) + " 1 ") << slot;
    EXPECT_EQ(List(kMainList), Expected(slot));
    EXPECT_EQ(List(kShadowList), Expected(slot));
    std::uint32_t swap = 0xFFFFFFFF;
    ASSERT_EQ(plat::testing::board_control_register_read(0, kSwap, &swap), plat::board::kControlOk);
    EXPECT_EQ(swap & 1, 0u);

    // Inactive: the lists empty, the channels given back.
    ASSERT_EQ(ask(c, "active 0 0"), "0");
    EXPECT_EQ(List(kMainList), Expected("0 0"));
    EXPECT_EQ(ask(c, "owners"), Owners(0));
  }
  EXPECT_EQ(log_count("DigitalWriteArbitrator: Timeout"), 0u);
  finish(c);
}

}  // namespace
}  // namespace pardow_test
