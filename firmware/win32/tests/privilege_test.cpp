#include <gtest/gtest.h>

#include <string>

#include "firmware/win32/QelUtilPrivilege.h"
#include "platform/support/machine_log.h"
#include "platform/testing/machine_fixture.h"
#include "platform/win/privileges.h"
#include "qellib/QelLog.h"

namespace {

TEST(QelUtilPrivileges, EnableDisableAndTheWorkingSet) {
  plat::testing::ScopedMachine machine;
  LoadQelLog();
  EXPECT_TRUE(QelUtilAdjustProcessPrivilege("SeLockMemoryPrivilege", true));
  EXPECT_TRUE(plat::is_process_privilege_enabled("SeLockMemoryPrivilege"));
  EXPECT_TRUE(QelUtilAdjustProcessPrivilege("SeLockMemoryPrivilege", false));
  EXPECT_FALSE(QelUtilAdjustProcessPrivilege("SeNoSuchPrivilege", false));
  EXPECT_FALSE(QelUtilAdjustProcessPrivilege(nullptr, true));

  EXPECT_TRUE(QelUtilAdjustWorkingSet(4 << 20, 64 << 20));
  EXPECT_TRUE(plat::is_process_privilege_enabled("SeIncreaseQuotaPrivilege"));
  EXPECT_FALSE(QelUtilAdjustWorkingSet(64 << 20, 4 << 20));
  UnloadQelLog();

  const std::string log = plat::support::read_machine_log();
  EXPECT_NE(log.find("Cannot disable privilege SeNoSuchPrivilege"), std::string::npos) << log;
  EXPECT_NE(log.find("check the local policy"), std::string::npos);
  EXPECT_NE(log.find("QelUtilAdjustWorkingSet => Cannot set working set"), std::string::npos);
}

}  // namespace
