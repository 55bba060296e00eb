#include "platform/support/qelpci_bus.h"

#include <utility>
#include <array>
#include <cstring>

#include "platform/support/qelpci_control.h"

namespace plat::support {

namespace {

constexpr std::uint32_t kConfigSize = 256;

std::uint32_t address_of(std::uint32_t bus, std::uint32_t device, std::uint32_t function) {
  return ((bus & 0xFF) << 8) | ((device & 0x1F) << 3) | (function & 7);
}

// The host's own functions on bus 0, device 0: a host bridge with a display
// controller and an SMBus controller beside it. Their ids are the simulated
// bus's own; their configuration space is read-only.
struct HostFunction {
  std::uint32_t function;
  std::uint16_t device_id;
  std::uint32_t class_code;
};
constexpr std::uint16_t kHostVendorId = 0x1FFE;
constexpr std::array<HostFunction, 3> kHostFunctions = {{
    {0, 0x0000, 0x060000},
    {1, 0x0100, 0x030000},
    {2, 0x0200, 0x0C0500},
}};

std::array<std::uint8_t, kConfigSize> host_config(int index) {
  std::array<std::uint8_t, kConfigSize> config{};
  const HostFunction& f = kHostFunctions[static_cast<std::size_t>(index)];
  auto put16 = [&](std::uint32_t at, std::uint16_t v) { std::memcpy(&config[at], &v, 2); };
  put16(0x00, kHostVendorId);
  put16(0x02, f.device_id);
  put16(0x04, 0x0006);  // memory space and bus master
  config[0x09] = static_cast<std::uint8_t>(f.class_code);
  config[0x0A] = static_cast<std::uint8_t>(f.class_code >> 8);
  config[0x0B] = static_cast<std::uint8_t>(f.class_code >> 16);
  config[0x0E] = index == 0 ? 0x80 : 0x00;  // multi-function device
  return config;
}

bool access_valid(std::uint32_t offset, std::uint32_t width) {
  return (width == 1 || width == 2 || width == 4) && offset < kConfigSize && (offset % 4) + width <= 4;
}

}  // namespace

std::vector<PciFunctionRef> pci_bus_functions() {
  std::vector<PciFunctionRef> functions;
  const auto boards = qelpci_list_boards();
  if (boards.empty()) return functions;
  for (std::size_t i = 0; i < kHostFunctions.size(); ++i)
    functions.push_back({PciFunctionRef::Kind::kHost, static_cast<int>(i), address_of(0, 0, kHostFunctions[i].function)});
  for (const auto& board : boards) {
    if (board.present == 0) continue;
    functions.push_back({PciFunctionRef::Kind::kBoard, board.index, address_of(board.bus, board.device, board.function)});
    functions.push_back({PciFunctionRef::Kind::kBridge, board.index,
                         address_of(board.bridge_bus, board.bridge_device, board.bridge_function)});
  }
  // Few functions: an insertion sort keeps the order of the address words.
  for (std::size_t i = 1; i < functions.size(); ++i)
    for (std::size_t j = i; j > 0 && functions[j].address < functions[j - 1].address; --j)
      std::swap(functions[j], functions[j - 1]);
  return functions;
}

bool pci_find_function(const std::vector<PciFunctionRef>& functions, std::uint32_t address, PciFunctionRef* found) {
  for (const auto& function : functions) {
    if (function.address != address) continue;
    *found = function;
    return true;
  }
  return false;
}

bool pci_config_read(const PciFunctionRef& function, std::uint32_t offset, std::uint32_t width, std::uint32_t* value) {
  if (!access_valid(offset, width)) return false;
  if (function.kind == PciFunctionRef::Kind::kHost) {
    const auto config = host_config(function.index);
    *value = 0;
    std::memcpy(value, &config[offset], width);
    return true;
  }
  return qelpci_config_read(function.index, function.kind == PciFunctionRef::Kind::kBridge, offset, width, value) ==
         plat::board::kControlOk;
}

bool pci_config_write(const PciFunctionRef& function, std::uint32_t offset, std::uint32_t width, std::uint32_t value) {
  if (!access_valid(offset, width)) return false;
  if (function.kind == PciFunctionRef::Kind::kHost) return true;  // read-only registers ignore writes
  return qelpci_config_write(function.index, function.kind == PciFunctionRef::Kind::kBridge, offset, width, value) ==
         plat::board::kControlOk;
}

}  // namespace plat::support
