// The hardware reset of a board: the FPGA reloads from flash and the set-up
// chain of the first-time initialisation runs again on the same entry. Two
// switches are read from the registry itself, not from the options file:
// "Reboot On Reset" refuses the reset (the computer must restart), and
// "SerrInterruptDisable" = 16 masks the bridge's error reporting while the
// board is off the bus.
#include "driver/user/BoardSetup.h"
#include "driver/user/Pardow.h"
#include "driver/user/QelPciBinding.h"
#include "driver/user/QelPciUtil.h"
#include "driver/user/YatBoardInit.h"
#include "driver/user/YatBoardSetup.h"
#include "driver/user/YatLibrary.h"
#include "driver/user/YatManRequests.h"
#include "driver/user/YatTransfer.h"
#include "qellib/QelLog.h"
#include "qellib/QelWinRegistry.h"

namespace {

constexpr const char* kRebootOnReset = "Reboot On Reset";
constexpr const char* kSerrInterruptDisable = "SerrInterruptDisable";
constexpr std::uint32_t kSerrMaskBridge = 16;
constexpr std::uint32_t kSerrLeaveBridge = 8;
constexpr std::uint32_t kReloadFromFlash = 0x1;
constexpr std::uint32_t kReloadMode = 2;
constexpr std::uint32_t kUnloadMain = 0;
constexpr QelHwStatus kRebootRequired = QELHW_ERROR_RESET_NEEDS_REBOOT;

// A missing value, or one of another type, counts as 0.
std::uint32_t RebootOnReset() {
  std::uint32_t value = 0;
  if (ReadRegistryDword(plat::RegistryRoot::kLocalMachine, YAT_DRIVER_KEY, kRebootOnReset, &value) != QELHW_OK)
    return 0;
  return value;
}

// 16 or 8; anything else counts as 8, an unreadable value too.
std::uint32_t SerrSwitch() {
  std::uint32_t value = 0;
  if (ReadRegistryDword(plat::RegistryRoot::kLocalMachine, YAT_DRIVER_KEY, kSerrInterruptDisable, &value) !=
      QELHW_OK) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s: REGISTRY SerrInterruptDisable is invalid. ", kPardowLabel);
    return kSerrLeaveBridge;
  }
  return value == kSerrMaskBridge ? kSerrMaskBridge : kSerrLeaveBridge;
}

QelHwStatus MaskBridge(std::uint32_t board, std::uint32_t* address, QelPciBridgeState* state) {
  std::uint32_t location[3] = {};
  QelHwStatus status = Yat_Man_GetPciLocation(board, reinterpret_cast<std::uint8_t*>(location), sizeof location);
  if (status != QELHW_OK) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s, GetBusNumber() failed status %x", kPardowLabel,
              static_cast<unsigned>(status));
    return status;
  }
  *address = QelPciAddress(location[0], location[1], location[2]);
  return QelPci_BridgeInterrupt_Disable(*address, 1, state);
}

// Step 9 of the reset: the set-up chain once more.
QelHwStatus SetUpAgain(std::uint32_t board) {
  QelHwStatus status = Yat_Man_MiscInit(board);
  if (status == QELHW_OK) status = Yat_FPGA_Initialize(board);
  if (status == QELHW_OK) status = Yat_FPGA_ResetBoard(board);
  if (status == QELHW_OK) status = Yat_Man_InitBoardManager(board);
  if (status == QELHW_OK) {
    status = Yat_FPGA_SetMemoryBank(board);
    if (status != QELHW_OK)
      LogPutLog(kQelLogError, __FILE__, __LINE__, "%s, Yat_Man_Board_HWReset: Yat_FPGA_SetMemoryBank - Failed(0x%x)",
                kPardowLabel, static_cast<unsigned>(status));
  }
  return status;
}

QelHwStatus FreeCameraChannels(std::uint32_t board) {
  std::uint32_t cameras = 0;
  const QelHwStatus status = Yat_Man_GetMaxCamera(board, &cameras);
  for (std::uint32_t camera = 0; status == QELHW_OK && camera < cameras; ++camera)
    Yat_DMA_FreeCameraOwners(board, camera);
  return status;
}

QelHwStatus Reset(std::uint32_t board, std::uint32_t flags, std::uint32_t address) {
  if (RebootOnReset() != 0) {
    Yat_Man_SetBoardError(board, kRebootRequired);
    return kRebootRequired;
  }
  std::uint32_t count = 0;
  QelHwStatus status = Yat_Man_GetNbBoard(&count);
  if (status == QELHW_OK) Yat_GetSharedBoardInfo()->boardCount = count;
  if (status == QELHW_OK) {
    status = Yat_Man_IoBoard_Unload(board);
    if (status != QELHW_OK)
      LogPutLog(kQelLogError, __FILE__, __LINE__, "%s, Board %d, Yat_Man_IoBoard_Unload: failed", kPardowLabel,
                static_cast<int>(board));
  }
  bool bridgeMasked = false;
  std::uint32_t bridgeAddress = 0;
  QelPciBridgeState bridge{};
  if (status == QELHW_OK && SerrSwitch() == kSerrMaskBridge) {
    status = MaskBridge(board, &bridgeAddress, &bridge);
    bridgeMasked = status == QELHW_OK;
  }
  if (status == QELHW_OK && (flags & kReloadFromFlash) != 0) status = Yat_Man_Reload(board, kReloadMode, address);
  if (bridgeMasked) QelPci_BridgeInterrupt_Disable(bridgeAddress, 0, &bridge);
  if (status == QELHW_OK && (flags & kReloadFromFlash) != 0) status = Yat_FPGA_Unload(board, kUnloadMain);
  if (status == QELHW_OK) status = SetUpAgain(board);
  if (status == QELHW_OK) status = FreeCameraChannels(board);
  return status;
}

}  // namespace

PARDOW_API QelHwStatus Yat_Man_Board_HWReset_At_Address(std::uint32_t board, std::uint32_t flags,
                                                        std::uint32_t address) {
  if (Yat_GetBoardEntry(board) == nullptr) return QELHW_ERROR_ARG_INVALID;
  Yat_DebugTrace("Yat_Board_Reset Start\n");
  const QelHwStatus status = Reset(board, flags, address);
  Yat_DebugTrace("Yat_Board_Reset End\n");
  return status;
}

PARDOW_API QelHwStatus Yat_Man_Board_HWReset(std::uint32_t board, std::uint32_t flags) {
  return Yat_Man_Board_HWReset_At_Address(board, flags, 0);
}

PARDOW_API QelHwStatus Yat_Man_Board_Reset(std::uint32_t board) { return Yat_Man_Board_HWReset(board, 1); }
