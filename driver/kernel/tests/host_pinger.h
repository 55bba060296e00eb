// A thread of the test process that keeps asking the kernel host for the
// process's slot, on a handle opened and closed each time, and keeps the
// slowest answer: the host answered throughout when it failed never and
// answered each time in reasonable time.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>

#include "driver/kernel/YatIoctl.h"
#include "platform/win/device.h"

namespace stavro_test {

class Pinger {
 public:
  Pinger() : thread_([this] { Run(); }) {}
  ~Pinger() { Stop(); }
  void Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  std::chrono::milliseconds Slowest() const { return std::chrono::milliseconds(slowestMs_.load()); }
  unsigned Answers() const { return answers_.load(); }
  unsigned Failures() const { return failures_.load(); }

 private:
  void Run() {
    while (!stop_) {
      const auto start = std::chrono::steady_clock::now();
      plat::Handle device = plat::open_device("\\\\.\\STAVRO");
      std::uint32_t out[2] = {};
      std::uint32_t returned = 0;
      const bool ok = device != plat::kNullHandle &&
                      plat::device_io_control(device, YAT_IOCTRL_GET_PROCESS_ID, nullptr, 0, out, sizeof out, &returned);
      if (device != plat::kNullHandle) plat::close_device(device);
      const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
      if (took > slowestMs_) slowestMs_ = took;
      ok ? ++answers_ : ++failures_;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }

  std::atomic<bool> stop_{false};
  std::atomic<long long> slowestMs_{0};
  std::atomic<unsigned> answers_{0}, failures_{0};
  std::thread thread_;
};

}  // namespace stavro_test
