// A fresh machine for the SDK's tests: the test module in its system directory
// and configured as the SDK's module, and client helper processes.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>

#include "platform/sdk/qelapi.h"
#include "platform/testing/child_process.h"
#include "platform/testing/machine_fixture.h"
#include "platform/win/registry.h"

namespace qelapi::testing {

class SdkMachine {
 public:
  // Without the module, the system directory is left to a kernel host.
  explicit SdkMachine(bool with_module = true) {
    if (!with_module) return;
    ::mkdir(machine_.path("system").c_str(), 0755);
    std::string module = plat::testing::sibling_program("TestVkm.VKM");
    ::symlink(module.c_str(), machine_.path("system/TestVkm.VKM").c_str());
    configure("TestVkm.VKM");
  }
  static void configure(const char* module) {
    plat::RegistryKey* key = nullptr;
    if (plat::reg_create_key(plat::RegistryRoot::kLocalMachine, kModulesKey, &key) != 0) return;
    plat::reg_set_value(key, "Test", plat::kRegSz, module, static_cast<std::uint32_t>(std::strlen(module) + 1));
    plat::reg_close_key(key);
  }
  const plat::testing::ScopedMachine& machine() const { return machine_; }
  // Waits until the test module's blocking handler runs.
  bool handler_blocked() const {
    for (int i = 0; i < 2000; ++i) {
      if (::access(machine_.path("blocked").c_str(), F_OK) == 0) return true;
      ::usleep(5000);
    }
    return false;
  }

 private:
  plat::testing::ScopedMachine machine_;
};

// A client helper; ask() sends a command and answers what follows the reply's first word.
class Client {
 public:
  Client() : process_(std::make_unique<plat::testing::ChildProcess>("plat-helper-sdk", std::vector<std::string>{})) {
    ready_ = process_->wait_for_line("ready");
  }
  bool ready() const { return ready_; }
  std::string ask(const std::string& command) {
    process_->write_line(command);
    return rest(process_->read_line());
  }
  void send(const std::string& command) { process_->write_line(command); }
  std::string reply(std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
    return rest(process_->read_line(timeout));
  }
  plat::testing::ChildProcess& process() { return *process_; }

 private:
  static std::string rest(const std::string& line) {
    auto space = line.find(' ');
    return space == std::string::npos ? line : line.substr(space + 1);
  }
  std::unique_ptr<plat::testing::ChildProcess> process_;
  bool ready_ = false;
};

}  // namespace qelapi::testing
