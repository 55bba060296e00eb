#include "platform/win/privileges.h"

#include <gtest/gtest.h>

#include "platform/win/address_space.h"
#include "platform/win/errors.h"
#include "platform/win/processor.h"

namespace plat {
namespace {

TEST(PrivilegeTest, KnownPrivilegesAreEnabledAndDisabled) {
  EXPECT_TRUE(adjust_process_privilege("selockmemoryprivilege", true));
  EXPECT_TRUE(is_process_privilege_enabled(kSeLockMemoryPrivilege));
  EXPECT_TRUE(adjust_process_privilege(kSeLockMemoryPrivilege, false));
  EXPECT_FALSE(is_process_privilege_enabled(kSeLockMemoryPrivilege));
  EXPECT_FALSE(adjust_process_privilege("SeMadeUpPrivilege", true));
  EXPECT_EQ(last_error(), kErrorNoSuchPrivilege);
  EXPECT_FALSE(adjust_process_privilege(nullptr, true));
}

TEST(PrivilegeTest, WorkingSetNeedsTheQuotaPrivilegeAndSaneLimits) {
  adjust_process_privilege(kSeIncreaseQuotaPrivilege, false);
  EXPECT_FALSE(set_process_working_set_size(1 << 20, 8 << 20));
  EXPECT_EQ(last_error(), kErrorPrivilegeNotHeld);
  ASSERT_TRUE(adjust_process_privilege(kSeIncreaseQuotaPrivilege, true));
  EXPECT_TRUE(set_process_working_set_size(1 << 20, 8 << 20));
  std::size_t minimum = 0;
  std::size_t maximum = 0;
  ASSERT_TRUE(get_process_working_set_size(&minimum, &maximum));
  EXPECT_EQ(minimum, std::size_t{1} << 20);
  EXPECT_EQ(maximum, std::size_t{8} << 20);
  for (auto [low, high] : {std::pair<std::size_t, std::size_t>{0, 1 << 20}, {8 << 20, 1 << 20}, {1, ~std::size_t{0}}}) {
    EXPECT_FALSE(set_process_working_set_size(low, high));
    EXPECT_EQ(last_error(), kErrorInvalidParameter);
  }
}

TEST(ProcessorTest, IdentificationLeavesAndCount) {
  const CpuidRegisters leaf0 = cpuid(0);
  EXPECT_GE(leaf0.eax, 1u);  // the highest basic leaf
  EXPECT_NE(cpuid(1).edx, 0u);
  EXPECT_EQ(cpuid(0xFFFFFFF).eax, 0u);  // above the highest basic leaf (0x0FFFFFFF)
  EXPECT_GE(processor_count(), 1u);
}

}  // namespace
}  // namespace plat



namespace plat {
namespace {

TEST(AddressSpaceTest, ReservedRangesAreReleasedOnce) {
  void* range = reserve_address_space(3 * 4096 + 1);
  ASSERT_NE(range, nullptr);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(range) % 4096, 0u);
  EXPECT_TRUE(release_address_space(range));
  EXPECT_FALSE(release_address_space(range));
  EXPECT_EQ(last_error(), kErrorInvalidParameter);
  EXPECT_EQ(reserve_address_space(0), nullptr);
}

TEST(AddressSpaceTest, CommittedPagesOfARangeAreZeroedMemory) {
  auto* range = static_cast<unsigned char*>(reserve_address_space(4 * 4096));
  ASSERT_NE(range, nullptr);
  ASSERT_TRUE(commit_address_space(range + 4096 + 10, 4096));  // pages 1 and 2
  EXPECT_EQ(range[4096], 0);
  range[3 * 4096 - 1] = 7;
  EXPECT_EQ(range[3 * 4096 - 1], 7);
  EXPECT_FALSE(commit_address_space(range + 3 * 4096, 4097));  // past the range
  EXPECT_FALSE(commit_address_space(range, 0));
  int outside = 0;
  EXPECT_FALSE(commit_address_space(&outside, sizeof outside));
  EXPECT_TRUE(release_address_space(range));
}

}  // namespace
}  // namespace plat
