#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "firmware/win32/QelUtilSharedBuffer.h"
#include "platform/support/machine_log.h"
#include "platform/testing/child_process.h"
#include "platform/testing/machine_fixture.h"
#include "qellib/QelLog.h"

namespace {

using namespace std::chrono_literals;
using plat::testing::ChildProcess;

class SharedBuffers : public ::testing::Test {
 protected:
  std::unique_ptr<ChildProcess> Start() {
    auto process = std::make_unique<ChildProcess>("quillet-helper-os", std::vector<std::string>{});
    EXPECT_EQ(process->read_line(), "ready");
    return process;
  }
  static std::string Ask(ChildProcess& process, const std::string& line) {
    process.write_line(line);
    return process.read_line();
  }
  plat::testing::ScopedMachine machine_;
};

TEST_F(SharedBuffers, WrittenInOneProcessReadInAnother) {
  auto writer = Start();
  auto reader = Start();
  ASSERT_EQ(Ask(*writer, "alloc QelTestBuffer 200000"), "ok 1");
  // An offset past the first allocation granule, so the window starts inside one.
  EXPECT_EQ(Ask(*writer, "write 70001 48656c6c6f2c20776f726c6421"), "ok");
  ASSERT_EQ(Ask(*reader, "open QelTestBuffer"), "ok 0 200000");
  EXPECT_EQ(Ask(*reader, "read 70001 13"), "48656c6c6f2c20776f726c6421");
  // A second allocation of the same name finds the section the first made.
  auto third = Start();
  EXPECT_EQ(Ask(*third, "alloc QelTestBuffer 200000"), "ok 0");
  EXPECT_EQ(Ask(*third, "read 70001 5"), "48656c6c6f");
  // The last bytes map; one more does not.
  EXPECT_EQ(Ask(*reader, "write 199999 7f"), "ok");
  EXPECT_EQ(Ask(*reader, "read 199998 3"), "fail");
  EXPECT_EQ(Ask(*writer, "read 199999 1"), "7f");
}

TEST_F(SharedBuffers, LockIsSharedAndADeadHoldersLockIsTaken) {
  auto holder = Start();
  auto other = Start();
  ASSERT_EQ(Ask(*holder, "alloc QelLockedBuffer 4096"), "ok 1");
  ASSERT_EQ(Ask(*other, "open QelLockedBuffer"), "ok 0 4096");
  // A fresh buffer's lock is free.
  EXPECT_EQ(Ask(*holder, "lock 1000"), "locked");
  EXPECT_EQ(Ask(*other, "lock 100"), "not locked");
  EXPECT_EQ(Ask(*holder, "unlock"), "ok");
  EXPECT_EQ(Ask(*other, "lock 1000"), "locked");
  EXPECT_EQ(Ask(*holder, "lock 100"), "not locked");
  other->kill_hard();
  EXPECT_EQ(Ask(*holder, "lock 1000"), "locked");
}

TEST_F(SharedBuffers, OpeningWithoutItsLockFailsAndClearsTheObject) {
  LoadQelLog();
  QelUtilSharedBuffer buffer{};
  buffer.size = 1234;
  EXPECT_FALSE(QelUtilOpenSharedBuffer("QelNoSuchBuffer", &buffer));
  EXPECT_EQ(buffer.lock, plat::kNullHandle);
  EXPECT_EQ(buffer.mapping, plat::kNullHandle);
  EXPECT_EQ(buffer.size, 0u);

  ASSERT_TRUE(QelUtilAllocSharedBuffer(8192, "QelRangeBuffer", &buffer));
  EXPECT_TRUE(QelUtilHasCreatedSharedBuffer(&buffer));
  QelUtilSharedWindow window{};
  EXPECT_EQ(QelUtilMapSharedBuffer(&buffer, 4096, 4097, &window), nullptr);
  EXPECT_EQ(window.view, nullptr);
  EXPECT_NE(QelUtilMapSharedBuffer(&buffer, 4096, 4096, &window), nullptr);
  EXPECT_TRUE(QelUtilUnmapSharedBuffer(&window));
  EXPECT_FALSE(QelUtilUnmapSharedBuffer(&window));
  EXPECT_TRUE(QelUtilFreeSharedBuffer(&buffer));
  EXPECT_FALSE(QelUtilAllocSharedBuffer(16, nullptr, &buffer));
  EXPECT_FALSE(QelUtilMapSharedBuffer(nullptr, 0, 1, &window));
  UnloadQelLog();
  const std::string log = plat::support::read_machine_log();
  EXPECT_NE(log.find("QelUtilMapSharedBuffer => Invalid argument (bufOffset + bufMapSize > bufSize)"), std::string::npos);
  EXPECT_NE(log.find("QelUtilOpenSharedBuffer => Cannot open mutex QelNoSuchBuffer_LOCK"), std::string::npos);
}

}  // namespace
