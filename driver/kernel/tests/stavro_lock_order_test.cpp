// The lock order in this process: the test thread holds one of the driver's
// locks, a request that needs it waits, and everything the order says must
// not wait for it is still answered meanwhile.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstring>
#include <future>
#include <span>
#include <thread>

#include "driver/kernel/MutexHold.h"
#include "driver/kernel/ProcessTable.h"
#include "driver/kernel/YatBoard.h"
#include "driver/kernel/YatIoctl.h"
#include "driver/kernel/tests/stavro_fixture.h"
#include "driver/kernel/tests/transfer_setup.h"
#include "driver/user/QelHwStatus.h"
#include "platform/kernel/device_internal.h"
#include "platform/kernel/io_manager.h"
#include "platform/kernel/objects.h"
#include "platform/kernel/sync.h"
#include "platform/win/process.h"

namespace {

using namespace std::chrono_literals;
using namespace plat::kernel;

constexpr char kControl[] = "\\\\.\\STAVRO";
constexpr auto kAnswered = 10s;  // far longer than any answer takes; a wait on the held lock never ends

class StavroLockOrder : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(kernel_.Start(), plat::kStatusSuccess);
    kernel_.AddBoard("FolvantX4Full");
    board_ = BoardOf(detail::namespace_find_device(L"\\Device\\STAVRO1"));
    ASSERT_NE(board_, nullptr);
  }

  // A client: this process itself (whose memory the driver can read), or a
  // made-up one for requests that name no memory.
  ClientInfo Self() const {
    ClientInfo client = kernel_.Client(static_cast<std::int32_t>(::getpid()));
    client.process.start_time = plat::process_start_time(::getpid());
    return client;
  }
  void* Open(const ClientInfo& client) {
    void* file = nullptr;
    EXPECT_EQ(kernel_request_sink().create(client, kControl, &file), plat::kStatusSuccess);
    return file;
  }
  void Close(void* file, const ClientInfo& client) { kernel_request_sink().close(file, client); }

  static transfer_test::RequestPath Path(void* file, ClientInfo client) {
    return [file, client](std::uint32_t code, const void* in, std::uint32_t size, void* out, std::uint32_t outSize) {
      std::uint64_t information = 0;
      const auto status = kernel_device_control(
          file, client, code, std::span(static_cast<const std::byte*>(in), size),
          std::span(static_cast<std::byte*>(out), outSize), &information);
      return plat::nt_success(status);
    };
  }
  static std::int32_t Ask(void* file, const ClientInfo& client, std::uint32_t code, const void* in, std::uint32_t size,
                          void* out = nullptr, std::uint32_t outSize = 0) {
    return transfer_test::Send(Path(file, client), code, in, size, out, outSize);
  }

  // Runs `work` on its own thread; true when it ended within the time.
  template <typename Work>
  static bool EndsInTime(Work work) {
    auto done = std::async(std::launch::async, work);
    return done.wait_for(kAnswered) == std::future_status::ready;
  }

  static bool Held(KernelMutex* mutex) { return read_mutex_state(mutex) == 0; }
  static void WaitUntilHeld(KernelMutex* mutex) {
    for (int i = 0; i < 5000 && !Held(mutex); ++i) std::this_thread::sleep_for(1ms);
  }

  InProcessStavro kernel_;
  YatBoardExtension* board_ = nullptr;
};

// The caller's slot is looked up before the on-board allocator is taken: an
// initialisation waiting for the process table holds nothing a close needs.
TEST_F(StavroLockOrder, MemoryManagerInitTakesTheSlotBeforeTheAllocator) {
  const ClientInfo client = kernel_.Client(4100);
  void* file = Open(client);
  YatInitMemoryRecord record{};
  record.header = {YAT_IOC_TARGET_BOARD, 0};
  record.regionsPerBank[0] = 8;
  record.bankSizeMb[0] = 64;
  record.bankCount = 1;
  std::future<std::int32_t> init;
  {
    YatProcessTableLock table(kernel_.manager());
    init = std::async(std::launch::async, [&] { return Ask(file, client, YAT_IOCTRL_INIT_MEMORY_MANAGER, &record, sizeof record); });
    std::this_thread::sleep_for(100ms);
    EXPECT_NE(init.wait_for(0ms), std::future_status::ready);  // it waits for the table...
    EXPECT_FALSE(Held(&board_->onboardAllocatorLock));       // ...holding no allocator
  }
  ASSERT_EQ(init.wait_for(kAnswered), std::future_status::ready);
  EXPECT_EQ(init.get(), QELHW_OK);
  Close(file, client);
}

// A transfer build waiting for the window engine (another process's memory
// job) holds only its channel's transfer mutex: opens, slot lookups, closes
// with on-board memory, memory-manager requests and a build on another
// channel are all answered before the engine is free again.
TEST_F(StavroLockOrder, ABuildWaitingForTheEngineHoldsUpNoOtherProcess) {
  const ClientInfo self = Self();
  void* selfFile = Open(self);
  YatIocHeader header{YAT_IOC_TARGET_BOARD, 0};
  ASSERT_EQ(Ask(selfFile, self, YAT_IOCTRL_INIT_RESOURCE_MANAGER, &header, sizeof header), QELHW_OK);
  const transfer_test::Frame frame;
  transfer_test::TransferSetup waiting(Path(selfFile, self), false);
  ASSERT_EQ(waiting.InitOnboard(frame.Bytes()), QELHW_OK);
  ASSERT_EQ(waiting.Create(0), QELHW_OK);
  transfer_test::TransferSetup other(Path(selfFile, self), false);
  ASSERT_EQ(other.Create(1), QELHW_OK);

  std::future<std::int32_t> build;
  {
    YatMutexHold engine(&board_->onboardMemoryMutex);
    build = std::async(std::launch::async, [&] { return waiting.SetAl(frame); });
    WaitUntilHeld(&board_->channels[0].transferMutex);
    ASSERT_TRUE(Held(&board_->channels[0].transferMutex));

    EXPECT_TRUE(EndsInTime([&] {
      const ClientInfo client = kernel_.Client(4200);
      void* file = Open(client);
      std::uint32_t slot[2] = {};
      Ask(file, client, YAT_IOCTRL_GET_PROCESS_ID, nullptr, 0, slot, sizeof slot);
      YatIocAllocFpgaMemIn alloc{header, 1, 4096, 0};
      YatIocAllocFpgaMemOut out{};
      EXPECT_EQ(Ask(file, client, YAT_IOCTRL_ALLOC_FPGA_MEM, &alloc, sizeof alloc, &out, sizeof out), QELHW_OK);
      Close(file, client);  // gives its on-board memory back
    }));
    EXPECT_TRUE(EndsInTime([&] {
      const ClientInfo client = kernel_.Client(4300);
      void* file = Open(client);
      YatInitMemoryRecord record{};
      record.header = header;
      record.regionsPerBank[0] = 8;
      record.bankSizeMb[0] = 64;
      record.bankCount = 1;
      EXPECT_EQ(Ask(file, client, YAT_IOCTRL_INIT_MEMORY_MANAGER, &record, sizeof record), QELHW_OK);
      Close(file, client);
    }));
    // A BH build on channel 1 copies nothing on board. (Its state word cannot
    // be mapped into this process, which has no view of the host's memory.)
    EXPECT_TRUE(EndsInTime([&] {
      other.MakeBuffers(frame, 1);
      EXPECT_EQ(other.SetBh(frame, 0), QELHW_ERROR_RESOURCE_UNAVAILABLE);
    }));
    EXPECT_NE(build.wait_for(0ms), std::future_status::ready);
  }
  ASSERT_EQ(build.wait_for(kAnswered), std::future_status::ready);
  EXPECT_EQ(build.get(), QELHW_OK);
  EXPECT_EQ(waiting.Destroy(), QELHW_OK);
  EXPECT_EQ(other.Destroy(), QELHW_OK);
  Close(selfFile, self);
}

}  // namespace
