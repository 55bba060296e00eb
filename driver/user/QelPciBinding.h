// Binding of the maker's PCI access library "QelPci.dll". Each entry point is
// called through a wrapper of the same name that answers a fixed default when
// the library or the entry is missing. Per process.
#pragma once

#include <cstdint>

// PCI address word: bus in bits 8 to 15, device in bits 3 to 7, function in bits 0 to 2.
constexpr std::uint32_t QelPciAddress(std::uint32_t bus, std::uint32_t device, std::uint32_t function) {
  return ((bus & 0xFF) << 8) | ((device & 0x1F) << 3) | (function & 7);
}
constexpr std::uint32_t QelPciBus(std::uint32_t address) { return (address >> 8) & 0xFF; }
constexpr std::uint32_t QelPciDevice(std::uint32_t address) { return (address >> 3) & 0x1F; }
constexpr std::uint32_t QelPciFunction(std::uint32_t address) { return address & 7; }

// Loads the library once (until the unload) and names the owner of the binding.
void QelPciLoad(const char* owner);
// Frees the library and forgets every entry point.
void QelPciUnload();
// True while the library is bound (for the tests of the binding).
bool QelPciIsBound();

std::uint32_t QelPciGetDriverVersion();
std::uint32_t QelPciIsPciBios();
std::uint8_t QelPciGetByte(std::uint32_t address, std::uint16_t reg);
std::uint16_t QelPciGetWord(std::uint32_t address, std::uint16_t reg);
std::uint32_t QelPciGetDword(std::uint32_t address, std::uint16_t reg);
std::uint8_t QelPciPutByte(std::uint32_t address, std::uint16_t reg, std::uint8_t value);
std::uint8_t QelPciPutWord(std::uint32_t address, std::uint16_t reg, std::uint16_t value);
std::uint8_t QelPciPutDword(std::uint32_t address, std::uint16_t reg, std::uint32_t value);
std::uint32_t QelPciFindDevice(std::uint16_t vendor, std::uint16_t device, std::uint16_t index);
std::uint32_t QelPciFindClassCode(std::uint32_t classCode, std::uint16_t index);
std::uint32_t QelPciIsDisplayDevice(std::uint16_t location);
std::uint32_t QelPciSetBusNumber(std::uint8_t lastBus);
std::uint32_t QelPciGetAddrLen(std::uint32_t address, std::uint8_t bar);
std::uint32_t QelPciGetData(std::uint32_t address, std::uint16_t offset, std::uint16_t length, void* data);
