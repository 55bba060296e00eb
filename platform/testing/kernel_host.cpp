#include "platform/testing/kernel_host.h"

#include <signal.h>

#include <cstdlib>
#include <thread>

#include "platform/support/machine_log.h"

namespace plat::testing {

KernelHostProcess::KernelHostProcess(const std::vector<std::string>& board_models,
                                     const std::string& driver,
                                     const std::vector<std::string>& extra_args) {
  const char* machine = std::getenv("PLAT_MACHINE");
  std::vector<std::string> args = {"--machine", machine ? machine : "", "--driver", driver};
  for (const auto& model : board_models) {
    args.push_back("--board");
    args.push_back(model);
  }
  args.insert(args.end(), extra_args.begin(), extra_args.end());
  process_ = std::make_unique<ChildProcess>("kernel-host", args);
  ready_ = process_->wait_for_line("kernel-host ready", std::chrono::seconds(60));
}

KernelHostProcess::~KernelHostProcess() {
  if (!stopped_) stop();
}

int KernelHostProcess::stop(std::chrono::milliseconds timeout) {
  stopped_ = true;
  ::kill(process_->pid(), SIGTERM);
  return process_->wait(timeout);
}

bool machine_log_shows(const std::vector<std::string>& texts, std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  do {
    std::string log = plat::support::read_machine_log();
    std::size_t at = 0;
    bool all = true;
    for (const auto& text : texts) {
      at = log.find(text, at);
      if (at == std::string::npos) {
        all = false;
        break;
      }
      at += text.size();
    }
    if (all) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  } while (std::chrono::steady_clock::now() < deadline);
  return false;
}

}  // namespace plat::testing
