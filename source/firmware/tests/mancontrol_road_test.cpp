// Manager control on the road of the SDK's users: command 1006 from a client
// process to a board's server, against what the simulated board holds.
#include <sstream>

#include "platform/board/dma_frames.h"
#include "platform/testing/board_control.h"
#include "source/firmware/tests/road_test_support.h"

namespace {

using namespace road_test;

constexpr char kFull[] = "Tramond-CL_RZ6_1";
constexpr char kDual[] = "Tramond-CL_RZ6_2";

struct Answer {
  std::string status;
  std::string hex;
  bool operator==(const Answer&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Answer& answer) { return out << answer.status << " " << answer.hex; }

// One manager control request; the answer's status and output bytes.
Answer Control(ChildProcess& client, const char* server, std::uint32_t code, const std::string& input,
               std::uint32_t outputSize) {
  const std::string line = AskLine(client, std::string("call ") + server + " 1006 " + Word(code) +
                                               Word(static_cast<std::uint32_t>(input.size() / 2)) +
                                               Word(outputSize) + input);
  std::istringstream words(line);
  std::string answer, sent;
  Answer result;
  words >> answer >> sent >> result.status >> result.hex;
  return result;
}

std::string Hex(const std::vector<std::uint8_t>& bytes) { return helper::Hex(bytes.data(), bytes.size()); }
std::string Zeros(std::size_t count) { return std::string(2 * count, '0'); }

// The memory rows' request: mode, offset, size, data address, fill value [, option].
std::string MemoryRequest(std::uint8_t mode, std::uint32_t offset, std::uint32_t size, std::uint64_t data,
                          std::uint32_t value) {
  return helper::Hex(&mode, 1) + Word(offset) + Word(size) + Quad(data) + Word(value);
}

std::uint64_t HostBuffer(ChildProcess& client, std::uint32_t bytes) {
  const std::string line = AskLine(client, "hostbuf " + std::to_string(bytes));
  return std::stoull(line.substr(8));
}

std::string HostBytes(ChildProcess& client, std::uint32_t offset, std::uint32_t count) {
  return AskLine(client, "hostpeek " + std::to_string(offset) + " " + std::to_string(count)).substr(9);
}

// Words holding their own byte addresses, as the address pattern writes them.
std::string AddressWords(std::uint32_t from, std::uint32_t to) {
  std::string hex;
  for (std::uint32_t address = from; address < to; address += 4) hex += Word(address);
  return hex;
}

class ManagerControlRoad : public Road {
 protected:
  ChildProcess& OpenClient() {
    ChildProcess& client = Start();
    EXPECT_EQ(Ask(client, "open"), "open 0");
    return client;
  }
};

TEST_F(ManagerControlRoad, BoardInformationIsTheEepromsHeadAndARawWriteOutlivesTheKernelHost) {
  plat::board::EepromImage image{};
  ASSERT_EQ(plat::testing::board_control_eeprom_peek(0, 0xA0, &image), 0);
  {
    ChildProcess& client = OpenClient();
    EXPECT_EQ(Control(client, kFull, 0x80000015, "", 40), (Answer{"0", helper::Hex(image.data(), 31) + Zeros(9)}));
    EXPECT_EQ(Control(client, kFull, 0x8000003B, Word(0), 31), (Answer{"0", helper::Hex(image.data(), 31)}));
    EXPECT_EQ(Control(client, kFull, 0x80000016, "", 8), (Answer{"0", helper::Hex(image.data() + 31, 8)}));
    // A raw write of four bytes at offset 150, read back with a count of 16 into 64 bytes.
    const std::string head = Zeros(32) + Word(0) + Word(150);
    EXPECT_EQ(Control(client, kFull, 0x8000004E, head + Word(4) + "deadbeef", 0).status, "0");
    const Answer read = Control(client, kFull, 0x8000004D, head + Word(16), 64);
    EXPECT_EQ(read.status, "0");
    EXPECT_EQ(read.hex.size(), 128u);
    EXPECT_EQ(read.hex.substr(0, 8), "deadbeef");
    EXPECT_EQ(Ask(client, "close"), "close 0");
  }
  processes_.clear();
  ASSERT_EQ(host_->stop(), 0);
  host_ = std::make_unique<plat::testing::KernelHostProcess>(std::vector<std::string>{"FolvantX4Full", "FolvantX4Dual"});
  ASSERT_TRUE(host_->ready());
  ASSERT_EQ(plat::testing::board_control_eeprom_peek(0, 0xA0, &image), 0);
  EXPECT_EQ(helper::Hex(image.data() + 150, 4), "deadbeef");
  ChildProcess& client = OpenClient();
  EXPECT_EQ(Control(client, kFull, 0x8000004D, Zeros(32) + Word(0) + Word(150) + Word(4), 4),
            (Answer{"0", "deadbeef"}));
}

TEST_F(ManagerControlRoad, FlashRoundTripsRegistersReachTheBoardAndTheFpgaReloads) {
  ChildProcess& client = OpenClient();
  // Flash: section 4 of the Dual board, offset 512.
  const std::string bytes = "0102030405060708090a";
  EXPECT_EQ(Control(client, kDual, 0x80000064, Word(4) + Word(512) + Word(10) + bytes, 0).status, "0");
  EXPECT_EQ(Control(client, kDual, 0x80000063, Word(4) + Word(512) + Word(10), 10), (Answer{"0", bytes}));
  // A register write of kind 3 lands in the board's register file; kind 2 reads it.
  const std::uint8_t kind3 = 3;
  const std::uint8_t kind2 = 2;
  EXPECT_EQ(Control(client, kFull, 0x8000000D, helper::Hex(&kind3, 1) + Word(0x1004) + Word(0) + Word(0x5A5A1234), 0)
                .status,
            "0");
  std::uint32_t value = 0;
  ASSERT_EQ(plat::testing::board_control_peek_register(0, 0x1004, &value), 0);
  EXPECT_EQ(value, 0x5A5A1234u);
  EXPECT_EQ(Control(client, kFull, 0x8000000F, helper::Hex(&kind2, 1) + Word(0x1004) + "00000000", 4),
            (Answer{"0", Word(0x5A5A1234)}));
  // The address window and the on-board memory size.
  const Answer window = Control(client, kFull, 0x80000033, "", 8);
  EXPECT_EQ(window.status, "0");
  EXPECT_NE(window.hex.substr(8, 8), Word(0));
  EXPECT_EQ(Control(client, kFull, 0x8000003F, "", 4).status, "0");
  // The FPGA is loaded; a load from the flash runs the board's reload and leaves it loaded.
  EXPECT_EQ(Control(client, kFull, 0x8000004C, "", 20), (Answer{"0", Zeros(20)}));
  plat::board::ControlBoardActivity before{}, after{};
  ASSERT_EQ(plat::testing::board_control_activity(0, &before), 0);
  EXPECT_EQ(Control(client, kFull, 0x80000010, TextField("main", 256) + Word(0), 0).status, "0");
  ASSERT_EQ(plat::testing::board_control_activity(0, &after), 0);
  EXPECT_GT(after.flash_array_reads, before.flash_array_reads);
  EXPECT_EQ(Control(client, kFull, 0x8000004C, "", 20), (Answer{"0", Zeros(20)}));
}

TEST_F(ManagerControlRoad, OnboardMemoryFillWritePatternAndReadAgree) {
  ChildProcess& client = OpenClient();
  const std::uint64_t host = HostBuffer(client, 0x3000);
  // The address pattern from 0x30000, read back through the board.
  EXPECT_EQ(Control(client, kFull, 0x8000003D, MemoryRequest(2, 0x30000, 0x30000 + 6000, 0, 0), 0).status, "0");
  EXPECT_EQ(Control(client, kFull, 0x8000003E, MemoryRequest(0, 0x30000, 6000, host, 0), 0).status, "0");
  EXPECT_EQ(HostBytes(client, 0, 6000), AddressWords(0x30000, 0x30000 + 6000));
  // A fill repeats the host's first four bytes (the pattern's first word).
  EXPECT_EQ(Control(client, kFull, 0x8000003D, MemoryRequest(0, 0x20000, 8192, host, 4) + Word(0), 0).status, "0");
  EXPECT_EQ(Control(client, kFull, 0x8000003E, MemoryRequest(0, 0x20000, 8192, host + 0x1000, 0), 0).status, "0");
  std::string repeated;
  for (int i = 0; i < 8192 / 4; ++i) repeated += Word(0x30000);
  EXPECT_EQ(HostBytes(client, 0x1000, 8192), repeated);
  // A write of the host's first 4096 bytes, read back elsewhere.
  EXPECT_EQ(Control(client, kFull, 0x8000003D, MemoryRequest(1, 0x10000, 4096, host, 0), 0).status, "0");
  EXPECT_EQ(Control(client, kFull, 0x8000003E, MemoryRequest(0, 0x10000, 4096, host + 0x1000, 0), 0).status, "0");
  EXPECT_EQ(HostBytes(client, 0x1000, 4096), AddressWords(0x30000, 0x31000));
}

TEST_F(ManagerControlRoad, TheMemoryDmaTestBringsCameraZerosFrameAndTheSavedMemoryToTheHostAndEndsFree) {
  constexpr std::uint32_t kBlock = 0x100000;
  ASSERT_EQ(plat::testing::board_control_set_camera_model(0, 0, {1024, 1024, 1, 8, 20000}), 0);
  ChildProcess& client = OpenClient();
  const std::uint64_t host = HostBuffer(client, kBlock);
  EXPECT_EQ(Ask(client, "ibuf 0 4096"), "ibuf 0 0");
  EXPECT_EQ(Control(client, kFull, 0x8000003D, MemoryRequest(2, 0, 102400, 0, 0), 0).status, "0");
  EXPECT_EQ(Control(client, kFull, 0x8000003E, MemoryRequest(1, 0, kBlock, host, kBlock), 0).status, "0");
  EXPECT_EQ(Control(client, kFull, 0x8000003E, MemoryRequest(2, 0, 0, 0, 0), 0).status, "0");
  // The I/O writes keep their meaning: the I/O board's outputs; the XIO FPGA's program line unconfigured it.
  plat::board::ControlGpioView gpio{};
  ASSERT_EQ(plat::testing::board_control_gpio_view(0, &gpio), 0);
  EXPECT_EQ(gpio.io_outputs & 0xFF, 0x3Fu);
  std::uint32_t xio = 0xFFFFFFFF;
  ASSERT_EQ(plat::testing::board_control_register_read(0, 0x814, &xio), 0);
  EXPECT_EQ(xio >> 20, 0u);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Control(client, kFull, 0x8000003E, MemoryRequest(3, 0, kBlock, host, 0), 0).status, "0");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  plat::board::ControlGrabState grab{};
  ASSERT_EQ(plat::testing::board_control_grab_state(0, 0, &grab), 0);
  EXPECT_EQ(grab.frames_completed, 1u);
  // The saved on-board memory heads the host block; the frame's lines follow it.
  EXPECT_EQ(HostBytes(client, 0, 4096), AddressWords(0, 4096));
  EXPECT_EQ(HostBytes(client, 102400 - 8, 8), AddressWords(102400 - 8, 102400));
  std::vector<std::uint8_t> line(1024);
  for (std::uint32_t x = 0; x < 1024; ++x) line[x] = plat::board::camera_pattern(0, 0, grab.next_frame - 1, x, 500);
  EXPECT_EQ(HostBytes(client, 500 * 1024, 1024), Hex(line));
  EXPECT_EQ(Control(client, kFull, 0x8000003E, MemoryRequest(4, 0, 0, 0, 0), 0).status, "0");
  std::uint32_t end = 0;
  ASSERT_EQ(plat::testing::board_control_peek_register(0, 0x81C, &end), 0);
  EXPECT_EQ(end, 1u);
  EXPECT_EQ(Ask(client, "ibuf 0 4096"), "ibuf 0 0");
}

TEST_F(ManagerControlRoad, FieldsByNameAndVersionRecordsOfFilesAndFirmware) {
  ChildProcess& client = OpenClient();
  const std::string board0 = Word(0) + Word(0) + Word(0);
  // The list field reads as its choice's text and is written by one.
  EXPECT_EQ(Control(client, kFull, 0x80000072, board0 + TextField("Board Model", 256), 256),
            (Answer{"0", TextField("Tramond-CL_RZ6 Full", 256)}));
  EXPECT_EQ(Control(client, kFull, 0x80000071,
                    board0 + TextField("Board Model", 256) + TextField("Tramond-CL_RZ6 Dual/Medium", 256), 0)
                .status,
            "0");
  EXPECT_EQ(Control(client, kFull, 0x80000072, board0 + TextField("Board Model", 256), 256),
            (Answer{"0", TextField("Tramond-CL_RZ6 Dual/Medium", 256)}));
  EXPECT_EQ(Control(client, kFull, 0x80000071, board0 + TextField("Board Model", 256) + TextField("Nothing", 256), 0)
                .status,
            "822");
  EXPECT_EQ(Control(client, kFull, 0x80000072, board0 + TextField("No Such Field", 256), 256).status, "1077");
  // A stored value no choice has.
  EXPECT_EQ(Control(client, kFull, 0x8000004E, Zeros(32) + Word(0) + Word(38) + Word(2) + "7777", 0).status, "0");
  EXPECT_EQ(Control(client, kFull, 0x80000072, board0 + TextField("Board Model", 256), 256).status, "822");
  // A plain field by index and by name.
  EXPECT_EQ(Control(client, kFull, 0x8000006B, board0, 4), (Answer{"0", Word(5)}));
  // The kernel driver's record, from the drivers folder.
  const Answer file = Control(client, kFull, 0x80000054, Word(4099) + Word(294), 298);
  ASSERT_EQ(file.status, "0");
  EXPECT_EQ(file.hex.substr(0, 32), Word(294) + Word(1) + Word(3) + Word(7));
  EXPECT_EQ(file.hex.substr(96, 20), TextField("Stavro.SYS", 10));
  EXPECT_EQ(file.hex.substr(224, 20), TextField("HABRIX_CBH", 10));
  // A firmware section: its name, its header's magic, words 1 and 2.
  const Answer size = Control(client, kFull, 0x80000054, Word(0) + Word(0), 4);
  ASSERT_EQ(size.status, "0");
  const std::uint32_t total = std::stoul(size.hex.substr(6, 2) + size.hex.substr(4, 2) + size.hex.substr(2, 2) +
                                             size.hex.substr(0, 2),
                                         nullptr, 16);
  ASSERT_GT(total, 118u);
  const Answer firmware = Control(client, kFull, 0x80000054, Word(0) + Word(total), total + 4);
  ASSERT_EQ(firmware.status, "0");
  EXPECT_EQ(firmware.hex.substr(0, 24), Word(total) + Word(1) + Word(3));
  EXPECT_EQ(firmware.hex.substr(224, 20), TextField("HABRIX_CBH", 10));
  EXPECT_NE(firmware.hex.substr(96, 2), "00");
}

}  // namespace
