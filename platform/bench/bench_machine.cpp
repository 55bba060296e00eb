#include "platform/bench/bench_machine.h"

#include <dirent.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "driver/user/Pardow.h"
#include "platform/testing/kernel_host.h"
#include "platform/testing/machine_fixture.h"

namespace plat::bench {
namespace {

struct Machine {
  plat::testing::ScopedMachine directory;
  std::unique_ptr<plat::testing::KernelHostProcess> host;
  bool library_open = false;
};

std::unique_ptr<Machine> g_machine;

// The board library reads its options from the driver folder.
void prepare_driver_folder(const plat::testing::ScopedMachine& machine) {
  const std::string folder = machine.path("driver");
  std::filesystem::create_directories(folder);
  plat::testing::write_file(folder + "/Yat_Tramond-CL_RZ6_Config.ini", "");
  ::setenv("YATFOLVA4XDIR", folder.c_str(), 1);
}

std::uint64_t field_after(const std::string& text, const std::string& key) {
  const auto at = text.find(key);
  return at == std::string::npos ? 0 : std::stoull(text.substr(at + key.size()));
}

void add_thread(const std::string& task, HostUsage* usage) {
  std::ifstream schedstat(task + "/schedstat");
  std::uint64_t on_cpu = 0;
  if (schedstat >> on_cpu) usage->cpu_ns += on_cpu;
  std::ifstream status_file(task + "/status");
  std::stringstream status;
  status << status_file.rdbuf();
  usage->switches += field_after(status.str(), "voluntary_ctxt_switches:") +
                     field_after(status.str(), "nonvoluntary_ctxt_switches:");
}

}  // namespace

bool machine_start() {
  if (g_machine) return g_machine->library_open;
  g_machine = std::make_unique<Machine>();
  prepare_driver_folder(g_machine->directory);
  g_machine->host = std::make_unique<plat::testing::KernelHostProcess>(
      std::vector<std::string>{"FolvantX4Dual", "FolvantX4Full"});
  if (!g_machine->host->ready()) return false;
  g_machine->library_open = QelHw_Open() == QELHW_OK;
  return g_machine->library_open;
}

void machine_stop() {
  if (!g_machine) return;
  if (g_machine->library_open) QelHw_Close();
  g_machine->host.reset();
  g_machine.reset();
}

pid_t host_pid() { return g_machine && g_machine->host ? g_machine->host->pid() : 0; }

HostUsage host_usage() {
  HostUsage usage;
  const std::string tasks = "/proc/" + std::to_string(host_pid()) + "/task";
  DIR* dir = ::opendir(tasks.c_str());
  if (dir == nullptr) return usage;
  while (dirent* entry = ::readdir(dir))
    if (entry->d_name[0] != '.') add_thread(tasks + "/" + entry->d_name, &usage);
  ::closedir(dir);
  return usage;
}

HostCost host_cost(const HostUsage& before, const HostUsage& after, double count) {
  if (count <= 0) return {};
  return {static_cast<double>(after.cpu_ns - before.cpu_ns) / 1000.0 / count,
          static_cast<double>(after.switches - before.switches) / count};
}

}  // namespace plat::bench
