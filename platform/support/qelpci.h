// Entry points of the PCI access library stand-in "QelPci.dll": configuration
// space of the simulated PCI bus. Its users bind the entries by name at run
// time through the function types below; the library itself defines them.
//
// A PCI address word holds the bus in bits 8 to 15, the device in bits 3 to 7
// and the function in bits 0 to 2. A function nobody answers for reads all
// ones and refuses writes (0).
#pragma once

#include <cstdint>

#define QELPCI_EXPORT extern "C" __attribute__((visibility("default")))

// Answered by the searches when there is no such function.
inline constexpr std::uint32_t kQelPciNotFound = 0xFFFF;

using QelPciGetDriverVersionFn = std::uint32_t (*)();
using QelPciIsPciBiosFn = std::uint32_t (*)();
using QelPciGetByteFn = std::uint8_t (*)(std::uint32_t address, std::uint16_t reg);
using QelPciGetWordFn = std::uint16_t (*)(std::uint32_t address, std::uint16_t reg);
using QelPciGetDwordFn = std::uint32_t (*)(std::uint32_t address, std::uint16_t reg);
using QelPciPutByteFn = std::uint8_t (*)(std::uint32_t address, std::uint16_t reg, std::uint8_t value);
using QelPciPutWordFn = std::uint8_t (*)(std::uint32_t address, std::uint16_t reg, std::uint16_t value);
using QelPciPutDwordFn = std::uint8_t (*)(std::uint32_t address, std::uint16_t reg, std::uint32_t value);
// The index-th function (0 first) with these ids, or kQelPciNotFound.
using QelPciFindDeviceFn = std::uint32_t (*)(std::uint16_t vendor, std::uint16_t device, std::uint16_t index);
// The index-th function whose 24-bit class code (class, subclass, interface) matches.
using QelPciFindClassCodeFn = std::uint32_t (*)(std::uint32_t class_code, std::uint16_t index);
// 1 when the function at (bus << 8 | device << 3 | function) is a display controller.
using QelPciIsDisplayDeviceFn = std::uint32_t (*)(std::uint16_t location);
// Limits the searches to buses 0 to last_bus; answers the previous limit.
using QelPciSetBusNumberFn = std::uint32_t (*)(std::uint8_t last_bus);
// Length of the memory or I/O range a BAR (0 to 5) decodes; 0 when none.
using QelPciGetAddrLenFn = std::uint32_t (*)(std::uint32_t address, std::uint8_t bar);
// Copies `length` bytes of configuration space from `offset`; 1 on success.
using QelPciGetDataFn = std::uint32_t (*)(std::uint32_t address, std::uint16_t offset, std::uint16_t length,
                                          void* data);
