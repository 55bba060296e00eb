#include <set>
#include <vector>

#include "source/QelHost/tests/host_test_support.h"

namespace {

using host_test::HostLayer;

TEST_F(HostLayer, ThirtyThirdTransactionFindsTheTableFull) {
  std::set<std::uint32_t> ids;
  std::vector<HostTransaction*> taken;
  for (int index = 0; index < 32; ++index) {
    HostTransaction* transaction = nullptr;
    ASSERT_EQ(HOSTNEWTRANSAC(&transaction), QEL_OK) << index;
    EXPECT_EQ(transaction->inUse, 1u);
    EXPECT_EQ(transaction->ownerProcessId, static_cast<std::uint32_t>(getpid()));
    EXPECT_EQ(transaction->id & 31, static_cast<std::uint32_t>(index));
    ids.insert(transaction->id);
    taken.push_back(transaction);
  }
  EXPECT_EQ(ids.size(), 32u);
  EXPECT_EQ(ids.count(0), 0u);
  HostTransaction* extra = nullptr;
  EXPECT_EQ(HOSTNEWTRANSAC(&extra), 0x100047u);
  EXPECT_EQ(extra, nullptr);
  EXPECT_TRUE(Logged("QELHOST: HOSTNEWTRANSAC => Transaction table is full (32)"));
  // A freed slot is the next one given, under a new id.
  const std::uint32_t oldId = taken[7]->id;
  EXPECT_EQ(HOSTFREETRANSAC(taken[7]), QEL_OK);
  EXPECT_EQ(taken[7]->inUse, 0u);
  ASSERT_EQ(HOSTNEWTRANSAC(&extra), QEL_OK);
  EXPECT_EQ(extra, taken[7]);
  EXPECT_NE(extra->id, oldId);
}

TEST_F(HostLayer, TransactionIdsFindTheirRecordOnlyWhileTheyLast) {
  HostTransaction* transaction = nullptr;
  ASSERT_EQ(HOSTNEWTRANSAC(&transaction), QEL_OK);
  const std::uint32_t id = transaction->id;
  HostTransaction* found = nullptr;
  ASSERT_EQ(HOSTGETTRANSACPTR(id, &found), QEL_OK);
  EXPECT_EQ(found, transaction);
  HOSTFREETRANSAC(transaction);
  HostTransaction* reused = nullptr;
  ASSERT_EQ(HOSTNEWTRANSAC(&reused), QEL_OK);
  ASSERT_EQ(reused, transaction);  // the same slot, another id
  EXPECT_EQ(HOSTGETTRANSACPTR(id, &found), 95u);
  EXPECT_EQ(found, nullptr);
  EXPECT_TRUE(Logged("QELHOST: HOSTGETTRANSACPTR => Server not found (" + std::to_string(reused->id) + " != " +
                     std::to_string(id) + ")"));
  EXPECT_EQ(HOSTGETTRANSACPTR(0, &found), 95u);  // id 0 names nobody, even a free slot 0
}

TEST_F(HostLayer, SequenceWrapsToOneAndNeverGivesIdZero) {
  HostSharedTables* tables = HostGetSharedTables();
  tables->sequence = 0xFFFFFFFE;
  std::vector<std::uint32_t> ids;
  for (int round = 0; round < 4; ++round) {
    HostTransaction* transaction = nullptr;
    ASSERT_EQ(HOSTNEWTRANSAC(&transaction), QEL_OK);
    ids.push_back(transaction->id);
    HOSTFREETRANSAC(transaction);
  }
  // Slot 0 each time: sequences 0xFFFFFFFE, 0xFFFFFFFF, then 1 and 2.
  EXPECT_EQ(ids, (std::vector<std::uint32_t>{0xFFFFFFFEu << 5, 0xFFFFFFFFu << 5, 1u << 5, 2u << 5}));
  EXPECT_EQ(tables->sequence, 3u);

  // Sequence values whose id in slot 0 would be 0 are skipped: 0 itself
  // (a fresh table) and every multiple of 2^27.
  for (std::uint32_t sequence : {0u, 1u << 27, 3u << 27}) {
    tables->sequence = sequence;
    HostTransaction* transaction = nullptr;
    ASSERT_EQ(HOSTNEWTRANSAC(&transaction), QEL_OK);
    EXPECT_EQ(transaction->id, (sequence + 1) << 5) << sequence;
    EXPECT_EQ(tables->sequence, sequence + 2);
    HOSTFREETRANSAC(transaction);
  }
  // In another slot the same sequence value is fine.
  HostTransaction* first = nullptr;
  HostTransaction* second = nullptr;
  tables->sequence = 0;
  ASSERT_EQ(HOSTNEWTRANSAC(&first), QEL_OK);
  tables->sequence = 1u << 27;
  ASSERT_EQ(HOSTNEWTRANSAC(&second), QEL_OK);
  EXPECT_EQ(second->id, 1u);
}

TEST_F(HostLayer, NullAndForeignPointers) {
  EXPECT_EQ(HOSTNEWTRANSAC(nullptr), 310u);
  EXPECT_EQ(HOSTFREETRANSAC(nullptr), 310u);
  HostTransaction outside{};
  EXPECT_EQ(HOSTFREETRANSAC(&outside), 306u);
  QelMessageHeader* message = nullptr;
  EXPECT_EQ(HOSTGETANSWER(nullptr, &message), 97u);
  EXPECT_EQ(HOSTGETANSWER(&outside, &message), 97u);
  EXPECT_EQ(HOSTPOSTMSG(nullptr, nullptr, 0, nullptr), 96u);
  EXPECT_EQ(HOSTSENDANSWER(nullptr), 96u);
  EXPECT_EQ(HOSTFREEMSG(nullptr), 310u);
}

}  // namespace
