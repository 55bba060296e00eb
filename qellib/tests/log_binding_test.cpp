#include <string>

#include "qellib/QelLog.h"
#include "qellib_test_support.h"

namespace {

using qellib_test::LogLineWith;

class LogBindingTest : public ::testing::Test {
 protected:
  void TearDown() override { UnloadQelLog(); }
  plat::testing::ScopedMachine machine_;
};

TEST_F(LogBindingTest, LinesReachTheLogWithLevelSourceAndLine) {
  ASSERT_TRUE(LoadQelLog());
  LogPutLog(2, "source/Board.cpp", 120, "%s, Board %d => ready", "Pardow.DLL", 3);
  LogPutMsg(1, "%s plain message", "Quillet.dll");

  std::string line = LogLineWith("Pardow.DLL, Board 3 => ready");
  EXPECT_EQ(line.rfind("L2 ", 0), 0u) << line;
  EXPECT_NE(line.find(" source/Board.cpp:120 Pardow.DLL, Board 3 => ready"), std::string::npos)
      << line;
  EXPECT_EQ(LogLineWith("Quillet.dll plain message").rfind("L1 ", 0), 0u);
  EXPECT_EQ(QelLogOnline(0, 0, 0, 0, 0, 0), 1);
}

TEST_F(LogBindingTest, LongTextIsCutAt255Characters) {
  ASSERT_TRUE(LoadQelLog());
  const std::string long_text(300, 'x');
  LogPutLog(0, "Cut.cpp", 5, "%s", long_text.c_str());

  std::string line = LogLineWith("Cut.cpp:5 ");
  ASSERT_FALSE(line.empty());
  EXPECT_EQ(line.substr(line.find("Cut.cpp:5 ") + 10), std::string(255, 'x'));
}

TEST_F(LogBindingTest, SecondLoadAnswersFalseAndKeepsTheBinding) {
  EXPECT_FALSE(IsQelLogBound());
  ASSERT_TRUE(LoadQelLog());
  EXPECT_FALSE(LoadQelLog());
  EXPECT_TRUE(IsQelLogBound());
  LogPutLog(3, "Twice.cpp", 1, "still bound");
  EXPECT_FALSE(LogLineWith("still bound").empty());
}

TEST_F(LogBindingTest, UnboundLinesAreDroppedWithoutFormatting) {
  // Formatting this argument would read through a wild pointer.
  const char* never_read = reinterpret_cast<const char*>(16);
  LogPutLog(0, "Unbound.cpp", 1, "%s", never_read);
  LogPutMsg(0, "%s", never_read);
  EXPECT_EQ(QelLogOnline(0, 0, 0, 0, 0, 0), 0);

  ASSERT_TRUE(LoadQelLog());
  UnloadQelLog();
  EXPECT_FALSE(IsQelLogBound());
  LogPutLog(0, "Unloaded.cpp", 2, "%s", never_read);
  EXPECT_EQ(plat::support::read_machine_log(), "");
  // Unbinding again is harmless, and a new binding works.
  UnloadQelLog();
  EXPECT_TRUE(LoadQelLog());
}

}  // namespace
