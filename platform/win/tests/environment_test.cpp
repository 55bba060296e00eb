#include "platform/win/environment.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>

#include "platform/testing/child_process.h"
#include "platform/testing/machine_fixture.h"
#include "platform/win/debug_output.h"
#include "platform/win/errors.h"

namespace plat {
namespace {

using testing::ChildProcess;
using testing::ScopedMachine;

TEST(Environment, ReadsFollowTheBufferConventions) {
  ScopedMachine machine;
  ASSERT_TRUE(set_environment_variable("QelEnvTest", "C:\\Qel"));
  char out[16] = {};
  EXPECT_EQ(get_environment_variable("QelEnvTest", out, sizeof out), 6u);
  EXPECT_STREQ(out, "C:\\Qel");
  EXPECT_EQ(get_environment_variable("QELENVTEST", out, sizeof out), 6u);  // names ignore case
  EXPECT_EQ(get_environment_variable("QelEnvTest", out, 6), 7u);  // too small: the size needed
  EXPECT_EQ(get_environment_variable("QelEnvTest", nullptr, 0), 7u);

  ASSERT_TRUE(set_environment_variable("qelenvtest", "other"));  // updates the same variable
  EXPECT_EQ(get_environment_variable("QelEnvTest", out, sizeof out), 5u);
  EXPECT_STREQ(out, "other");

  ASSERT_TRUE(set_environment_variable("QelEnvTest", nullptr));
  set_last_error(kErrorSuccess);
  EXPECT_EQ(get_environment_variable("QelEnvTest", out, sizeof out), 0u);
  EXPECT_EQ(last_error(), kErrorEnvvarNotFound);
  EXPECT_FALSE(set_environment_variable("Bad=Name", "x"));
  EXPECT_FALSE(set_environment_variable(nullptr, "x"));
}

TEST(DebugOutput, TextsOfConcurrentWritersNeverInterleave) {
  ScopedMachine machine;
  EXPECT_EQ(read_debug_output(), "");
  constexpr int kCount = 200;
  ChildProcess first("plat-helper-registry", {"debug", "first", std::to_string(kCount)});
  ChildProcess second("plat-helper-registry", {"debug", "second", std::to_string(kCount)});
  for (int i = 0; i < kCount; ++i) output_debug_string(("main:" + std::to_string(i) + "\n").c_str());
  output_debug_string(nullptr);
  EXPECT_TRUE(first.wait_for_line("done", std::chrono::seconds(120)));
  EXPECT_TRUE(second.wait_for_line("done", std::chrono::seconds(120)));

  std::istringstream lines(read_debug_output());
  std::set<std::string> seen;
  for (std::string line; std::getline(lines, line);) EXPECT_TRUE(seen.insert(line).second) << line;
  EXPECT_EQ(seen.size(), 3u * kCount);
  for (const char* prefix : {"first", "second", "main"})
    for (int i = 0; i < kCount; ++i) EXPECT_TRUE(seen.count(prefix + (":" + std::to_string(i))));
}

}  // namespace
}  // namespace plat
