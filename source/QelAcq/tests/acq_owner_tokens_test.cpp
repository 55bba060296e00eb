// Tokens in the shared records: resolved only by the process that issued
// them, and their issuer known dead once it is.
#include <gtest/gtest.h>

#include "platform/testing/child_process.h"
#include "platform/win/process.h"
#include "source/QelAcq/AcqOwnerTokens.h"

namespace {

TEST(AcqOwnerTokens, ResolveOnlyInTheIssuingProcess) {
  const AcqOwnerTag self = AcqOwnerTagOfThisProcess();
  const AcqToken token = AcqIssueToken(0x1234);
  const AcqToken other = AcqIssueToken(0x1234);
  EXPECT_NE(token, 0u);
  EXPECT_NE(token, other);
  std::uint64_t value = 0;
  ASSERT_TRUE(AcqResolveToken(self, token, &value));
  EXPECT_EQ(value, 0x1234u);

  // The same token under another process's tag, or the same pid started at
  // another time, names nothing here.
  AcqOwnerTag stranger = self;
  stranger.startTime += 1;
  EXPECT_FALSE(AcqResolveToken(stranger, token, &value));
  EXPECT_FALSE(AcqResolveToken(AcqOwnerTag{}, token, &value));
  EXPECT_FALSE(AcqResolveToken(self, 0, &value));

  AcqRetireToken(token);
  EXPECT_FALSE(AcqResolveToken(self, token, &value));
  EXPECT_TRUE(AcqResolveToken(self, other, &value));
  AcqRetireToken(other);
}

TEST(AcqOwnerTokens, AKilledIssuerIsNoLongerLive) {
  plat::testing::ChildProcess child("/bin/sleep", {"30"});
  const AcqOwnerTag tag{child.pid(), 0, plat::process_start_time(child.pid())};
  ASSERT_NE(tag.startTime, 0u);
  EXPECT_TRUE(AcqOwnerTagIsLive(tag));
  EXPECT_FALSE(AcqOwnerTagIsThisProcess(tag));
  child.kill_hard();
  EXPECT_FALSE(AcqOwnerTagIsLive(tag));
  EXPECT_TRUE(AcqOwnerTagIsLive(AcqOwnerTagOfThisProcess()));
  EXPECT_FALSE(AcqOwnerTagIsLive(AcqOwnerTag{}));
}

}  // namespace
