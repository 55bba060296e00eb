#include <unistd.h>

#include <vector>

#include "source/QelHost/tests/host_test_support.h"

namespace {

using host_test::HostLayer;

// Messages a port server's handler saw, with the port word they carried.
std::vector<std::pair<std::uint32_t, std::uint32_t>> g_seen;

QelStatus RecordingHandler(QelMessageHeader* message) {
  g_seen.emplace_back(message->destination, message->port);
  return QEL_OK;
}

QelMessageHeader Message(std::uint32_t destination) {
  QelMessageHeader message{};
  message.size = sizeof message;
  message.destination = destination;
  message.flags = kQelMsgNoAnswer;
  message.port = 0xEEEE;
  return message;
}

TEST_F(HostLayer, AddressesAndTheIndexPosition) {
  struct Case {
    std::uint32_t address;
    int position;
    std::uint32_t port7;  // the address of port 7
  };
  for (const Case& c : {Case{0x01DE0100, 0, 0x01DE0107}, Case{0x01000000, 2, 0x01070000},
                        Case{0x00DE0000, 1, 0x00DE0700}, Case{0x01DE0105, -1, 0}, Case{0, 3, 0x07000000}}) {
    SetAddress(c.address);
    EXPECT_EQ(HostGetIndexPosition(), c.position) << std::hex << c.address;
    EXPECT_EQ(HostGetLocalAddress(), c.address);
    EXPECT_TRUE(HostIsLocalAddress(c.address));
    EXPECT_EQ(HostGetLocalServerHandle()->server, c.address);
    EXPECT_EQ(HostGetLocalServerHandle()->tag, kQelTagServer);
    std::uint32_t port = 0;
    if (c.position < 0) {
      EXPECT_EQ(HOSTGETPORTADDRESS(7, &port), 95u);
    } else {
      ASSERT_EQ(HOSTGETPORTADDRESS(7, &port), QEL_OK);
      EXPECT_EQ(port, c.port7) << std::hex << c.address;
    }
  }
  EXPECT_TRUE(Logged("QELHOST: HOSTGETPORTADDRESS => Server not found"));

  SetAddress(0x01DE0100);
  EXPECT_TRUE(HostIsOnThisBoard(0x00123456));  // top byte 0
  EXPECT_TRUE(HostIsOnThisBoard(0x02DE0000));  // same byte 2
  EXPECT_FALSE(HostIsOnThisBoard(0x01DF0100));
}

TEST_F(HostLayer, RoutesThroughPortZeroToTheParent) {
  g_seen.clear();
  SetAddress(0x01DE0100);  // a board's server: its index in byte 0
  auto message = Message(0x01000000);
  EXPECT_EQ(HOSTPOSTMSG(&message, nullptr, 0, nullptr), 95u);  // port 0 is not open
  EXPECT_TRUE(Logged("QELHOST: HOSTSENDMSGTOPARENT => Server not found (0 0x01000000)"));
  ASSERT_EQ(HOSTINSTALLPORTSERVER(62, RecordingHandler, 0), QEL_OK);
  ASSERT_EQ(HOSTNEWPORT(0, 62), QEL_OK);
  EXPECT_EQ(HostGetSharedTables()->ports[0].server, 62u | kHostLocalServerBit);
  EXPECT_EQ(HOSTPOSTMSG(&message, nullptr, 0, nullptr), QEL_OK);
  ASSERT_EQ(g_seen.size(), 1u);
  EXPECT_EQ(g_seen[0], std::make_pair(0x01000000u, 0u));
  EXPECT_EQ(message.source, 0x01DE0100u);  // filled with the local address

  // The parent is taken for any destination whose bytes above the index differ.
  auto other = Message(0x02000000);
  EXPECT_EQ(HOSTSENDANSWER(&other), QEL_OK);
  EXPECT_EQ(g_seen.size(), 2u);
  // A server with its index in byte 0 of its base always goes to its parent.
  SetAddress(0x01DE0105);
  EXPECT_EQ(HOSTSENDANSWER(&other), QEL_OK);
  EXPECT_EQ(g_seen.size(), 3u);
}

TEST_F(HostLayer, RoutesByTheIndexByteToAChild) {
  g_seen.clear();
  SetAddress(0x01000000);  // the SDK host: children in byte 2
  ASSERT_EQ(HOSTINSTALLPORTSERVER(62, RecordingHandler, 0), QEL_OK);
  ASSERT_EQ(HOSTNEWPORT(222, 62), QEL_OK);
  auto toBoard = Message(0x01DE0100);
  EXPECT_EQ(HOSTPOSTMSG(&toBoard, nullptr, 0, nullptr), QEL_OK);
  ASSERT_EQ(g_seen.size(), 1u);
  EXPECT_EQ(g_seen[0], std::make_pair(0x01DE0100u, 222u));

  auto notOpen = Message(0x01DF0100);
  EXPECT_EQ(HOSTPOSTMSG(&notOpen, nullptr, 0, nullptr), 95u);
  EXPECT_TRUE(Logged("QELHOST: HOSTSENDMSGTOCHILD => Server not found (223 0x01df0100)"));
  // Another host's servers are not reached from here.
  auto otherHost = Message(0x02DE0100);
  EXPECT_EQ(HOSTPOSTMSG(&otherHost, nullptr, 0, nullptr), 95u);
  // Nor is a server of this board that is not this one.
  auto sameBoard = Message(0x00000005);
  EXPECT_EQ(HOSTPOSTMSG(&sameBoard, nullptr, 0, nullptr), 95u);
  EXPECT_EQ(g_seen.size(), 1u);

  // Ports count their users.
  ASSERT_EQ(HOSTNEWPORT(222, 62), QEL_OK);
  EXPECT_EQ(HOSTFREEPORT(222), QEL_OK);
  EXPECT_EQ(HOSTPOSTMSG(&toBoard, nullptr, 0, nullptr), QEL_OK);
  EXPECT_EQ(HOSTFREEPORT(222), QEL_OK);
  EXPECT_EQ(HostGetSharedTables()->ports[222].open, 0u);
  EXPECT_EQ(HOSTPOSTMSG(&toBoard, nullptr, 0, nullptr), 95u);
  EXPECT_EQ(HOSTFREEPORT(222), QEL_OK);
  EXPECT_EQ(HostGetSharedTables()->ports[222].useCount, 0);
}

TEST_F(HostLayer, PortServersAndTheirArguments) {
  EXPECT_EQ(HOSTNEWPORT(1, 256), 563u);
  EXPECT_TRUE(Logged("QELHOST: HOSTNEWPORT => Argument out of range (256)"));
  EXPECT_EQ(HOSTINSTALLPORTSERVER(256, RecordingHandler, 1), 307u);
  ASSERT_EQ(HOSTINSTALLPORTSERVER(5, nullptr, 1), QEL_OK);
  EXPECT_EQ(HOSTINSTALLPORTSERVER(5, nullptr, 1), 84u);
  EXPECT_TRUE(Logged("QELHOST: HOSTINSTALLPORTSERVER => Resource in use (5)"));
  const std::uint32_t slot = HostGetSharedTables()->portServers[5].transaction;
  EXPECT_EQ(HostGetSharedTables()->transactions[slot].inUse, 1u);
  QelMessageHeader* message = nullptr;
  EXPECT_EQ(HOSTGETPORTSERVERMSG(5, &message), 97u);
  EXPECT_EQ(HOSTGETPORTSERVERMSG(6, &message), 97u);
  EXPECT_EQ(HOSTGETPORTSERVERMSG(300, &message), 307u);
  EXPECT_EQ(HOSTUNINSTALLPORTSERVER(5), QEL_OK);
  EXPECT_EQ(HostGetSharedTables()->portServers[5].installed, 0u);
  EXPECT_EQ(HostGetSharedTables()->transactions[slot].inUse, 0u);
  EXPECT_EQ(HOSTUNINSTALLPORTSERVER(999), 307u);
  EXPECT_TRUE(Logged("QELHOST: HOSTUNINSTALLPORTSERVER => Argument out of range (999)"));
}

TEST_F(HostLayer, AHandlerOfAnotherProcessIsNeverCalled) {
  g_seen.clear();
  SetAddress(0x01DE0100);
  ASSERT_EQ(HOSTINSTALLPORTSERVER(62, RecordingHandler, 1), QEL_OK);
  ASSERT_EQ(HOSTNEWPORT(0, 62), QEL_OK);
  // The transaction now seems to belong to another living process.
  const std::uint32_t slot = HostGetSharedTables()->portServers[62].transaction;
  HostGetSharedTables()->transactions[slot].ownerProcessId = static_cast<std::uint32_t>(getppid());
  HostGetSharedTables()->ownerStartTimes[slot] = plat::process_start_time(getppid());
  auto message = Message(0x01000000);
  EXPECT_EQ(HOSTPOSTMSG(&message, nullptr, 0, nullptr), 95u);
  EXPECT_TRUE(g_seen.empty());
}

QelStatus Dispatch(QelMessageHeader* request) {
  g_seen.emplace_back(request->command, request->transaction);
  return request->command == 1005 ? QEL_OK : 70;
}

TEST_F(HostLayer, RequestsForThisServerGoToTheDispatch) {
  g_seen.clear();
  SetAddress(0x01DE0100);
  QelMessageHeader request{};
  request.size = sizeof request;
  request.destination = 0x01DE0100;
  request.command = 1005;
  HostTransaction* transaction = nullptr;
  EXPECT_EQ(HOSTPOSTMSG(&request, nullptr, 0, &transaction), 70u);  // no dispatch installed
  EXPECT_EQ(transaction, nullptr);
  HostSetRequestDispatcher(Dispatch);
  ASSERT_EQ(HOSTPOSTMSG(&request, nullptr, 0, &transaction), QEL_OK);
  ASSERT_NE(transaction, nullptr);
  EXPECT_EQ(g_seen.back(), std::make_pair(1005u, transaction->id));
  // A failing dispatch gives its transaction back.
  request.command = 1006;
  HostTransaction* failed = nullptr;
  EXPECT_EQ(HOSTPOSTMSG(&request, nullptr, 0, &failed), 70u);
  EXPECT_EQ(failed, nullptr);
  EXPECT_EQ(HostGetSharedTables()->transactions[1].inUse, 0u);
  // A request handed over by the relay goes the same way.
  request.command = 1005;
  EXPECT_EQ(HOSTSENDANSWER(&request), QEL_OK);
}

}  // namespace
