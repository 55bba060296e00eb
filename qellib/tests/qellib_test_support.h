// Shared pieces of the common library's tests: a fresh machine with the log
// library bound, and the log lines it received.
#pragma once

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "platform/support/machine_log.h"
#include "platform/testing/machine_fixture.h"
#include "qellib/QelLog.h"

namespace qellib_test {

// The machine log's line that contains `text`, empty when none does.
inline std::string LogLineWith(const std::string& text) {
  std::istringstream log(plat::support::read_machine_log());
  for (std::string line; std::getline(log, line);)
    if (line.find(text) != std::string::npos) return line;
  return {};
}

class LoggedMachineTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(LoadQelLog()); }
  void TearDown() override { UnloadQelLog(); }

  plat::testing::ScopedMachine machine_;
};

}  // namespace qellib_test
