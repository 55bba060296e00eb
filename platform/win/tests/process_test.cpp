#include "platform/win/process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>

#include "platform/testing/child_process.h"
#include "platform/testing/machine_fixture.h"
#include "platform/win/errors.h"
#include "platform/win/security.h"

namespace plat {
namespace {

using testing::ChildProcess;
using testing::ScopedMachine;

TEST(ProcessTest, IdentityTellsALivingProcessFromADeadOne) {
  ScopedMachine machine;
  ProcessIdentity self = current_process();
  EXPECT_TRUE(is_process_alive(self));
  EXPECT_FALSE(is_process_alive(ProcessIdentity{self.pid, 0, self.start_time + 1})) << "a reused pid";
  ChildProcess child("plat-helper-objects", {});
  ProcessIdentity other{child.pid(), 0, process_start_time(child.pid())};
  EXPECT_NE(other.start_time, 0u);
  EXPECT_TRUE(is_process_alive(other));
  EXPECT_TRUE(is_process_id_alive(other.pid));
  child.kill_hard();
  EXPECT_FALSE(is_process_alive(other));
  EXPECT_FALSE(is_process_id_alive(other.pid));
  EXPECT_EQ(process_start_time(-5), 0u);
}

TEST(ProcessTest, ThreadsHaveMachineWideIdsAndTheirOwnPriorities) {
  std::atomic<std::uint32_t> other_id{0};
  std::atomic<bool> listed{false};
  std::atomic<bool> done{false};
  ASSERT_TRUE(set_thread_priority(kThreadPriorityBelowNormal));
  std::thread worker([&] {
    other_id = current_thread_id();
    EXPECT_EQ(thread_priority(), kThreadPriorityNormal);
    EXPECT_TRUE(set_thread_priority(kThreadPriorityIdle));
    EXPECT_EQ(thread_priority(), kThreadPriorityIdle);
    while (!done) std::this_thread::yield();
  });
  while (other_id == 0) std::this_thread::yield();
  auto threads = list_process_threads();
  listed = std::count(threads.begin(), threads.end(), other_id.load()) == 1;
  EXPECT_NE(thread_start_time(other_id), 0u);
  done = true;
  worker.join();
  EXPECT_TRUE(listed);
  EXPECT_EQ(std::count(threads.begin(), threads.end(), current_thread_id()), 1);
  EXPECT_EQ(thread_priority(), kThreadPriorityBelowNormal);
  EXPECT_FALSE(set_thread_priority(16));
  EXPECT_EQ(last_error(), kErrorInvalidParameter);
  set_thread_priority(kThreadPriorityNormal);
}

TEST(ErrorTest, LastErrorIsPerThreadAndHasTheSystemText) {
  set_last_error(kErrorAlreadyExists);
  std::thread([] { EXPECT_EQ(last_error(), kErrorSuccess); }).join();
  EXPECT_EQ(last_error(), kErrorAlreadyExists);
  EXPECT_EQ(error_text(kErrorFileNotFound), "The system cannot find the file specified.");
  EXPECT_EQ(error_text(kErrorNotOwner), "Attempt to release mutex not owned by caller.");
  EXPECT_FALSE(error_text(0x12345).empty());
}

TEST(SecurityTest, DescriptorWithNullDacl) {
  SecurityDescriptor descriptor{};
  EXPECT_FALSE(set_security_descriptor_dacl(&descriptor, true, nullptr, false)) << "not initialised";
  EXPECT_FALSE(initialize_security_descriptor(&descriptor, 2));
  EXPECT_EQ(last_error(), kErrorInvalidParameter);
  EXPECT_FALSE(initialize_security_descriptor(nullptr, kSecurityDescriptorRevision));
  ASSERT_TRUE(initialize_security_descriptor(&descriptor, kSecurityDescriptorRevision));
  ASSERT_TRUE(set_security_descriptor_dacl(&descriptor, true, nullptr, false));
  EXPECT_EQ(descriptor.dacl_present, 1u);
  EXPECT_EQ(descriptor.dacl, nullptr);
}

}  // namespace
}  // namespace plat
