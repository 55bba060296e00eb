// The input LUT read and written through commands 4010/4011 from a client
// process (quillet-helper-acqclient) on the road of the SDK's users: a LUT
// object made in the client reaches the board's input LUT, shows in the next
// grabbed frame and reads back; LUT objects that do not fit the device are
// refused.
#include <functional>

#include "source/QelAcq/tests/acq_client_fixture.h"

namespace acq_device_test {
namespace {

constexpr std::uint32_t kMono8 = 0x1010800;
constexpr std::uint32_t kMono16 = 0x1021000;
constexpr std::uint32_t kLutCountId = 0x82E0004, kLutFormatId = 0x8320004, kLutEntriesId = 0x85F0004;
constexpr std::uint32_t kLutEnableId = 0x81B0004;
constexpr std::uint32_t kRead = 4010, kWrite = 4011;

class AcqLutCommands : public AcqClientRoad {
 protected:
  // A LUT object of the client, its handle's bytes in hex.
  std::string NewLut(std::uint32_t entries, std::uint32_t format, const std::vector<std::uint8_t>& bytes) {
    std::istringstream in(Ask(*client_, "lut " + std::to_string(entries) + " " + std::to_string(format) + " " + Hex(bytes)));
    std::string word, status, handle;
    in >> word >> status >> handle;
    EXPECT_EQ(status, "0");
    return handle;
  }
  std::uint32_t Level(const std::string& device, std::uint32_t id) {
    const Answer value = Send(0, 4005, device + Word(id));
    EXPECT_EQ(value.status, 0u);
    return WordAt(value.payload, 0);
  }
};

TEST_F(AcqLutCommands, AWrittenLutMapsTheGrabbedPixelsAndReadsBackAndMisfitsAreRefused) {
  StartBoards({Factory("FolvantX4Dual")});
  SetCamera(0, kWindowWidth, kWindowLines, 2000);
  StartClient();
  const std::string device = Device(0);
  ASSERT_EQ(Level(device, kLutFormatId), 0x1010100u);
  ASSERT_EQ(Level(device, kLutEntriesId), 256u);
  const std::uint32_t luts = Level(device, kLutCountId);
  ASSERT_GT(luts, 0u);

  std::vector<std::uint8_t> values(256);
  for (std::uint32_t i = 0; i < values.size(); ++i) values[i] = static_cast<std::uint8_t>(255 - i);
  const std::string written = NewLut(256, kMono8, values);
  const std::string back = NewLut(256, kMono8, std::vector<std::uint8_t>(256));
  const std::string shorter = NewLut(128, kMono8, std::vector<std::uint8_t>(128));
  const std::string wider = NewLut(256, kMono16, std::vector<std::uint8_t>(512));
  const std::string forged = written.substr(0, 24) + Quad(0x1234) + written.substr(40);

  ASSERT_EQ(Send(0, kWrite, device + written + Word(0)).status, 0u);
  ASSERT_EQ(Send(0, 4006, device + Word(kLutEnableId) + Word(1)).status, 0u);
  const std::uint32_t first = GrabState(0).next_frame;
  std::string expected;
  char two[3];
  for (std::uint32_t y = 0; y < kWindowLines; ++y)
    for (std::uint32_t x = 0; x < kWindowWidth; ++x) {
      std::snprintf(two, sizeof two, "%02x", 255 - plat::board::camera_pattern(0, 0, first, x, y));
      expected += two;
    }
  EXPECT_EQ(Ask(*client_, "grab 0 0 64 8"), "grab 0 0 1 " + expected);

  ASSERT_EQ(Send(0, kRead, device + back + Word(0)).status, 0u);
  EXPECT_EQ(Ask(*client_, "lutdata 1"), "lutdata " + Hex(values));

  const struct {
    std::uint32_t command;
    std::string lut;
    std::uint32_t index;
    std::uint32_t status;
  } refused[] = {
      {kWrite, shorter, 0, 0x400411}, {kRead, shorter, 0, 0x400411}, {kWrite, wider, 0, 0x400211},
      {kRead, wider, 0, 0x400211},    {kWrite, written, luts, 0x400333}, {kRead, back, luts, 0x400333},
      {kWrite, forged, 0, 0x410401},  {kRead, forged, 0, 0x410401},
  };
  for (const auto& c : refused)
    EXPECT_EQ(Send(0, c.command, device + c.lut + Word(c.index)).status, c.status) << c.command << " " << c.index;
  EXPECT_EQ(Ask(*client_, "lutdata 2"), "lutdata " + Hex(std::vector<std::uint8_t>(128)));
}

// A colour device's LUT object holds three planes of one-byte entries, with
// the packed colour output format and with the planar one alike: each plane
// reaches its own channel and reads back as written, and a LUT of three equal
// planes maps the grabbed pixels (in the packed layout, whose pixels stand as
// the camera gives them).
TEST_F(AcqLutCommands, AColourLutOfByteEntriesReachesTheBoardPlaneByPlaneAndReadsBack) {
  StartBoards({Factory("FolvantX4Dual")});
  SetCamera(0, kWindowWidth, kWindowLines, 2000);
  StartClient();
  constexpr std::uint32_t kColourDevice = 2, kColour8 = 0x43000800, kOutputFormatId = 0x8280004;
  const std::string device = Device(0, kColourDevice);
  ASSERT_EQ(Send(0, 4006, device + Word(kLutEnableId) + Word(1)).status, 0u);
  const struct {
    std::uint32_t output;
    std::uint8_t (*map)(std::uint8_t);
    bool grabbed;
  } cases[] = {
      {0x61092000, [](std::uint8_t v) { return static_cast<std::uint8_t>(255 - v); }, true},
      {0x3010800, [](std::uint8_t v) { return static_cast<std::uint8_t>(v ^ 0x5A); }, false},
  };
  std::uint32_t luts = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.output);
    ASSERT_EQ(Send(0, 4006, device + Word(kOutputFormatId) + Word(c.output)).status, 0u);
    ASSERT_EQ(Level(device, kLutFormatId), kColour8);
    ASSERT_EQ(Level(device, kLutEntriesId), 256u);
    std::vector<std::uint8_t> distinct, equal;
    for (std::uint32_t plane = 0; plane < 3; ++plane)
      for (std::uint32_t i = 0; i < 256; ++i) {
        distinct.push_back(static_cast<std::uint8_t>(c.map(static_cast<std::uint8_t>(i)) + 85 * plane));
        equal.push_back(c.map(static_cast<std::uint8_t>(i)));
      }
    const std::string written = NewLut(256, kColour8, distinct);
    const std::string back = NewLut(256, kColour8, std::vector<std::uint8_t>(distinct.size()));
    ASSERT_EQ(Send(0, kWrite, device + written + Word(0)).status, 0u);
    ASSERT_EQ(Send(0, kRead, device + back + Word(0)).status, 0u);
    EXPECT_EQ(Ask(*client_, "lutdata " + std::to_string(luts + 1)), "lutdata " + Hex(distinct));

    ASSERT_EQ(Send(0, kWrite, device + NewLut(256, kColour8, equal) + Word(0)).status, 0u);
    luts += 3;
    if (!c.grabbed) continue;
    const std::uint32_t first = GrabState(0).next_frame;
    const std::string expected = Pattern(0, first, 0, 0, kWindowWidth, kWindowLines, c.map);
    EXPECT_EQ(Ask(*client_, "grab 0 " + std::to_string(kColourDevice) + " 64 8"), "grab 0 0 1 " + expected);
  }
}

}  // namespace
}  // namespace acq_device_test
