#include "driver/kernel/tests/stavro_fixture.h"

#include "driver/kernel/StavroDriver.h"
#include "platform/kernel/dpc.h"
#include "platform/kernel/interrupt.h"
#include "platform/kernel/outside_drivers.h"
#include "platform/kernel/physical_memory.h"
#include "platform/kernel/timer.h"
#include "platform/support/machine_log.h"

using namespace plat::kernel;

InProcessStavro::InProcessStavro() { physmem_start(64u << 20); }

InProcessStavro::~InProcessStavro() {
  for (BusSlot* slot : slots_) {
    bus_remove_board(slot, false);
    bus_free_slot(slot);
  }
  for (plat::board::Board* board : boards_) plat::board::board_destroy(board);
  unload_driver(&stavro_);
  unload_driver(&memory_);
  unload_driver(&log_);
  flush_queued_dpcs();
  stop_interrupt_threads();
  stop_timer_thread();
  stop_dpc_thread();
  physmem_stop();
}

plat::NtStatus InProcessStavro::Start(bool withLog, bool withMemory) {
  if (withLog) start_host_driver(L"\\Driver\\QELLOG", qellog_driver_entry, &log_);
  if (withMemory) start_host_driver(L"\\Driver\\QELMEM", qelmem_driver_entry, &memory_);
  return start_host_driver(L"\\Driver\\Stavro", DriverEntry, &stavro_);
}

void InProcessStavro::AddBoard(const std::string& model) {
  plat::board::Board* board = plat::board::board_create({model}, static_cast<int>(boards_.size()));
  boards_.push_back(board);
  BusSlot* slot = nullptr;
  bus_add_board(board, stavro_.driver, &slot);
  slots_.push_back(slot);
}

YatManagerExtension* InProcessStavro::manager() const {
  DeviceObject* device = stavro_.driver ? stavro_.driver->device_list : nullptr;
  while (device != nullptr && device->next_device != nullptr) device = device->next_device;
  return device ? ManagerOf(device) : nullptr;
}

ClientInfo InProcessStavro::Client(std::int32_t pid) const {
  ClientInfo client{};
  client.process.pid = pid;
  client.process.start_time = 1;
  client.connection_id = static_cast<std::uint32_t>(pid);
  return client;
}

std::string InProcessStavro::Log() const { return plat::support::read_machine_log(); }
