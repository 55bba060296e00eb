// In-process tests of the host messaging layer: a fresh machine, the layer's
// shared tables and this process's addresses and port servers cleared, the
// log and memory libraries bound.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "firmware/win32/QelMemBinding.h"
#include "platform/support/machine_log.h"
#include "platform/testing/machine_fixture.h"
#include "qellib/QelLog.h"
#include "source/QelHost/QelHostInternal.h"

namespace host_test {

class HostLayer : public ::testing::Test {
 protected:
  void SetUp() override {
    LoadQelLog();
    LoadQelMem("Quillet.DLL");
    std::memset(HostGetSharedTables(), 0, sizeof(HostSharedTables));
    std::memset(HostLocalPortServers(), 0, sizeof(HostPortServerEntry) * kHostPortServerCount);
    SetAddress(0);
  }
  void TearDown() override {
    HostSetRequestDispatcher(nullptr);
    std::memset(HostLocalPortServers(), 0, sizeof(HostPortServerEntry) * kHostPortServerCount);
    UnloadQelMem();
    UnloadQelLog();
  }

  static void SetAddress(std::uint32_t address) {
    HostSetServerIndex(address);
    HostSetAddressBase(address);
  }

  static bool Logged(const std::string& text) {
    return plat::support::read_machine_log().find(text) != std::string::npos;
  }

  plat::testing::ScopedMachine machine_;
};

}  // namespace host_test
