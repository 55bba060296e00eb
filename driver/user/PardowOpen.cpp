// Open and close of the board library: once per process, under one named
// mutex shared by every process, with the boards initialised by the first.
#include <bit>

#include "driver/kernel/YatIoctl.h"
#include "driver/user/Pardow.h"
#include "driver/user/QelPciBinding.h"
#include "driver/user/YatBoardInit.h"
#include "driver/user/YatLibrary.h"
#include "driver/user/YatManRequests.h"
#include "driver/user/YatMsgClient.h"
#include "platform/win/device.h"
#include "qellib/QelLog.h"
#include "qellib/QelSharedMutex.h"
#include "qellib/QelWinOptions.h"

namespace {

constexpr const char* kDllMutexName = "HABRIX_QELYATCLFOLVA4X_DLL_MUTEX";
constexpr const char* kDriverDirVariable = "YATFOLVA4XDIR";
constexpr const char* kOptionsFileName = "Yat_Tramond-CL_RZ6_Config.ini";
constexpr const char* kControlDeviceName = "\\\\.\\STAVRO";
constexpr const char* kBoardFamilyName = "Tramond-CL_RZ6";
constexpr std::uint32_t kOptionsFileMode = 1;
constexpr std::uint32_t kProcessSlots = 32;

QelHwStatus TakeProcessSlot() {
  YatSharedBoardInfo* info = Yat_GetSharedBoardInfo();
  if (info->processSlotMask == 0xFFFFFFFFu) return QELHW_ERROR_PROCESS_NOT_REGISTERED;
  const std::uint32_t bit = static_cast<std::uint32_t>(std::countr_one(info->processSlotMask));
  info->processSlotMask |= 1u << bit;
  Yat_GetProcessState().processSlot = bit + 1;
  return QELHW_OK;
}

void FreeProcessSlot() {
  YatProcessState& state = Yat_GetProcessState();
  if (state.processSlot >= 1 && state.processSlot <= kProcessSlots)
    Yat_GetSharedBoardInfo()->processSlotMask &= ~(1u << (state.processSlot - 1));
  state.processSlot = 0;
}

// Close step 1: what the device open and the message registration took.
void CloseDevice() {
  YatProcessState& state = Yat_GetProcessState();
  if (state.device == kYatInvalidDevice) return;
  if (!Yat_MsgClient_Unregister())
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s,IOCTL_UNREGISTER_MSGEVENT Failed", kPardowLabel);
  Yat_MsgClient_CloseEvent();
  FreeProcessSlot();
  if (state.device != 0) plat::close_device(state.device);
  state.device = kYatInvalidDevice;
}

QelHwStatus CheckDriverAbi() {
  std::uint32_t version = 0;
  const QelHwStatus status = Yat_Man_GetKernelAbiVersion(&version);
  if (status != QELHW_OK) return status;
  if (version == YAT_DRIVER_ABI_VERSION) return QELHW_OK;
  LogPutLog(kQelLogError, __FILE__, __LINE__,
            "%s, Incompatible Driver ABI Version: Kernel Driver = %d, Low-Level Driver = %d", kPardowLabel,
            static_cast<int>(version), static_cast<int>(YAT_DRIVER_ABI_VERSION));
  return QELHW_ERROR_INCOMPATIBLE_VERSION;
}

QelHwStatus OpenDevice() {
  QelHwStatus status = TakeProcessSlot();
  if (status != QELHW_OK) return status;
  YatProcessState& state = Yat_GetProcessState();
  const plat::Handle device = plat::open_device(kControlDeviceName);
  if (device == plat::kNullHandle) {
    FreeProcessSlot();
    return QELHW_ERROR_NO_BOARD_FOUND;
  }
  state.device = device;
  status = CheckDriverAbi();
  if (status != QELHW_OK) {
    FreeProcessSlot();
    CloseDevice();
  }
  return status;
}

QelHwStatus FindBoards() {
  YatSharedBoardInfo* info = Yat_GetSharedBoardInfo();
  info->boardCount = 1;
  const QelHwStatus status = Yat_Man_GetNbBoard(&info->boardCount);
  if (status != QELHW_OK) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s: Yat_InitOnce: Yat_FindBoards - Failed(0x%x)", kPardowLabel,
              static_cast<unsigned>(status));
    return status;
  }
  LogPutLog(kQelLogTrace, __FILE__, __LINE__, "%s: Found %d %s Board(s)", kPardowLabel,
            static_cast<int>(info->boardCount), kBoardFamilyName);
  return QELHW_OK;
}

// Run by the first process of all. The result is the last board's status;
// earlier boards keep theirs in their own entries.
QelHwStatus InitializeOnce() {
  Yat_GetSharedData()->debugLevel = 0;
  QelHwStatus status = FindBoards();
  if (status != QELHW_OK) return status;
  const std::uint32_t count = Yat_GetSharedBoardInfo()->boardCount;
  if (count == 0) return QELHW_ERROR_NO_BOARD_FOUND;
  for (std::uint32_t board = 0; board < count && board < YAT_MAX_BOARD; ++board) status = Yat_InitBoardOnce(board);
  return status;
}

QelHwStatus RunOpenSteps() {
  const std::uint32_t loadCount = Yat_IncrementLoadCount();
  LoadQelLog();
  QelPciLoad(kPardowLabel);
  QelHwStatus status = SetConfigPathName(Yat_GetProcessState().module, kDriverDirVariable, kOptionsFileName,
                                         kOptionsFileMode);
  if (status != QELHW_OK) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s: VkmInit: QelWinSetModuleOptions", kPardowLabel);
    return status;
  }
  status = OpenDevice();
  if (status == QELHW_OK && loadCount == 1) status = InitializeOnce();
  if (status == QELHW_OK) status = Yat_MsgClient_Init();
  const QelHwStatus previous = Yat_GetSharedBoardInfo()->initError;
  if (status == QELHW_OK && previous != QELHW_OK)
    LogPutLog(kQelLogNotice, __FILE__, __LINE__, "%s, Loaded (#%d), status = %d", kPardowLabel,
              static_cast<int>(Yat_GetSharedBoardInfo()->loadCount), static_cast<int>(previous));
  return status;
}

void ReleaseMutex(plat::Handle mutex) {
  plat::release_mutex(mutex);
  plat::close_handle(mutex);
}

}  // namespace

PARDOW_API QelHwStatus QelHw_Open() {
  const plat::Handle mutex = SharedMutexLock(kDllMutexName, kPardowLabel);
  YatProcessState& state = Yat_GetProcessState();
  QelHwStatus status = QELHW_ERROR_ACQUIRE_MUTEX;
  if (mutex != plat::kNullHandle) status = state.opened != 0 ? QELHW_OK : RunOpenSteps();
  Yat_GetSharedBoardInfo()->initError = status;
  if (mutex != plat::kNullHandle) {
    // Also after a failure: the close undoes exactly what this open did.
    state.opened = 1;
    ReleaseMutex(mutex);
  }
  return status;
}

PARDOW_API QelHwStatus QelHw_Close() {
  const plat::Handle mutex = SharedMutexLock(kDllMutexName, kPardowLabel);
  if (mutex == plat::kNullHandle) return QELHW_ERROR_ACQUIRE_MUTEX;
  YatProcessState& state = Yat_GetProcessState();
  if (state.opened != 0) {
    CloseDevice();
    UnloadQelLog();
    QelPciUnload();
    Yat_DecrementLoadCount();
    state.opened = 0;
  }
  ReleaseMutex(mutex);
  return QELHW_OK;
}
