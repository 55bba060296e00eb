// Configuration-space utilities over the PCI access binding: the capability
// walk and the masking of error reporting on the bridge above a board, used
// around a reload of the board's FPGA. (The process, thread, installation and
// file-version utilities are the common library's, qellib/QelWinProcess.h.)
#pragma once

#include <cstdint>

#include "driver/user/QelHwStatus.h"

#pragma pack(push, 1)
// Kept by the caller between the disable and the restore.
struct QelPciBridgeState {
  std::uint32_t bridgeAddress;
  std::uint8_t flags;
};
#pragma pack(pop)
static_assert(sizeof(QelPciBridgeState) == 5);

inline constexpr std::uint8_t kBridgeSavedSerr = 0x01;          // command bit 8
inline constexpr std::uint8_t kBridgeSavedNonFatal = 0x02;      // device control bit 1
inline constexpr std::uint8_t kBridgeSavedFatal = 0x04;         // device control bit 2
inline constexpr std::uint8_t kBridgeCommandChanged = 0x08;
inline constexpr std::uint8_t kBridgeControlChanged = 0x10;
inline constexpr std::uint8_t kBridgeSavedCorrectable = 0x20;   // device control bit 0
inline constexpr std::uint8_t kBridgeSavedUnsupported = 0x40;   // device control bit 3

inline constexpr std::uint8_t kPciCapabilityExpress = 0x10;

// Offset of the first capability with this id, else 0.
std::uint8_t QelPci_FindCapability(std::uint32_t address, std::uint8_t id);
// True, with the bridge's address in the state, when a PCI-to-PCI bridge has
// the device's bus as its secondary bus.
bool QelPci_FindBridge(std::uint32_t deviceAddress, QelPciBridgeState* state);
// disable nonzero: clears the bridge's SERR# enable and its four error-reporting
// enables, remembering them; disable 0: puts back what the state remembers.
// 0, or 0xC0000000 when no bridge is found or a write fails.
QelHwStatus QelPci_BridgeInterrupt_Disable(std::uint32_t deviceAddress, std::uint8_t disable,
                                           QelPciBridgeState* state);
