// Flat-field coefficient buffers (commands 4021-4024 and the acquisition-level
// parameters 0x70C0004 and 0x70D0004) and onboard LUT buffers (4026-4029) on
// the road of the SDK's users: a client
// process (quillet-helper-acqclient serving its board from the server driver
// built into it) sends every request through "QelApi.dll". Board 0's firmware
// offers the flat-field unit and processing kind 2 (8 buffers a device);
// board 1's the unit alone (1 buffer).
#include "source/QelAcq/tests/acq_client_fixture.h"

namespace acq_device_test {
namespace {

constexpr std::uint16_t kFlatFieldOption = 1u << 3;
constexpr std::uint32_t kProcessingKindByte = 82;
constexpr std::uint8_t kEveryKind = 0x08;
constexpr std::uint8_t kListedKinds = 0x10;  // none listed: no kind 2
constexpr std::uint32_t kWidth = kWindowWidth, kLines = kWindowLines;
constexpr std::uint32_t kMono8 = 0x1010800;
constexpr std::uint32_t kFlatFieldEntry = 0x5800;

BoardPreset FlatFieldBoard(std::uint8_t kinds) {
  BoardPreset preset = Factory("FolvantX4Dual");
  preset.firmwareOptions = kFlatFieldOption;
  preset.bytes = {{kProcessingKindByte, kinds}};
  return preset;
}

// Image bytes of a kWidth x kLines picture from (x, y).
std::vector<std::uint8_t> Picture(std::uint8_t (*at)(std::uint32_t, std::uint32_t)) {
  std::vector<std::uint8_t> bytes;
  for (std::uint32_t y = 0; y < kLines; ++y)
    for (std::uint32_t x = 0; x < kWidth; ++x) bytes.push_back(at(x, y));
  return bytes;
}
std::uint8_t Offset(std::uint32_t x, std::uint32_t y) { return static_cast<std::uint8_t>((x + 2 * y) % 24); }
std::uint8_t Gain(std::uint32_t x, std::uint32_t y) { return static_cast<std::uint8_t>(64 + (3 * x + y) % 160); }

class AcqBoardBuffers : public AcqClientRoad {
 protected:
  std::string NewBuffer(std::uint32_t board, std::uint32_t width) {
    const Answer made = Send(board, 9001, Server(board) + Word(width) + Word(kLines) + Word(kMono8) + Word(0));
    EXPECT_EQ(made.status, 0u);
    return made.payload.substr(0, 64);
  }
  void Fill(std::uint32_t board, const std::string& buffer, const std::vector<std::uint8_t>& bytes) {
    EXPECT_EQ(Send(board, 9009, buffer + Quad(0) + Word(static_cast<std::uint32_t>(bytes.size())) + Hex(bytes)).status,
              0u);
  }
  std::string Contents(std::uint32_t board, const std::string& buffer) {
    const Answer read = Send(board, 9008, buffer + Quad(0) + Word(kWidth * kLines));
    EXPECT_EQ(read.status, 0u);
    return read.payload.substr(0, 2 * kWidth * kLines);
  }
  // 4023/4024: the offset image's handle, the gain image's record word.
  std::uint32_t Coefficients(std::uint32_t command, const std::string& device, std::uint32_t number,
                             const std::string& offset, const std::string& gain) {
    return Send(0, command, device + Word(number) + offset + gain.substr(24, 16)).status;
  }
  std::uint32_t SetLevel(const std::string& device, std::uint32_t id, std::uint32_t value, std::uint32_t board = 0) {
    return Send(board, 4006, device + Word(id) + Word(value)).status;
  }
  std::uint32_t Level(const std::string& device, std::uint32_t id) {
    const Answer value = Send(0, 4005, device + Word(id));
    EXPECT_EQ(value.status, 0u);
    return WordAt(value.payload, 0);
  }
};

TEST_F(AcqBoardBuffers, CoefficientsRoundTripThroughOnboardMemoryAndCorrectTheGrabbedPixels) {
  StartBoards({FlatFieldBoard(kEveryKind)});
  SetCamera(0, kWidth, kLines, 2000);
  StartClient();
  const std::string device = Device(0);
  const Answer created = Send(0, 4021, device);
  ASSERT_EQ(created.status, 0u);
  EXPECT_EQ(WordAt(created.payload, 0), 1u);
  EXPECT_EQ(Level(device, 0x70C0004), 1u);  // the first buffer becomes the selection

  const std::string offset = NewBuffer(0, kWidth), gain = NewBuffer(0, kWidth);
  const std::string offsetBack = NewBuffer(0, kWidth), gainBack = NewBuffer(0, kWidth);
  Fill(0, offset, Picture(Offset));
  Fill(0, gain, Picture(Gain));
  ASSERT_EQ(Coefficients(4023, device, 1, offset, gain), 0u);
  ASSERT_EQ(Coefficients(4024, device, 1, offsetBack, gainBack), 0u);
  EXPECT_EQ(Contents(0, offsetBack), Hex(Picture(Offset)));
  EXPECT_EQ(Contents(0, gainBack), Hex(Picture(Gain)));

  // Images of another geometry, numbers out of range, a gain buffer that is none.
  const std::string narrow = NewBuffer(0, kWidth / 2);
  EXPECT_EQ(Coefficients(4023, device, 1, narrow, gain), 0x400034u);
  EXPECT_EQ(Coefficients(4023, device, 9, offset, gain), 0x400035u);
  EXPECT_EQ(Coefficients(4023, device, 2, offset, gain), 0x400035u);
  EXPECT_EQ(Send(0, 4023, device + Word(1) + offset + Quad(0x1234)).status, 0x400034u);

  // The correction on: the unit reads buffer 1 and the next frame shows it.
  EXPECT_EQ(SetLevel(device, 0x70D0004, 1), 0u);
  EXPECT_EQ(Read(kFlatFieldEntry) & 1u, 1u);
  const std::uint32_t first = GrabState(0).next_frame;
  std::string expected;
  char two[3];
  for (std::uint32_t y = 0; y < kLines; ++y)
    for (std::uint32_t x = 0; x < kWidth; ++x) {
      const std::uint32_t pixel = plat::board::camera_pattern(0, 0, first, x, y);
      const std::uint32_t above = pixel > Offset(x, y) ? pixel - Offset(x, y) : 0;
      std::snprintf(two, sizeof two, "%02x", std::min(above * Gain(x, y) / 128, 255u));
      expected += two;
    }
  EXPECT_EQ(Ask(*client_, "grab 0 0 64 8"), "grab 0 0 1 " + expected);

  // While the correction is on its buffer stays.
  EXPECT_EQ(Send(0, 4022, device + Word(1)).status, 0x400054u);
  EXPECT_EQ(Coefficients(4024, device, 1, offsetBack, gainBack), 0u);
  EXPECT_EQ(SetLevel(device, 0x70D0004, 0), 0u);
  EXPECT_EQ(Read(kFlatFieldEntry), 0u);
  EXPECT_EQ(Send(0, 4022, device + Word(1)).status, 0u);
  EXPECT_EQ(Send(0, 4022, device + Word(1)).status, 0x400035u);
  EXPECT_EQ(Send(0, 4022, device + Word(9)).status, 0x400035u);
}

// A 10-bit camera into 16-bit pixels: 16-bit offsets and gains (a gain of
// 0x8000 is 1), each pixel's two coefficient words side by side.
TEST_F(AcqBoardBuffers, SixteenBitCoefficientsCorrectTwoBytePixels) {
  StartBoards({FlatFieldBoard(kEveryKind)});
  SetCamera(0, kWidth, kLines, 2000, 10);
  StartClient();
  const std::string device = Device(0);
  ASSERT_EQ(SetLevel(device, 0x60004, 10), 0u);
  ASSERT_EQ(SetLevel(device, 0x8280004, 0x1021000), 0u);
  ASSERT_EQ(Send(0, 4021, device).status, 0u);
  const auto image = [this](std::uint32_t (*at)(std::uint32_t, std::uint32_t)) {
    const Answer made = Send(0, 9001, Server(0) + Word(kWidth) + Word(kLines) + Word(0x1021000) + Word(0));
    EXPECT_EQ(made.status, 0u);
    const std::string buffer = made.payload.substr(0, 64);
    std::string words;
    for (std::uint32_t y = 0; y < kLines; ++y)
      for (std::uint32_t x = 0; x < kWidth; ++x) words += Word(at(x, y)).substr(0, 4);
    EXPECT_EQ(Send(0, 9009, buffer + Quad(0) + Word(kWidth * kLines * 2) + words).status, 0u);
    return buffer;
  };
  static constexpr auto kOffset = [](std::uint32_t x, std::uint32_t y) { return (x * 37 + y * 11) % 300; };
  static constexpr auto kGain = [](std::uint32_t x, std::uint32_t y) { return 0x4000 + (x * 613 + y * 97) % 0x9000; };
  const std::string offset = image(kOffset), gain = image(kGain);
  ASSERT_EQ(Coefficients(4023, device, 1, offset, gain), 0u);
  ASSERT_EQ(SetLevel(device, 0x70D0004, 1), 0u);
  const std::uint32_t first = GrabState(0).next_frame;
  std::string expected;
  for (std::uint32_t y = 0; y < kLines; ++y)
    for (std::uint32_t x = 0; x < kWidth; ++x) {
      const std::uint32_t pixel = plat::board::camera_pattern(0, 0, first, 2 * x, y) |
                                  plat::board::camera_pattern(0, 0, first, 2 * x + 1, y) << 8;
      const std::uint64_t above = pixel > kOffset(x, y) ? pixel - kOffset(x, y) : 0;
      expected += Word(static_cast<std::uint32_t>(std::min<std::uint64_t>(above * kGain(x, y) / 0x8000, 0xFFFF)))
                      .substr(0, 4);
    }
  EXPECT_EQ(Ask(*client_, "grab 0 0 128 8"), "grab 0 0 1 " + expected);
}

TEST_F(AcqBoardBuffers, SelectionWhileTransferConnectedIsBusyAndKindTwoGivesEightBuffers) {
  StartBoards({FlatFieldBoard(kEveryKind), FlatFieldBoard(kListedKinds)});
  StartClient();
  const std::string device = Device(0);
  for (std::uint32_t n = 1; n <= 8; ++n) {
    const Answer created = Send(0, 4021, device);
    ASSERT_EQ(created.status, 0u);
    EXPECT_EQ(WordAt(created.payload, 0), n);
  }
  EXPECT_EQ(Send(0, 4021, device).status, 0x400079u);
  EXPECT_EQ(SetLevel(device, 0x70C0004, 3), 0u);
  EXPECT_EQ(SetLevel(device, 0x70C0004, 9), 0x400035u);
  EXPECT_EQ(Level(device, 0x70C0004), 3u);

  EXPECT_EQ(Ask(*client_, "xfer 0 0 1"), "xfer 0");
  EXPECT_EQ(SetLevel(device, 0x70D0004, 1), 0x470D57u);
  EXPECT_EQ(SetLevel(device, 0x70C0004, 2), 0x470C57u);
  EXPECT_EQ(Level(device, 0x70D0004), 0u);
  EXPECT_EQ(Level(device, 0x70C0004), 3u);
  EXPECT_EQ(Read(kFlatFieldEntry), 0u);
  EXPECT_EQ(Ask(*client_, "xfer 0 0 0"), "xfer 0");
  EXPECT_EQ(SetLevel(device, 0x70D0004, 1), 0u);
  EXPECT_EQ(Read(kFlatFieldEntry) & 1u, 1u);

  // Without processing kind 2 a device has one buffer.
  const std::string other = Device(1);
  EXPECT_EQ(Send(1, 4021, other).status, 0u);
  EXPECT_EQ(Send(1, 4021, other).status, 0x400079u);
}

// The board's memory of a client killed with SIGKILL went back with it: the
// next client that opens the device finds no buffer, no selection, and the
// board's unit off. A bystander keeps the shared section alive meanwhile.
TEST_F(AcqBoardBuffers, AKilledOwnersBuffersAndCorrectionAreForgotten) {
  StartBoards({FlatFieldBoard(kEveryKind)});
  StartClient();
  std::string device = Device(0);
  for (std::uint32_t n = 1; n <= 2; ++n) ASSERT_EQ(Send(0, 4021, device).status, 0u);
  ASSERT_EQ(Send(0, 4026, device).status, 0u);
  ASSERT_EQ(SetLevel(device, 0x70D0004, 1), 0u);
  ASSERT_EQ(Read(kFlatFieldEntry) & 1u, 1u);
  StartedHelper();
  client_->kill_hard();
  StartClient();
  device = Device(0);
  EXPECT_EQ(Level(device, 0x70C0004), 0u);
  EXPECT_EQ(Level(device, 0x70D0004), 0u);
  EXPECT_EQ(Read(kFlatFieldEntry), 0u);
  const Answer created = Send(0, 4021, device);
  ASSERT_EQ(created.status, 0u);
  EXPECT_EQ(WordAt(created.payload, 0), 1u);
  const Answer onboard = Send(0, 4026, device);
  ASSERT_EQ(onboard.status, 0u);
  EXPECT_EQ(WordAt(onboard.payload, 0), 1u);
}

TEST_F(AcqBoardBuffers, AnEightBitLutLandsOnTheBoardAsValueTimes257AndComesBack) {
  StartBoards({FlatFieldBoard(kEveryKind)});
  StartClient();
  const std::string device = Device(0);
  ASSERT_EQ(Level(device, 0x8320004), 0x1010100u);  // the input LUT's format (MONO8) and entries
  ASSERT_EQ(Level(device, 0x85F0004), 256u);
  std::vector<std::uint8_t> values(256);
  std::string widened;
  for (std::uint32_t i = 0; i < values.size(); ++i) {
    values[i] = static_cast<std::uint8_t>(i * 7 + 3);
    widened += Word(values[i] * 257u).substr(0, 4);
  }
  const auto lut = [this](std::uint32_t format, const std::vector<std::uint8_t>& bytes) {
    std::istringstream in(Ask(*client_, "lut 256 " + std::to_string(format) + " " + Hex(bytes)));
    std::string word, status, handle;
    in >> word >> status >> handle;
    EXPECT_EQ(status, "0");
    return handle;
  };
  const std::string written = lut(kMono8, values), back = lut(kMono8, std::vector<std::uint8_t>(256));
  const std::string wide = lut(0x1021000, std::vector<std::uint8_t>(512));

  const Answer created = Send(0, 4026, device);
  ASSERT_EQ(created.status, 0u);
  EXPECT_EQ(WordAt(created.payload, 0), 1u);
  EXPECT_EQ(Send(0, 4028, device + Word(1) + written).status, 0u);
  EXPECT_EQ(Ask(*client_, "onboard 0 0 1"), "onboard 0 " + widened);
  EXPECT_EQ(Send(0, 4029, device + Word(1) + back).status, 0u);
  EXPECT_EQ(Ask(*client_, "lutdata 1"), "lutdata " + Hex(values));

  // Another format, a LUT that is none, numbers out of range.
  EXPECT_EQ(Send(0, 4028, device + Word(1) + wide).status, 0x400034u);
  EXPECT_EQ(Send(0, 4028, device + Word(1) + written.substr(0, 24) + Quad(0x1234) + written.substr(40)).status,
            0x2C00B01u);
  EXPECT_EQ(Send(0, 4028, device + Word(2) + written).status, 0x400035u);
  EXPECT_EQ(Send(0, 4027, device + Word(1)).status, 0u);
  EXPECT_EQ(Send(0, 4027, device + Word(1)).status, 0x400035u);
  EXPECT_EQ(Send(0, 4027, device + Word(33)).status, 0x400035u);
}

}  // namespace
}  // namespace acq_device_test
