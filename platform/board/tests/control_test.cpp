#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <vector>

#include "platform/board/board_dma.h"
#include "platform/board/control_server.h"
#include "platform/board/interrupt_block.h"
#include "platform/board/tests/board_fixture.h"
#include "platform/kernel/physical_memory.h"
#include "platform/win/machine.h"
#include "platform/testing/board_control.h"
#include "platform/testing/child_process.h"

namespace plat::board {
namespace {

using namespace plat::testing;

// Two boards served as the kernel host serves them; removal goes to a hook
// that records it, as the host's Plug and Play would.
class ControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    boards = {board_create(BoardConfig{"FolvantX4Full"}, 0), board_create(BoardConfig{"FolvantX4Dual"}, 1)};
    BoardControlHooks hooks;
    hooks.context = this;
    hooks.remove_board = [](void* context, int index, Board* board) -> std::int32_t {
      auto* self = static_cast<ControlTest*>(context);
      if (self->refuse_removal) return 0x0BAD;
      self->removed.push_back(index);
      EXPECT_EQ(board, self->boards[index]);
      return 0;
    };
    ASSERT_TRUE(board_control_start(boards, hooks));
  }
  void TearDown() override {
    board_control_stop();
    for (Board* board : boards) board_destroy(board);
  }

  plat::testing::ScopedMachine machine;
  std::array<Board*, 2> boards{};
  std::vector<int> removed;
  bool refuse_removal = false;
};

TEST_F(ControlTest, ListsBoardsWithTheirLocations) {
  std::vector<BoardListing> listing;
  ASSERT_EQ(board_control_list(&listing), kControlOk);
  ASSERT_EQ(listing.size(), 2u);
  EXPECT_EQ(listing[0].model, "FolvantX4Full");
  EXPECT_EQ(listing[1].model, "FolvantX4Dual");
  EXPECT_TRUE(listing[1].present);
  EXPECT_EQ(listing[1].location.bus, board_location(boards[1]).bus);
  EXPECT_EQ(listing[1].bridge.device, board_bridge_location(boards[1]).device);
}

TEST_F(ControlTest, ConfigAndRegistersRoundTrip) {
  std::uint32_t value = 0;
  ASSERT_EQ(board_control_config_read(1, kCfgSubsystemId, 2, &value), kControlOk);
  EXPECT_EQ(value, 0x1002u);
  ASSERT_EQ(board_control_config_read(1, kCfgSecondaryBus, 1, &value, true), kControlOk);
  EXPECT_EQ(value, board_location(boards[1]).bus);
  ASSERT_EQ(board_control_config_write(0, kCfgInterruptLine, 1, 0x2A), kControlOk);
  EXPECT_EQ(config_read(boards[0], kCfgInterruptLine, 1), 0x2Au);

  ASSERT_EQ(board_control_register_write(0, kRegInterruptMask, kMaskMasterEnable), kControlOk);
  ASSERT_EQ(board_control_raise_status(0, kRegMainStatus, 0x40), kControlOk);
  bool asserted = false;
  ASSERT_EQ(board_control_interrupt_asserted(0, &asserted), kControlOk);
  EXPECT_TRUE(asserted);
  ASSERT_EQ(board_control_register_read(0, kRegMainStatus, &value), kControlOk);
  EXPECT_EQ(value, 0x40u);
  ASSERT_EQ(board_control_register_write(0, kRegMainStatus, value), kControlOk);
  ASSERT_EQ(board_control_interrupt_asserted(0, &asserted), kControlOk);
  EXPECT_FALSE(asserted);

  EXPECT_EQ(board_control_raise_status(0, 0x400, 1), kControlBadRequest);
  EXPECT_EQ(board_control_register_read(7, 0x400, &value), kControlNoSuchBoard);
  EXPECT_EQ(board_control_config_read(0, 0, 4, &value, true), kControlOk);
}

TEST_F(ControlTest, VanishedKnobReachesTheBoard) {
  ASSERT_EQ(board_control_set_vanished(1, true), kControlOk);
  std::uint32_t value = 0;
  ASSERT_EQ(board_control_config_read(1, kCfgVendorId, 4, &value), kControlOk);
  EXPECT_EQ(value, 0xFFFFFFFFu);
  ASSERT_EQ(board_control_register_read(1, 0x10014, &value), kControlOk);
  EXPECT_EQ(value, 0xFFFFFFFFu);
  ASSERT_EQ(board_control_set_vanished(1, false), kControlOk);
  ASSERT_EQ(board_control_config_read(1, kCfgVendorId, 2, &value), kControlOk);
  EXPECT_EQ(value, 0x11ECu);
}

TEST_F(ControlTest, RemoveGoesThroughTheHookOnce) {
  refuse_removal = true;
  EXPECT_EQ(board_control_remove(0), kControlRefused);
  refuse_removal = false;
  ASSERT_EQ(board_control_remove(0), kControlOk);
  EXPECT_EQ(removed, std::vector<int>{0});
  std::uint32_t value = 0;
  EXPECT_EQ(board_control_register_read(0, 0x400, &value), kControlBoardRemoved);
  EXPECT_EQ(board_control_remove(0), kControlBoardRemoved);
  std::vector<BoardListing> listing;
  ASSERT_EQ(board_control_list(&listing), kControlOk);
  EXPECT_FALSE(listing[0].present);
  EXPECT_TRUE(listing[1].present);
}

TEST_F(ControlTest, DmaWriteLandsInHostMemory) {
  ASSERT_TRUE(plat::kernel::physmem_start(1 << 20));
  plat::kernel::ContiguousBlock block{};
  ASSERT_TRUE(plat::kernel::physmem_allocate(2 * plat::kernel::kPageSize, 0xFFFFFFFF, &block));
  std::vector<std::byte> bytes(5000);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::byte>(i * 7);
  ASSERT_EQ(board_control_dma_write(1, block.physical + 100, bytes), kControlOk);
  EXPECT_EQ(std::memcmp(static_cast<std::byte*>(block.kernel_address) + 100, bytes.data(), bytes.size()), 0);

  // A board that may not master the bus, and addresses without memory, write nothing.
  config_write(boards[1], kCfgCommand, 2, kCommandMemorySpace);
  EXPECT_EQ(board_control_dma_write(1, block.physical, bytes), kControlRefused);
  EXPECT_EQ(static_cast<std::byte*>(block.kernel_address)[0], std::byte{0});
  EXPECT_EQ(board_control_dma_write(0, 0x1000, bytes), kControlRefused);
  plat::kernel::physmem_free(block);
  plat::kernel::physmem_stop();
}

// Raw bytes on the socket, as a broken or hostile client would send them.
int connect_raw() {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string path = plat::machine_path(kControlSocketName);
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  return fd;
}

TEST_F(ControlTest, MalformedRequestsDoNotStopTheServer) {
  const int truncated = connect_raw();
  ASSERT_EQ(::write(truncated, "abc", 3), 3);
  ::close(truncated);

  const int oversized = connect_raw();
  ControlRequest request{};
  request.command = kControlDmaWrite;
  request.payload_size = 0xFFFFFFFF;
  ASSERT_EQ(::write(oversized, &request, sizeof request), static_cast<ssize_t>(sizeof request));
  ControlReply reply{};
  ASSERT_EQ(::read(oversized, &reply, sizeof reply), static_cast<ssize_t>(sizeof reply));
  EXPECT_EQ(reply.status, kControlBadRequest);
  ::close(oversized);

  const int unknown = connect_raw();
  request = ControlRequest{};
  request.command = 999;
  request.board = 0;
  ASSERT_EQ(::write(unknown, &request, sizeof request), static_cast<ssize_t>(sizeof request));
  ASSERT_EQ(::read(unknown, &reply, sizeof reply), static_cast<ssize_t>(sizeof reply));
  EXPECT_EQ(reply.status, kControlBadRequest);
  ::close(unknown);

  std::vector<BoardListing> listing;
  EXPECT_EQ(board_control_list(&listing), kControlOk);
}

// The tool of the main job, run as its own process against the served boards.
TEST_F(ControlTest, PlatBoardsPrintsEachBoardsConfiguration) {
  ChildProcess tool(sibling_program("plat-boards"), {});
  std::string output;
  for (std::string line = tool.read_line(); !line.empty(); line = tool.read_line()) output += line + "\n";
  EXPECT_EQ(tool.wait(), 0) << output;
  for (const char* expected :
       {"2 board(s)", "board 0: FolvantX4Full at 01:00.0", "board 1: FolvantX4Dual at 02:00.0",
        "vendor 0x11ec device 0x0c42 subsystem 0x11ec:0x1002 class 0x040000",
        "bar0: 0xe0100000 memory size 0x20000", "interrupt: pin INTA line 17", "link: x4 2.5 GT/s (max x4 2.5 GT/s)",
        "bridge 00:02.0", "buses primary 0 secondary 2 subordinate 2"})
    EXPECT_NE(output.find(expected), std::string::npos) << expected << "\n" << output;
  // The probe left the BAR where the bus put it.
  EXPECT_EQ(board_bars(boards[1]).at(0).bus_address, 0xE0100000u);
}

TEST(ControlClient, NoServerIsUnreachable) {
  plat::testing::ScopedMachine machine;
  std::vector<BoardListing> listing;
  EXPECT_EQ(board_control_list(&listing), kControlUnreachable);
}

}  // namespace
}  // namespace plat::board
