// The client stubs' exchange in one process, against a test handler range of
// this server: the busy retry, the repetition and its bound, the unpacking.
#include <cstring>
#include <vector>

#include "source/QelAPI/QelCapiExchange.h"
#include "source/QelHost/tests/host_test_support.h"

namespace {

constexpr std::uint32_t kCommand = 9500;

// The statuses the test server answers, one per request; the last repeats.
std::vector<QelStatus> g_script;
std::size_t g_requests = 0;
std::vector<std::uint32_t> g_words;

QelStatus Scripted(QelMessageHeader* request) {
  const QelStatus status = g_script[std::min(g_requests, g_script.size() - 1)];
  ++g_requests;
  std::uint32_t word = 0;
  std::memcpy(&word, request + 1, sizeof word);
  g_words.push_back(word);
  QelMessageHeader* answer = nullptr;
  if (const QelStatus allocated = QelManAllocAnswer(request, sizeof(QelMessageHeader) + 4, &answer);
      allocated != QEL_OK)
    return allocated;
  const std::uint32_t reply = word + 1;
  std::memcpy(answer + 1, &reply, sizeof reply);
  answer->command = status;
  return QelManSendAnswer(answer);
}

void FillWord(const void* context, QelMessageHeader* request) {
  std::memcpy(request + 1, context, sizeof(std::uint32_t));
}

QelStatus ReadWord(void* context, const QelMessageHeader* answer) {
  std::memcpy(context, answer + 1, sizeof(std::uint32_t));
  return QEL_OK;
}

class CapiExchange : public host_test::HostLayer {
 protected:
  void SetUp() override {
    HostLayer::SetUp();
    g_script.clear();
    g_requests = 0;
    g_words.clear();
    QelApiInstallDispatch();
    ASSERT_EQ(QELMANINITEVENTS(), QEL_OK);
    SetAddress(0x01DE0100);
    static const QelFuncHandler table[1] = {Scripted};
    ASSERT_EQ(QelManNewFuncHandler(kCommand, kCommand, table, &token_), QEL_OK);
  }
  void TearDown() override {
    ManServerFree(&token_);
    QelManFreeEvents();
    HostLayer::TearDown();
  }

  QelStatus Call(bool busyRetry, std::uint32_t timeoutMs = 2000) {
    const std::uint32_t sent = 41;
    QelCapiCall call{HostGetLocalAddress(), kCommand, sizeof(QelMessageHeader) + 4, busyRetry, timeoutMs,
                     FillWord, &sent, ReadWord, &received_};
    return QelCapiExchange(call);
  }

  HostFuncHandler* token_ = nullptr;
  std::uint32_t received_ = 0;
};

TEST_F(CapiExchange, ABusyServerIsAskedAgainUntilItAnswers) {
  g_script = {0x80006B, 0x80006B, 0x80006B, QEL_OK};
  EXPECT_EQ(Call(true), QEL_OK);
  EXPECT_EQ(g_requests, 4u);
  EXPECT_EQ(g_words, (std::vector<std::uint32_t>{41, 41, 41, 41}));
  EXPECT_EQ(received_, 42u);
}

TEST_F(CapiExchange, WithoutTheBusyRetryTheBusyStatusComesBackAtOnce) {
  g_script = {0x30006B, QEL_OK};
  EXPECT_EQ(Call(false), 0x30006Bu);
  EXPECT_EQ(g_requests, 1u);
  EXPECT_EQ(received_, 0u);
}

TEST_F(CapiExchange, AServerBusyForEverGivesItsBusyStatusBack) {
  g_script = {0x80006B};
  EXPECT_EQ(Call(true), 0x80006Bu);
  EXPECT_GT(g_requests, 2u);
}

TEST_F(CapiExchange, ARepetitionSendsAFreshRequestAndTheFirstOtherStatusIsReturned) {
  g_script = {0x80007E, 0x80007E, 0x800233};
  EXPECT_EQ(Call(true), 0x800233u);
  EXPECT_EQ(g_requests, 3u);
  EXPECT_EQ(g_words, (std::vector<std::uint32_t>{41, 41, 41}));
  EXPECT_EQ(received_, 0u);  // nothing is read from a failed answer
}

TEST_F(CapiExchange, RepetitionsEndAfterTenTimeOutsWithALogLine) {
  g_script = {0x80007E};
  EXPECT_EQ(Call(true, 20), 0x80007Eu);
  EXPECT_GT(g_requests, 1u);
  EXPECT_TRUE(Logged("still asked for repetition"));
}

TEST_F(CapiExchange, EveryEventAndMessageIsGivenBack) {
  g_script = {0x80006B, 0x80007E, QEL_OK};
  for (int i = 0; i < 100; ++i) {
    g_requests = 0;
    ASSERT_EQ(Call(true), QEL_OK);
  }
  // 64 events in the pool: a leak of one per call would have run it dry.
  plat::Handle event = plat::kNullHandle;
  ASSERT_TRUE(ApiLock());
  EXPECT_EQ(QelManGetEvent(&event), QEL_OK);
  QelManReleaseEvent(event);
  ApiUnlock();
}

TEST_F(CapiExchange, AServerThatIsNotThereEndsTheExchangeWithTheTransportStatus) {
  QelCapiCall call{0x01DE0700, 1, sizeof(QelMessageHeader), true, 200, nullptr, nullptr, nullptr, nullptr};
  EXPECT_NE(QelCapiExchange(call), QEL_OK);
}

}  // namespace
