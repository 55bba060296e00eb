// The PCI access library's view of the simulated bus: the functions the
// kernel host's boards bring (each board and the bridge above it) and a few
// functions of the host itself, found by PCI address word.
#pragma once

#include <cstdint>
#include <vector>

namespace plat::support {

struct PciFunctionRef {
  enum class Kind { kBoard, kBridge, kHost };
  Kind kind;
  int index;              // board index, or the host function's index
  std::uint32_t address;  // bus << 8 | device << 3 | function
};

// Every function present now, in ascending address order; empty when no
// kernel host serves this machine (no bus at all).
std::vector<PciFunctionRef> pci_bus_functions();

// The function at `address`, or false.
bool pci_find_function(const std::vector<PciFunctionRef>& functions, std::uint32_t address, PciFunctionRef* found);

// Width 1, 2 or 4 within one double word of the 256-byte space. False when
// the function no longer answers or the access is malformed.
bool pci_config_read(const PciFunctionRef& function, std::uint32_t offset, std::uint32_t width, std::uint32_t* value);
bool pci_config_write(const PciFunctionRef& function, std::uint32_t offset, std::uint32_t width, std::uint32_t value);

}  // namespace plat::support
