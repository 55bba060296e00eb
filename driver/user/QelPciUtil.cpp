#include "driver/user/QelPciUtil.h"

#include "driver/user/QelPciBinding.h"
#include "qellib/QelLog.h"

namespace {

constexpr std::uint16_t kCapabilityPointer = 0x34;
constexpr std::uint16_t kSecondaryBus = 0x19;
constexpr std::uint16_t kCommand = 0x04;
constexpr std::uint16_t kSerrEnable = 0x100;
constexpr std::uint16_t kDeviceControl = 8;  // in the PCI Express capability
constexpr std::uint16_t kErrorReportingEnables = 0xF;
constexpr std::uint32_t kBridgeClassCode = 0x060400;
constexpr std::uint16_t kBridgeSearchLimit = 512;
// A chain longer than the capability area can hold is a loop.
constexpr int kMaxCapabilities = 48;

std::uint8_t SavedControlBits(std::uint8_t flags) {
  return static_cast<std::uint8_t>(((flags & kBridgeSavedCorrectable) ? 1 : 0) |
                                   ((flags & kBridgeSavedNonFatal) ? 2 : 0) | ((flags & kBridgeSavedFatal) ? 4 : 0) |
                                   ((flags & kBridgeSavedUnsupported) ? 8 : 0));
}

std::uint8_t FlagsOfControlBits(std::uint16_t control) {
  return static_cast<std::uint8_t>(((control & 1) ? kBridgeSavedCorrectable : 0) |
                                   ((control & 2) ? kBridgeSavedNonFatal : 0) | ((control & 4) ? kBridgeSavedFatal : 0) |
                                   ((control & 8) ? kBridgeSavedUnsupported : 0));
}

bool PutWordLogged(std::uint32_t bridge, std::uint16_t reg, std::uint16_t value, const char* format) {
  if (QelPciPutWord(bridge, reg, value) != 0) return true;
  LogPutLog(kQelLogError, __FILE__, __LINE__, format, static_cast<int>(QelPciBus(bridge)),
            static_cast<int>(QelPciDevice(bridge)), static_cast<int>(QelPciFunction(bridge)));
  return false;
}

constexpr const char* kCommandWriteFailed = "QelPci_BridgeInterrupt_Disable: PciPutWord() failed, bridge(b=%d,s=%d,f=%d)";
constexpr const char* kControlWriteFailed = "QelPci_BridgeInterrupt_Disable:: PciPutWord() failed, bridge(b=%d,s=%d,f=%d)";

QelHwStatus Disable(std::uint32_t deviceAddress, QelPciBridgeState* state) {
  *state = QelPciBridgeState{};
  if (!QelPci_FindBridge(deviceAddress, state)) {
    LogPutLog(kQelLogNotice, __FILE__, __LINE__, "QelPci_BridgeInterrupt_Disable: Coud not find bridge for device");
    return QELHW_ERROR_DRIVER_STATUS;
  }
  const std::uint32_t bridge = state->bridgeAddress;
  QelHwStatus result = QELHW_OK;
  const std::uint16_t command = QelPciGetWord(bridge, kCommand);
  if (command & kSerrEnable) {
    state->flags |= kBridgeSavedSerr | kBridgeCommandChanged;
    if (!PutWordLogged(bridge, kCommand, command & ~kSerrEnable, kCommandWriteFailed)) result = QELHW_ERROR_DRIVER_STATUS;
  }
  const std::uint8_t express = QelPci_FindCapability(bridge, kPciCapabilityExpress);
  if (express == 0) return result;
  const std::uint16_t control = QelPciGetWord(bridge, express + kDeviceControl);
  state->flags |= FlagsOfControlBits(control);
  if (control & kErrorReportingEnables) {
    state->flags |= kBridgeControlChanged;
    if (!PutWordLogged(bridge, express + kDeviceControl, control & ~kErrorReportingEnables, kControlWriteFailed))
      result = QELHW_ERROR_DRIVER_STATUS;
  }
  return result;
}

QelHwStatus Restore(const QelPciBridgeState* state) {
  const std::uint32_t bridge = state->bridgeAddress;
  QelHwStatus result = QELHW_OK;
  if (state->flags & kBridgeCommandChanged) {
    const std::uint16_t command = QelPciGetWord(bridge, kCommand);
    const bool saved = (state->flags & kBridgeSavedSerr) != 0;
    if (((command & kSerrEnable) != 0) != saved) {
      const std::uint16_t value = saved ? (command | kSerrEnable) : (command & ~kSerrEnable);
      if (!PutWordLogged(bridge, kCommand, value, kCommandWriteFailed)) result = QELHW_ERROR_DRIVER_STATUS;
    }
  }
  if (state->flags & kBridgeControlChanged) {
    const std::uint8_t express = QelPci_FindCapability(bridge, kPciCapabilityExpress);
    if (express == 0) return result;
    const std::uint16_t control = QelPciGetWord(bridge, express + kDeviceControl);
    const std::uint16_t saved = SavedControlBits(state->flags);
    if ((control & kErrorReportingEnables) != saved) {
      const auto value = static_cast<std::uint16_t>((control & ~kErrorReportingEnables) | saved);
      if (!PutWordLogged(bridge, express + kDeviceControl, value, kControlWriteFailed)) result = QELHW_ERROR_DRIVER_STATUS;
    }
  }
  return result;
}

}  // namespace

std::uint8_t QelPci_FindCapability(std::uint32_t address, std::uint8_t id) {
  std::uint8_t pointer = QelPciGetByte(address, kCapabilityPointer);
  for (int step = 0; pointer != 0 && pointer != 0xFF && step < kMaxCapabilities; ++step) {
    if (QelPciGetByte(address, pointer) == id) return pointer;
    pointer = QelPciGetByte(address, static_cast<std::uint16_t>(pointer + 1));
  }
  return 0;
}

bool QelPci_FindBridge(std::uint32_t deviceAddress, QelPciBridgeState* state) {
  for (std::uint16_t index = 0; index < kBridgeSearchLimit; ++index) {
    const std::uint32_t bridge = QelPciFindClassCode(kBridgeClassCode, index);
    if ((bridge & 0xFFFF) == 0xFFFF) return false;
    if (QelPciGetByte(bridge, kSecondaryBus) == QelPciBus(deviceAddress)) {
      state->bridgeAddress = bridge;
      return true;
    }
  }
  return false;
}

QelHwStatus QelPci_BridgeInterrupt_Disable(std::uint32_t deviceAddress, std::uint8_t disable,
                                           QelPciBridgeState* state) {
  if (state == nullptr) return QELHW_ERROR_DRIVER_STATUS;
  return disable != 0 ? Disable(deviceAddress, state) : Restore(state);
}
