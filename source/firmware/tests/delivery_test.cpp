// The delivery slot takes every message it is given over: a request is freed
// once its handler ran, an answer goes to its waiter, and a message delivery
// refuses is freed rather than lost in the pool.
#include "platform/win/library.h"
#include "source/QelAPI/QelApi.h"
#include "source/QelHost/tests/host_test_support.h"
#include "source/firmware/HostFirmware.h"

namespace {

using host_test::HostLayer;

std::uint32_t BlocksInUse() {
  auto status = reinterpret_cast<qelmem::QelMemGetMsgMemStatusFn>(
      plat::get_proc_address(plat::find_loaded_library("QelMem.dll"), "QelMemGetMsgMemStatus"));
  qelmem::QelMemStatus pool{};
  return status != nullptr && status(&pool) ? pool.blocks_in_use : 0xFFFFFFFF;
}

QelMessageHeader* Message(std::uint32_t destination, std::uint32_t flags, std::uint32_t transaction) {
  QelMessageHeader* message = nullptr;
  if (HOSTALLOCMSG(sizeof(QelMessageHeader) + 32, &message) != QEL_OK) return nullptr;
  message->destination = destination;
  message->source = 0x01000000;
  message->flags = flags;
  message->transaction = transaction;
  message->command = 1007;
  return message;
}

TEST_F(HostLayer, DeliveryTakesEveryMessageOverAndFreesWhatItRefuses) {
  QelApiInstallDispatch();
  const std::uint32_t before = BlocksInUse();
  // A request without handler: answered 70, but this server has no way out (no
  // port 0), so its answer is freed too; the request is freed once dispatched.
  EXPECT_EQ(Man_DeliverMessage(Message(0x01DE0100, 0, 0)), QEL_OK);
  EXPECT_EQ(HostGetLocalAddress(), 0x01DE0100u);
  // An answer for a transaction that does not exist.
  EXPECT_EQ(Man_DeliverMessage(Message(0x01DE0200, kQelMsgAnswer, 77)), QEL_OK);
  EXPECT_TRUE(Logged("QELHOST: HOSTGETTRANSACPTR => Server not found"));
  EXPECT_EQ(BlocksInUse(), before);
  // An answer its waiter takes from its transaction.
  HostTransaction* transaction = nullptr;
  ASSERT_EQ(HOSTNEWTRANSAC(&transaction), QEL_OK);
  EXPECT_EQ(Man_DeliverMessage(Message(0x01DE0200, kQelMsgAnswer, transaction->id)), QEL_OK);
  EXPECT_EQ(BlocksInUse(), before + 1);
  QelMessageHeader* answer = nullptr;
  ASSERT_EQ(HOSTGETANSWER(transaction, &answer), QEL_OK);
  HOSTFREEMSG(answer);
  HOSTFREETRANSAC(transaction);
  EXPECT_EQ(BlocksInUse(), before);
  EXPECT_EQ(Man_DeliverMessage(nullptr), 96u);
}

}  // namespace
