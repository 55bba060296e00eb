// The PCI access library's client of the kernel host's board control
// interface: the boards on the simulated bus and their configuration space.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/board/control_protocol.h"

namespace plat::support {

// Empty when no kernel host serves this machine.
std::vector<plat::board::ControlBoardEntry> qelpci_list_boards();

// kControlOk with *value, or why not (kControlUnreachable without a host).
int qelpci_config_read(int board, bool bridge, std::uint32_t offset, std::uint32_t width, std::uint32_t* value);
int qelpci_config_write(int board, bool bridge, std::uint32_t offset, std::uint32_t width, std::uint32_t value);

}  // namespace plat::support
