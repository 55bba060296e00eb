// A transfer connected on the road of the SDK's users: a client process
// (quillet-helper-xferclient) opens a device (4001), makes a contiguous
// and a scatter-gather host buffer (9001), builds and connects a transfer (16019, 16020, 16002) and
// disconnects it (16003), all through "QelApi.dll", the device-control
// module and the server driver; one such client is killed with SIGKILL while
// connected.
#include "platform/board/control_protocol.h"
#include "platform/testing/board_control.h"
#include "source/QelXfer/tests/xfer_road_support.h"

namespace {

using namespace xfer_road;
using plat::testing::ChildProcess;

constexpr std::uint32_t kWidthId = 0x8130004;   // the acquisition window's width
constexpr std::uint32_t kHeightId = 0x8140004;  // and its lines
constexpr std::uint32_t kBusy = 0x481457;
constexpr std::uint32_t kInUse = 0x400054;      // a device another living process holds       // a window change while the device is transfer-connected
constexpr std::uint32_t kHostMessages = 0x10014;
constexpr std::uint32_t kClientServer = 0x01000000;
constexpr std::uint32_t kContiguous = 0x1;
constexpr std::uint32_t kScatterGather = 0x20;
constexpr char kNoConnection[] = "matrix 0 0 0 0 -1 0 0 -1 -1 -1 -1 0";
constexpr char kOneConnection[] = "matrix 1 0 0 0 -1 0 0 -1 -1 -1 -1 0";

std::uint32_t WordAt(const std::string& hex, std::size_t byte) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | std::stoul(hex.substr(2 * (byte + i), 2), nullptr, 16);
  return value;
}

// Whether the board's host message interrupt is enabled (bit 0 of 0x10014):
// the driver keeps it on while any transfer route exists.
bool HostMessagesOn() {
  std::uint32_t value = 0;
  EXPECT_EQ(plat::testing::board_control_register_read(0, kHostMessages, &value), plat::board::kControlOk);
  return (value & 1) != 0;
}

class XferSdkConnect : public road_test::Road {
 protected:
  ChildProcess& Client() {
    ChildProcess& client = Start("quillet-helper-xferclient");
    EXPECT_EQ(Ask(client, "open"), "open 0");
    return client;
  }

  static Answer Send(ChildProcess& client, std::uint32_t command, const std::string& hex) {
    return ParseAnswer(Ask(client, "send 0 " + std::to_string(command) + " " + hex));
  }

  static std::uint32_t Prm(ChildProcess& client, const std::string& device, std::uint32_t id) {
    const Answer answer = Send(client, 4005, device + Word(id));
    EXPECT_EQ(answer.status, 0u) << std::hex << id;
    return answer.payload.size() >= 8 ? WordAt(answer.payload, 0) : 0;
  }

  // 4001 on device 0; the device's handle.
  static std::string OpenDevice(ChildProcess& client) {
    const Answer opened = Send(client, 4001, ServerHex() + Word(0));
    EXPECT_EQ(opened.status, 0u);
    return opened.payload.substr(0, 64);
  }

  // An 8-bit host buffer of the window's size in memory of `kind`. Host
  // buffers are the SDK host server's, which this SDK does not serve: the
  // board's server makes the buffer in host memory (scatter-gather, or
  // contiguous when not asked for its own memory) in the client's process,
  // and the handle names the client's own server as the host server's would.
  static std::string HostBuffer(ChildProcess& client, std::uint32_t width, std::uint32_t height, std::uint32_t kind) {
    const Answer made = Send(client, 9001, ServerHex(kClientServer) + Word(width) + Word(height) + Word(0x1010800) +
                                               Word(kind));
    EXPECT_EQ(made.status, 0u);
    return Word(kClientServer) + made.payload.substr(8, 56);
  }

  // A transfer from the device to two host buffers of the window's size, connected.
  static std::string Connected(ChildProcess& client, const std::string& device) {
    const std::uint32_t width = Prm(client, device, kWidthId), height = Prm(client, device, kHeightId);
    const std::string first = HostBuffer(client, width, height, kContiguous);
    const std::string second = HostBuffer(client, width, height, kScatterGather);
    const Answer made = Send(client, 16019, ServerHex() + device + Word(0) + first + Word(0) + Zeros(20));
    EXPECT_EQ(made.status, 0u);
    const std::string xfer = made.payload.substr(0, 64);
    EXPECT_EQ(Send(client, 16020, xfer + device + Word(0) + second + Word(0) + Zeros(20)).status, 0u);
    EXPECT_EQ(Send(client, 16002, xfer).status, 0u);
    return xfer;
  }

  // 4006 of the window's lines with their own value: refused only while transfer-connected.
  static std::uint32_t TouchWindow(ChildProcess& client, const std::string& device) {
    return Send(client, 4006, device + Word(kHeightId) + Word(Prm(client, device, kHeightId))).status;
  }
};

TEST_F(XferSdkConnect, AClientConnectsThroughTheSdkAndDisconnectGivesEverythingBack) {
  ChildProcess& client = Client();
  const std::string device = OpenDevice(client);
  const std::string before = Ask(client, "free 0 0");
  ASSERT_EQ(Ask(client, "stages 0"), "stages 0 0 0 0");

  const std::string xfer = Connected(client, device);
  EXPECT_NE(Ask(client, "free 0 0"), before);  // the internal buffers
  EXPECT_EQ(Ask(client, "stages 0").rfind("stages 1 ", 0), 0u);
  EXPECT_EQ(Ask(client, "matrix 0"), kOneConnection);
  EXPECT_EQ(TouchWindow(client, device), kBusy);
  EXPECT_TRUE(HostMessagesOn());  // the end-of-transfer route

  EXPECT_EQ(Send(client, 16003, xfer).status, 0u);
  EXPECT_EQ(Ask(client, "free 0 0"), before);
  EXPECT_EQ(Ask(client, "stages 0"), "stages 0 0 0 0");
  EXPECT_EQ(Ask(client, "matrix 0"), kNoConnection);
  EXPECT_EQ(TouchWindow(client, device), 0u);
  EXPECT_FALSE(HostMessagesOn());  // the route went with the board transfer
  EXPECT_EQ(Send(client, 16003, xfer).status, 0u);  // not connected: nothing to do
  EXPECT_EQ(Send(client, 16001, xfer).status, 0u);
  EXPECT_EQ(Send(client, 4002, device).status, 0u);
}

// A client killed while connected leaves its device transfer-connected in the
// shared records; the other client's next 4001 reclaims the device with the
// flag clear, finds the board's memory back and connects in the dead one's
// place.
TEST_F(XferSdkConnect, AKilledClientsConnectionIsReclaimedByTheNext) {
  ChildProcess& first = Client();
  ChildProcess& next = Client();
  const std::string before = Ask(first, "free 0 0");
  Connected(first, OpenDevice(first));
  ASSERT_EQ(Ask(next, "matrix 0"), kOneConnection);
  EXPECT_EQ(Send(next, 4001, ServerHex() + Word(0)).status, kInUse);
  first.kill_hard();

  const std::string device = OpenDevice(next);
  EXPECT_TRUE(LogShows({"terminated abnormally", "recovered successfully"}));
  EXPECT_EQ(TouchWindow(next, device), 0u);
  EXPECT_EQ(Ask(next, "free 0 0"), before);
  const std::string xfer = Connected(next, device);
  EXPECT_EQ(Ask(next, "matrix 0"), kOneConnection);
  EXPECT_EQ(TouchWindow(next, device), kBusy);
  EXPECT_EQ(Send(next, 16003, xfer).status, 0u);
  EXPECT_EQ(Ask(next, "matrix 0"), kNoConnection);
}

}  // namespace
