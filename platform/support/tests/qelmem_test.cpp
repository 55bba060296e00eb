// The memory library's machine-wide message pool, between real processes.
#include <gtest/gtest.h>

#include <string>

#include "platform/support/qelmem_entries.h"
#include "platform/testing/child_process.h"
#include "platform/testing/machine_fixture.h"
#include "platform/win/library.h"

namespace {

using plat::testing::ChildProcess;
using plat::testing::ScopedMachine;
using namespace qelmem;

std::string after(const std::string& line, const std::string& word) {
  return line.rfind(word + " ", 0) == 0 ? line.substr(word.size() + 1) : "";
}

// Sends a command and answers the reply's value.
std::string ask(ChildProcess& helper, const std::string& command, const std::string& word) {
  helper.write_line(command);
  return after(helper.read_line(), word);
}

struct Helper {
  ChildProcess process{"plat-helper-qelmem", {}};
  bool ready() { return process.wait_for_line("ready"); }
};

TEST(QelMemPool, MessageWrittenInOneProcessIsReadAndFreedInAnother) {
  ScopedMachine machine;
  Helper a, b;
  ASSERT_TRUE(a.ready());
  ASSERT_TRUE(b.ready());
  std::string reference = ask(a.process, "alloc hello from a", "ref");
  ASSERT_NE(reference, "0");
  EXPECT_EQ(ask(b.process, "status", "blocks"), "1");
  EXPECT_EQ(ask(b.process, "read " + reference, "text"), "hello from a");
  EXPECT_EQ(ask(b.process, "free " + reference, "freed"), "1");
  EXPECT_EQ(ask(a.process, "status", "blocks"), "0");
  // The freed reference is stale: nobody can take it over or free it again.
  a.process.write_line("read " + reference);
  EXPECT_EQ(a.process.read_line(), "none");
}

TEST(QelMemPool, DeadOwnersMessagesAreReclaimedButTakenOverOnesStay) {
  ScopedMachine machine;
  Helper a, b;
  ASSERT_TRUE(a.ready());
  ASSERT_TRUE(b.ready());
  std::string kept = ask(a.process, "alloc kept", "ref");
  ask(a.process, "alloc lost 1", "ref");
  ask(a.process, "alloc lost 2", "ref");
  EXPECT_EQ(ask(b.process, "read " + kept, "text"), "kept");  // b owns it now
  a.process.kill_hard();
  Helper c;  // a process that maps the pool first sweeps it
  ASSERT_TRUE(c.ready());
  EXPECT_EQ(ask(c.process, "status", "blocks"), "1");
  EXPECT_EQ(ask(c.process, "read " + kept, "text"), "kept");
}

TEST(QelMemPool, EntriesRefuseBadArgumentsAndPortIo) {
  ScopedMachine machine;
  plat::ModuleHandle module = plat::load_library("QELMEM.DLL");
  ASSERT_NE(module, nullptr);
  auto get = [&](const char* name) { return plat::get_proc_address(module, name); };
  auto alloc = reinterpret_cast<QelMemAllocMsgFn>(get("QelMemAllocMsg"));
  auto free_msg = reinterpret_cast<QelMemFreeMsgFn>(get("QelMemFreeMsg"));
  auto to_kernel = reinterpret_cast<QelMemMapUserToKernelFn>(get("QelMemMapUserToKernel"));
  auto to_user = reinterpret_cast<QelMemMapKernelToUserFn>(get("QelMemMapKernelToUser"));
  auto read_io = reinterpret_cast<QelMemReadIoFn>(get("QelMemReadIo"));
  auto write_io = reinterpret_cast<QelMemWriteIoFn>(get("QelMemWriteIo"));
  void* message = nullptr;
  std::uint64_t reference = 0;
  EXPECT_EQ(alloc(0, &message, &reference), 0);
  EXPECT_EQ(alloc(9 << 20, &message, &reference), 0);
  EXPECT_EQ(alloc(16, nullptr, &reference), 0);
  ASSERT_EQ(alloc(100, &message, &reference), 1);
  EXPECT_EQ(to_kernel(message), reference);
  EXPECT_EQ(to_user(reference), message);
  EXPECT_EQ(to_user(kQelMemPoolKernelBase + (64ull << 20)), nullptr);
  int local = 0;
  EXPECT_EQ(free_msg(&local), 0);
  EXPECT_EQ(free_msg(static_cast<char*>(message) + 8), 0);  // not a message's start
  EXPECT_EQ(free_msg(message), 1);
  EXPECT_EQ(free_msg(message), 0);
  std::uint32_t value = 7;
  EXPECT_EQ(read_io(0x378, 1, &value), 0);
  EXPECT_EQ(value, 0u);
  EXPECT_EQ(write_io(0x378, 1, 0), 0);

  // Many sizes at once, then all freed: the pool is whole again.
  std::vector<void*> messages;
  for (std::uint32_t size = 1; size < 70000; size = size * 3 + 1) {
    ASSERT_EQ(alloc(size, &message, &reference), 1) << size;
    messages.push_back(message);
  }
  for (void* m : messages) EXPECT_EQ(free_msg(m), 1);
  EXPECT_EQ(alloc((8u << 20) - 32, &message, &reference), 1);
  EXPECT_EQ(free_msg(message), 1);
  plat::free_library(module);
}

}  // namespace
