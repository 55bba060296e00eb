// A running kernel host for tests: the `kernel-host` program beside the test
// binary, started on the current machine (PLAT_MACHINE) with the boards a test
// asks for, stopped with SIGTERM at the end.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "platform/testing/child_process.h"

namespace plat::testing {

class KernelHostProcess {
 public:
  // Starts the host with one simulated board per model and waits for its
  // "kernel-host ready" line; ready() tells whether it came.
  explicit KernelHostProcess(const std::vector<std::string>& board_models,
                             const std::string& driver = "Stavro.SYS",
                             const std::vector<std::string>& extra_args = {});
  ~KernelHostProcess();  // stops the host if it still runs
  KernelHostProcess(const KernelHostProcess&) = delete;
  KernelHostProcess& operator=(const KernelHostProcess&) = delete;

  bool ready() const { return ready_; }
  pid_t pid() const { return process_->pid(); }
  // SIGTERM, then the exit code (-1 when it does not end in time).
  int stop(std::chrono::milliseconds timeout = std::chrono::seconds(60));

 private:
  std::unique_ptr<ChildProcess> process_;
  bool ready_ = false;
  bool stopped_ = false;
};

// Waits until the machine log holds every text, in that order.
bool machine_log_shows(const std::vector<std::string>& texts,
                       std::chrono::milliseconds timeout = std::chrono::seconds(30));

}  // namespace plat::testing
