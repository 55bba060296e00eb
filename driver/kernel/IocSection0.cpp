// Section 0: board and manager requests.
#include <cstring>

#include "driver/kernel/BoardControl.h"
#include "driver/kernel/BoardReload.h"
#include "driver/kernel/IocSections.h"
#include "driver/kernel/OnboardMemory.h"
#include "driver/kernel/ProcessTable.h"
#include "driver/kernel/ResourceManager.h"
#include "driver/kernel/YatBoard.h"
#include "platform/kernel/client.h"
#include "platform/kernel/registers.h"

namespace {

constexpr std::uint32_t kRegHostDmaStatus = 0x10014;
constexpr std::uint32_t kHostDmaReset = 0x2;

template <typename Record>
Record ReadInput(const YatIocContext* context) {
  Record record{};
  std::memcpy(&record, context->input, sizeof record);
  return record;
}

template <typename Record>
void WriteOutput(const YatIocContext* context, const Record& record) {
  // The status word is written by the section's answer.
  std::memcpy(static_cast<char*>(context->output) + sizeof(YatIocStatus),
              reinterpret_cast<const char*>(&record) + sizeof(YatIocStatus), sizeof record - sizeof(YatIocStatus));
}

// The common length and board checks of one code.
QelHwStatus Require(const YatIocContext* context, std::uint32_t input, std::uint32_t output, bool board,
                    QelHwStatus noBoard = QELHW_ERROR_NO_BOARD_FOUND) {
  if (context->inputLength < input || context->outputLength < output) return QELHW_ERROR_IOC_BUFFER;
  if (board && context->board == nullptr) return noBoard;
  return QELHW_OK;
}

void AnswerValue(const YatIocContext* context, std::uint32_t value) {
  YatIocValueOut out{};
  out.value = value;
  WriteOutput(context, out);
}

QelHwStatus InitBoardManager(const YatIocContext* context, bool resetBoard) {
  QelHwStatus status = Require(context, sizeof(YatInitMemoryRecord), sizeof(YatIocStatus), true);
  if (status != QELHW_OK) return status;
  YatBoardExtension* board = context->board;
  const auto record = ReadInput<YatInitMemoryRecord>(context);
  if (resetBoard && YatMemoryManagerInitialised(board)) {
    status = Yat_CloseFpgaMemoryManager(board);
    if (status != QELHW_OK) return status;
  }
  status = Yat_InitFpgaMemoryManager(board, record.bankSizeMb, record.regionsPerBank, record.bankCount);
  if (status != QELHW_OK || !resetBoard) return status;
  status = YatResetFpga(board);
  std::uint32_t dma = 0;
  if (status == QELHW_OK) status = Yat_ReadReg(board, kRegHostDmaStatus, &dma);
  if (status == QELHW_OK) status = Yat_WriteReg(board, kRegHostDmaStatus, dma | kHostDmaReset);
  if (status == QELHW_OK) status = Yat_WriteReg(board, kRegHostDmaStatus, dma & ~kHostDmaReset);
  return status;
}

QelHwStatus GetBoardState(const YatIocContext* context) {
  QelHwStatus status = Require(context, sizeof(YatIocHeader), sizeof(YatIocBoardStateOut), true);
  if (status != QELHW_OK) return status;
  YatIocBoardStateOut out{};
  out.resourceManagerBuilt = context->board->registers.built;
  out.memoryManagerInitialised = YatMemoryManagerInitialised(context->board) ? 1 : 0;
  WriteOutput(context, out);
  return QELHW_OK;
}

QelHwStatus SetDebugLevel(const YatIocContext* context) {
  QelHwStatus status = Require(context, sizeof(YatIocValueIn), sizeof(YatIocStatus), false);
  if (status == QELHW_OK) context->manager->traceFlags = ReadInput<YatIocValueIn>(context).value;
  return status;
}

QelHwStatus GetBoardCount(const YatIocContext* context) {
  QelHwStatus status = Require(context, 0, sizeof(YatIocValueOut), false);
  if (status == QELHW_OK) AnswerValue(context, context->manager->boardCount);
  return status;
}

QelHwStatus ResetBoard(const YatIocContext* context) {
  QelHwStatus status = Require(context, sizeof(YatIocValueIn), sizeof(YatIocStatus), true);
  if (status != QELHW_OK) return status;
  return ReadInput<YatIocValueIn>(context).value == 1 ? YatResetFpga(context->board) : QELHW_OK;
}

QelHwStatus Reload(const YatIocContext* context) {
  QelHwStatus status = Require(context, sizeof(YatIocReloadIn), sizeof(YatIocStatus), true);
  if (status != QELHW_OK) return status;
  const auto record = ReadInput<YatIocReloadIn>(context);
  return YatReloadBoard(context->board, record.mode, record.argument);
}

QelHwStatus GetBaseAddress(const YatIocContext* context) {
  QelHwStatus status = Require(context, 0, sizeof(YatIocValueOut), true);
  if (status == QELHW_OK) AnswerValue(context, context->board->ranges[0].physicalLow);
  return status;
}

QelHwStatus GetProcessSlot(const YatIocContext* context) {
  QelHwStatus status = Require(context, 0, sizeof(YatIocValueOut), false);
  if (status != QELHW_OK) return status;
  const std::uint32_t slot =
      FindProcessSlot(context->manager, static_cast<std::uint64_t>(plat::kernel::current_process_id()));
  AnswerValue(context, slot == kYatNoProcessSlot ? 0xFFFFFFFF : slot);
  return QELHW_OK;
}

QelHwStatus GetAbiVersion(const YatIocContext* context) {
  QelHwStatus status = Require(context, 0, sizeof(YatIocAbiVersionOut), false);
  if (status == QELHW_OK) AnswerValue(context, YAT_DRIVER_ABI_VERSION);
  return status;
}

QelHwStatus CloseBoardManager(const YatIocContext* context) {
  QelHwStatus status = Require(context, sizeof(YatIocHeader), sizeof(YatIocStatus), true);
  return status == QELHW_OK ? Yat_CloseFpgaMemoryManager(context->board) : status;
}

QelHwStatus InitResourceManager(const YatIocContext* context) {
  QelHwStatus status = Require(context, sizeof(YatIocHeader), sizeof(YatIocStatus), true);
  return status == QELHW_OK ? YatRebuildRegisterMap(context->board) : status;
}

QelHwStatus GetPciLocation(const YatIocContext* context) {
  if (context->inputLength < sizeof(YatIocHeader) || context->outputLength < sizeof(YatIocPciLocationOut))
    return QELHW_ERROR_IOC_BUFFER;
  std::uint32_t packed = 0;
  QelHwStatus status = GDrv_GetDeviceBusInformation(context->board, &packed);
  YatIocPciLocationOut out{};
  if (status == QELHW_OK) {
    out.bus = packed >> 8;
    out.device = (packed >> 3) & 0x1F;
    out.function = packed & 0x7;
  }
  WriteOutput(context, out);
  return status;
}

QelHwStatus SetBoardError(const YatIocContext* context) {
  QelHwStatus status = Require(context, sizeof(YatIocValueIn), sizeof(YatIocStatus), true);
  if (status != QELHW_OK) return status;
  context->board->storedError = static_cast<QelHwStatus>(ReadInput<YatIocValueIn>(context).value);
  context->board->state = kYatBoardFailed;
  return QELHW_OK;
}

// BAR offsets must name one whole, aligned word inside BAR 0.
bool BarOffsetValid(const YatBoardExtension* board, std::uint32_t offset) {
  return board->rangeCount > 0 && board->ranges[0].mapped != nullptr && offset % 4 == 0 &&
         std::uint64_t{offset} + 4 <= board->ranges[0].length;
}

QelHwStatus WriteBar(const YatIocContext* context) {
  QelHwStatus status = Require(context, sizeof(YatIocWriteBarIn), sizeof(YatIocStatus), true, QELHW_ERROR_ARG_INVALID);
  if (status != QELHW_OK) return status;
  const auto record = ReadInput<YatIocWriteBarIn>(context);
  if (!BarOffsetValid(context->board, record.offset)) return QELHW_ERROR_ARG_INVALID;
  plat::kernel::write_register32(context->board->ranges[0].mapped + record.offset / 4, record.value);
  plat::kernel::memory_barrier();
  return QELHW_OK;
}

QelHwStatus ReadBar(const YatIocContext* context) {
  QelHwStatus status = Require(context, sizeof(YatIocValueIn), sizeof(YatIocValueOut), true, QELHW_ERROR_ARG_INVALID);
  if (status != QELHW_OK) return status;
  const std::uint32_t offset = ReadInput<YatIocValueIn>(context).value;
  if (!BarOffsetValid(context->board, offset)) return QELHW_ERROR_ARG_INVALID;
  AnswerValue(context, plat::kernel::read_register32(context->board->ranges[0].mapped + offset / 4));
  return QELHW_OK;
}

QelHwStatus Dispatch(const YatIocContext* context) {
  switch (context->code) {
    case YAT_IOCTRL_INIT_BOARD_MANAGER: return InitBoardManager(context, true);
    case YAT_IOCTRL_GET_BOARD_STATE: return GetBoardState(context);
    case YAT_IOCTRL_SET_DEBUG_LEVEL: return SetDebugLevel(context);
    case YAT_IOCTRL_GET_NB_BOARD: return GetBoardCount(context);
    case YAT_IOCTRL_RESET_BOARD: return ResetBoard(context);
    case IOCTRL_RELOAD: return Reload(context);
    case YAT_IOCTRL_GET_BASE_ADDRESS: return GetBaseAddress(context);
    case YAT_IOCTRL_GET_PROCESS_ID: return GetProcessSlot(context);
    case YAT_IOCTRL_GET_ABI_VERSION: return GetAbiVersion(context);
    case YAT_IOCTRL_CLOSE_BOARD_MANAGER: return CloseBoardManager(context);
    case YAT_IOCTRL_INIT_MEMORY_MANAGER: return InitBoardManager(context, false);
    case YAT_IOCTRL_INIT_RESOURCE_MANAGER: return InitResourceManager(context);
    case YAT_IOCTRL_GET_PCI_LOCATION: return GetPciLocation(context);
    case YAT_IOCTRL_SET_BOARD_ERROR: return SetBoardError(context);
    case YAT_IOCTRL_WRITE_BAR: return WriteBar(context);
    case YAT_IOCTRL_READ_BAR: return ReadBar(context);
    default: return QELHW_ERROR_IOC_FUNCTION;
  }
}

}  // namespace

QelHwStatus Yat_Ioc_Section0(YatManagerExtension* manager, std::uint32_t code, void* input,
                             std::uint32_t inputLength, void* output, std::uint32_t outputLength) {
  YatIocContext context{};
  QelHwStatus status = YatIocEnter(&context, manager, 0, code, input, inputLength, output, outputLength);
  if (status != QELHW_OK) return YatIocAnswer(output, outputLength, status);
  return YatIocAnswer(output, outputLength, Dispatch(&context));
}
