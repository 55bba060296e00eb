// The PCI access library stand-in "QelPci.dll": configuration space of the
// kernel host's simulated bus, read and written through its board control
// interface. Without a kernel host there is no bus: reads answer all ones,
// writes fail and searches find nothing.
#include "platform/support/qelpci.h"

#include <atomic>
#include <type_traits>
#include <cstring>

#include "platform/support/qelpci_bus.h"

namespace {

using plat::support::PciFunctionRef;

constexpr std::uint32_t kDriverVersion = 0x00030100;
constexpr std::uint16_t kConfigSize = 256;

std::atomic<std::uint32_t> g_last_bus{255};

bool find(std::uint32_t address, PciFunctionRef* function) {
  return plat::support::pci_find_function(plat::support::pci_bus_functions(), address & 0xFFFF, function);
}

std::uint32_t read(std::uint32_t address, std::uint16_t reg, std::uint32_t width) {
  const std::uint32_t absent = width == 4 ? 0xFFFFFFFFu : (1u << (8 * width)) - 1;
  PciFunctionRef function{};
  std::uint32_t value = 0;
  if (!find(address, &function) || !plat::support::pci_config_read(function, reg, width, &value)) return absent;
  return value;
}

std::uint8_t write(std::uint32_t address, std::uint16_t reg, std::uint32_t width, std::uint32_t value) {
  PciFunctionRef function{};
  return find(address, &function) && plat::support::pci_config_write(function, reg, width, value) ? 1 : 0;
}

// The index-th function on buses up to the limit for which `matches` holds.
template <class Match>
std::uint32_t search(std::uint16_t index, Match matches) {
  std::uint16_t seen = 0;
  for (const auto& function : plat::support::pci_bus_functions()) {
    if (((function.address >> 8) & 0xFF) > g_last_bus.load()) continue;
    if (!matches(function)) continue;
    if (seen++ == index) return function.address;
  }
  return kQelPciNotFound;
}

std::uint32_t class_code_of(const PciFunctionRef& function) {
  std::uint32_t value = 0;
  if (!plat::support::pci_config_read(function, 0x08, 4, &value)) return 0xFFFFFFFFu;
  return value >> 8;
}

}  // namespace

QELPCI_EXPORT std::uint32_t QelPciGetDriverVersion() { return kDriverVersion; }

QELPCI_EXPORT std::uint32_t QelPciIsPciBios() { return plat::support::pci_bus_functions().empty() ? 0 : 1; }

QELPCI_EXPORT std::uint8_t QelPciGetByte(std::uint32_t address, std::uint16_t reg) {
  return static_cast<std::uint8_t>(read(address, reg, 1));
}

QELPCI_EXPORT std::uint16_t QelPciGetWord(std::uint32_t address, std::uint16_t reg) {
  return static_cast<std::uint16_t>(read(address, reg, 2));
}

QELPCI_EXPORT std::uint32_t QelPciGetDword(std::uint32_t address, std::uint16_t reg) { return read(address, reg, 4); }

QELPCI_EXPORT std::uint8_t QelPciPutByte(std::uint32_t address, std::uint16_t reg, std::uint8_t value) {
  return write(address, reg, 1, value);
}

QELPCI_EXPORT std::uint8_t QelPciPutWord(std::uint32_t address, std::uint16_t reg, std::uint16_t value) {
  return write(address, reg, 2, value);
}

QELPCI_EXPORT std::uint8_t QelPciPutDword(std::uint32_t address, std::uint16_t reg, std::uint32_t value) {
  return write(address, reg, 4, value);
}

QELPCI_EXPORT std::uint32_t QelPciFindDevice(std::uint16_t vendor, std::uint16_t device, std::uint16_t index) {
  return search(index, [&](const PciFunctionRef& function) {
    std::uint32_t ids = 0;
    return plat::support::pci_config_read(function, 0, 4, &ids) && (ids & 0xFFFF) == vendor && (ids >> 16) == device;
  });
}

QELPCI_EXPORT std::uint32_t QelPciFindClassCode(std::uint32_t class_code, std::uint16_t index) {
  return search(index, [&](const PciFunctionRef& function) { return class_code_of(function) == (class_code & 0xFFFFFF); });
}

QELPCI_EXPORT std::uint32_t QelPciIsDisplayDevice(std::uint16_t location) {
  PciFunctionRef function{};
  if (!find(location, &function)) return 0;
  return (class_code_of(function) >> 16) == 0x03 ? 1 : 0;
}

QELPCI_EXPORT std::uint32_t QelPciSetBusNumber(std::uint8_t last_bus) { return g_last_bus.exchange(last_bus); }

// Sizes a BAR the way firmware does: all ones written, the mask read back,
// the original put back.
QELPCI_EXPORT std::uint32_t QelPciGetAddrLen(std::uint32_t address, std::uint8_t bar) {
  PciFunctionRef function{};
  if (bar > 5 || !find(address, &function)) return 0;
  const std::uint32_t reg = 0x10 + 4u * bar;
  std::uint32_t original = 0, mask = 0;
  if (!plat::support::pci_config_read(function, reg, 4, &original) ||
      !plat::support::pci_config_write(function, reg, 4, 0xFFFFFFFFu) ||
      !plat::support::pci_config_read(function, reg, 4, &mask))
    return 0;
  plat::support::pci_config_write(function, reg, 4, original);
  mask &= (original & 1) ? 0xFFFFFFFCu : 0xFFFFFFF0u;
  return mask == 0 ? 0 : ~mask + 1;
}

QELPCI_EXPORT std::uint32_t QelPciGetData(std::uint32_t address, std::uint16_t offset, std::uint16_t length,
                                          void* data) {
  PciFunctionRef function{};
  if (data == nullptr || std::uint32_t{offset} + length > kConfigSize || !find(address, &function)) return 0;
  auto* out = static_cast<std::uint8_t*>(data);
  for (std::uint16_t i = 0; i < length; ++i) {
    std::uint32_t value = 0;
    if (!plat::support::pci_config_read(function, offset + i, 1, &value)) return 0;
    out[i] = static_cast<std::uint8_t>(value);
  }
  return 1;
}

// The binding's function types and these definitions must agree.
static_assert(std::is_same_v<decltype(&QelPciGetByte), QelPciGetByteFn>);
static_assert(std::is_same_v<decltype(&QelPciGetWord), QelPciGetWordFn>);
static_assert(std::is_same_v<decltype(&QelPciGetDword), QelPciGetDwordFn>);
static_assert(std::is_same_v<decltype(&QelPciPutWord), QelPciPutWordFn>);
static_assert(std::is_same_v<decltype(&QelPciFindClassCode), QelPciFindClassCodeFn>);
static_assert(std::is_same_v<decltype(&QelPciGetData), QelPciGetDataFn>);
