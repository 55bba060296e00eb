// kernel-host --machine DIR --board MODEL [--board MODEL ...] [--driver NAME] [--qelserial-late]
//
// --qelserial-late starts the serial-port manager only on SIGUSR1, after the
// driver and its boards, as when it is installed later than the driver.
// Runs the kernel side of one emulated machine: the kernel services, the
// outside drivers, the driver module and the simulated boards on their bus,
// serving client processes over the device transport until SIGTERM or SIGINT.
#include <signal.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "platform/board/board.h"
#include "platform/board/control_server.h"
#include "platform/kernel/bus.h"
#include "platform/kernel/dpc.h"
#include "platform/kernel/driver_loader.h"
#include "platform/kernel/interrupt.h"
#include "platform/kernel/io_manager.h"
#include "platform/kernel/kernel_log.h"
#include "platform/kernel/outside_drivers.h"
#include "platform/kernel/physical_memory.h"
#include "platform/kernel/qelserial.h"
#include "platform/kernel/system_setup.h"
#include "platform/kernel/timer.h"
#include "platform/kernel/transport_server.h"


namespace {

using namespace plat::kernel;
using plat::NtStatus;

constexpr std::size_t kArenaSize = std::size_t{256} << 20;

struct Options {
  std::string machine;
  std::vector<std::string> boards;
  std::string driver = "Stavro.SYS";
  bool qelserial_late = false;
};

struct HostedBoard {
  plat::board::Board* board = nullptr;
  BusSlot* slot = nullptr;
  bool removed = false;
};

std::mutex g_boards_lock;
std::vector<HostedBoard> g_boards;

void usage() {
  std::fprintf(stderr,
               "usage: kernel-host --machine DIR --board MODEL [--board MODEL ...] [--driver NAME]"
               " [--qelserial-late]\n"
               "       MODEL is FolvantX4Full or FolvantX4Dual; DIR defaults to $PLAT_MACHINE\n");
}

bool parse(int argc, char** argv, Options* options) {
  if (const char* machine = std::getenv("PLAT_MACHINE")) options->machine = machine;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--qelserial-late") {
      options->qelserial_late = true;
      continue;
    }
    if (i + 1 >= argc) return false;
    std::string value = argv[++i];
    if (arg == "--machine") {
      options->machine = value;
    } else if (arg == "--board") {
      if (value != "FolvantX4Full" && value != "FolvantX4Dual") return false;
      options->boards.push_back(value);
    } else if (arg == "--driver") {
      options->driver = value;
    } else {
      return false;
    }
  }
  return !options->machine.empty();
}

std::string program_dir() {
  char self[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return ".";
  std::string path(self, static_cast<std::size_t>(n));
  return path.substr(0, path.rfind('/'));
}

// Removes one board through Plug and Play (from the board control interface:
// the board vanished, a surprise removal).
bool remove_board(int index, bool surprise) {
  std::lock_guard guard(g_boards_lock);
  if (index < 0 || static_cast<std::size_t>(index) >= g_boards.size()) return false;
  HostedBoard& hosted = g_boards[static_cast<std::size_t>(index)];
  if (hosted.removed) return false;
  bus_remove_board(hosted.slot, surprise);
  hosted.removed = true;
  return true;
}

void add_boards(const Options& options, DriverObject* driver) {
  std::lock_guard guard(g_boards_lock);
  for (std::size_t i = 0; i < options.boards.size(); ++i) {
    HostedBoard hosted;
    hosted.board = plat::board::board_create({options.boards[i]}, static_cast<int>(i));
    if (hosted.board == nullptr) {
      host_log(0, "board %zu (%s) cannot be created", i, options.boards[i].c_str());
      continue;
    }
    NtStatus status = bus_add_board(hosted.board, driver, &hosted.slot);
    if (!plat::nt_success(status))
      host_log(0, "board %zu (%s) did not start: status 0x%08X", i, options.boards[i].c_str(),
               static_cast<unsigned>(status));
    g_boards.push_back(hosted);
  }
}

void remove_all_boards() {
  std::lock_guard guard(g_boards_lock);
  for (HostedBoard& hosted : g_boards) {
    if (hosted.slot && !hosted.removed) bus_remove_board(hosted.slot, false);
    hosted.removed = true;
    bus_free_slot(hosted.slot);
    plat::board::board_destroy(hosted.board);
  }
  g_boards.clear();
}

std::vector<plat::board::Board*> g_control_boards;

std::int32_t remove_board_hook(void*, int index, plat::board::Board*) {
  return remove_board(index, true) ? 0 : -1;
}

void start_board_control() {
  {
    std::lock_guard guard(g_boards_lock);
    for (const HostedBoard& hosted : g_boards) g_control_boards.push_back(hosted.board);
  }
  plat::board::BoardControlHooks hooks;
  hooks.remove_board = remove_board_hook;
  hooks.locked_buffers = [](void*) { return qelmem_locked_buffer_count(); };
  if (!plat::board::board_control_start(g_control_boards, hooks))
    host_log(0, "the board control interface cannot start");
}

void stop_board_control() { plat::board::board_control_stop(); }

int serve(const Options& options) {
  std::string error;
  if (!populate_system_dir(program_dir(), &error)) {
    std::fprintf(stderr, "kernel-host: %s\n", error.c_str());
    return 1;
  }
  if (!physmem_start(kArenaSize)) {
    std::fprintf(stderr, "kernel-host: cannot create the physical memory arena\n");
    return 1;
  }
  LoadedDriver log_driver, memory_driver, driver;
  if (!plat::nt_success(start_host_driver(L"\\Driver\\QELLOG", qellog_driver_entry, &log_driver)) ||
      !plat::nt_success(start_host_driver(L"\\Driver\\QELMEM", qelmem_driver_entry, &memory_driver))) {
    std::fprintf(stderr, "kernel-host: the outside drivers cannot start\n");
    return 1;
  }
  LoadedDriver serial_driver;
  auto start_serial_manager = [&serial_driver] {
    if (serial_driver.driver != nullptr) return;
    if (!plat::nt_success(start_host_driver(L"\\Driver\\QelSerial", qelserial_driver_entry, &serial_driver)))
      host_log(0, "the serial-port manager cannot start");
  };
  if (!options.qelserial_late) start_serial_manager();
  NtStatus status = load_driver_module(options.driver, &driver, &error);
  if (!plat::nt_success(status)) {
    std::fprintf(stderr, "kernel-host: %s\n", error.c_str());
    host_log(0, "%s", error.c_str());
    if (serial_driver.driver != nullptr) unload_driver(&serial_driver);
    unload_driver(&memory_driver);
    unload_driver(&log_driver);
    physmem_stop();
    return 1;
  }
  add_boards(options, driver.driver);
  if (!transport_start(kernel_request_sink())) {
    std::fprintf(stderr, "kernel-host: cannot serve on %s\n", transport_socket_path().c_str());
    remove_all_boards();
    unload_driver(&driver);
    return 1;
  }
  start_board_control();
  std::printf("kernel-host ready\n");
  std::fflush(stdout);

  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGTERM);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGUSR1);
  for (int signal_number = 0; sigwait(&stop_signals, &signal_number) == 0 && signal_number == SIGUSR1;)
    start_serial_manager();

  transport_stop();
  stop_board_control();
  remove_all_boards();
  unload_driver(&driver);
  if (serial_driver.driver != nullptr) unload_driver(&serial_driver);
  unload_driver(&memory_driver);
  unload_driver(&log_driver);
  flush_queued_dpcs();
  stop_interrupt_threads();
  stop_timer_thread();
  stop_dpc_thread();
  physmem_stop();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!parse(argc, argv, &options)) {
    usage();
    return 2;
  }
  ::setenv("PLAT_MACHINE", options.machine.c_str(), 1);
  // Every thread made from here on leaves the stop signals to the main thread.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGTERM);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGUSR1);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
  ::signal(SIGPIPE, SIG_IGN);
  return serve(options);
}
