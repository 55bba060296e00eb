// The driver in this process over the kernel services: the outside drivers
// the test asks for, the driver started through its entry, and simulated
// boards added through the bus's Plug and Play.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "driver/kernel/YatExtensions.h"
#include "platform/kernel/bus.h"
#include "platform/kernel/driver_loader.h"
#include "platform/kernel/transport_server.h"
#include "platform/testing/machine_fixture.h"

class InProcessStavro {
 public:
  InProcessStavro();
  ~InProcessStavro();
  InProcessStavro(const InProcessStavro&) = delete;
  InProcessStavro& operator=(const InProcessStavro&) = delete;

  plat::NtStatus Start(bool withLog = true, bool withMemory = true);
  void AddBoard(const std::string& model);

  plat::kernel::DriverObject* driver() const { return stavro_.driver; }
  plat::kernel::BusSlot* slot(std::size_t i) const { return slots_.at(i); }
  plat::board::Board* board(std::size_t i) const { return boards_.at(i); }
  YatManagerExtension* manager() const;
  // A client of the request path, as the transport would name one.
  plat::kernel::ClientInfo Client(std::int32_t pid) const;
  std::string Log() const;

 private:
  plat::testing::ScopedMachine machine_;
  plat::kernel::LoadedDriver log_, memory_, stavro_;
  std::vector<plat::board::Board*> boards_;
  std::vector<plat::kernel::BusSlot*> slots_;
};
