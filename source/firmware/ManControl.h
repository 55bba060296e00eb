// Manager control: the board-management channel behind manager commands 1006
// and 1018 (board information, EEPROM areas, device parameters, flash,
// version records, named EEPROM fields, the acquisition monitor), and its
// second table, the board private commands (registers, FPGA, on-board memory
// and its DMA test, firmware files). Codes without a row answer 70.
//
// Lock order: manager control takes no lock of its own but the on-board
// memory test's guard, taken alone around one test step; the board library's
// locks nest inside it. The monitor binding is written by the monitor module
// at its installation and read with acquire ordering.
#pragma once

#include <cstdint>

#include "source/QelAPI/QelStatus.h"

inline constexpr std::uint32_t kManControlCapabilityWord = 0x80000066;
inline constexpr std::uint32_t kManControlReadyProbe = 0x80000019;
inline constexpr std::uint32_t kManControlFirstMonitorCode = 0x80000059;
inline constexpr std::uint32_t kManControlLastMonitorCode = 0x8000005C;
inline constexpr std::uint32_t kManControlMonitorClearFifo = 0x80000068;
// The monitor's codes before the monitor module bound its entries.
inline constexpr QelStatus kManControlMonitorAbsent = kQelModuleManager | 0x29;

// Zeroes the output first, whatever the code.
QelStatus ManControl(std::uint32_t board, std::uint32_t code, const void* input, std::uint32_t inputSize,
                     void* output, std::uint32_t outputSize);
QelStatus BoardPrivateCommand(std::uint32_t board, std::uint32_t code, const void* input, std::uint32_t inputSize,
                              void* output, std::uint32_t outputSize);

// The acquisition monitor's entries, installed by the monitor module. The
// command entry answers into the call's output (0x80000059: the monitor
// handle, 8 bytes); the FIFO clear takes the monitor handle's address as the
// request carries it.
using ManMonitorCommandFn = QelStatus (*)(std::uint32_t board, std::uint32_t code, const void* input,
                                          std::uint32_t inputSize, void* output, std::uint32_t outputSize);
using ManMonitorClearFifoFn = QelStatus (*)(std::uint64_t monitor, std::uint32_t selector);
struct ManMonitorEntries {
  ManMonitorCommandFn command;      // codes 0x80000059-0x8000005C
  ManMonitorClearFifoFn clearFifo;  // code 0x80000068
};
// Null entries (or a null record) unbind: the codes answer kManControlMonitorAbsent.
void ManControlBindMonitor(const ManMonitorEntries* entries);
