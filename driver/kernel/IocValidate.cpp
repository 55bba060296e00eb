#include <cstring>

#include "driver/kernel/BoardPins.h"
#include "driver/kernel/IocSections.h"
#include "driver/kernel/StavroLog.h"

namespace {

// A request with a board target names a slot of the manager's table.
YatBoardExtension* BoardNamedByHeader(const YatIocContext* context, YatManagerExtension* manager) {
  if (context->inputLength < sizeof(YatIocHeader) || context->input == nullptr) return nullptr;
  YatIocHeader header{};
  std::memcpy(&header, context->input, sizeof header);
  if (header.target != YAT_IOC_TARGET_BOARD) return nullptr;
  if (header.boardIndex >= YAT_MAX_BOARDS) return nullptr;
  YatBoardExtension* board = YatPinBoardAt(manager, header.boardIndex);
  if (board == nullptr) return nullptr;
  // The request keeps the board until it is answered; the lookup's own pin goes.
  const bool kept = YatPinForRequest(manager, board);
  YatUnpinBoard(board);
  return kept ? board : nullptr;
}

bool NamesABoard(const YatIocContext* context) {
  if (context->inputLength < sizeof(YatIocHeader) || context->input == nullptr) return false;
  YatIocHeader header{};
  std::memcpy(&header, context->input, sizeof header);
  return header.target == YAT_IOC_TARGET_BOARD;
}

}  // namespace

QelHwStatus YatIocAnswer(void* output, std::uint32_t outputLength, QelHwStatus status) {
  if (output != nullptr && outputLength >= sizeof(YatIocStatus)) {
    YatIocStatus word{status};
    std::memcpy(output, &word, sizeof word);
  }
  return status;
}

QelHwStatus Yat_Man_Validate_Ioc(YatIocContext* context) {
  context->code |= YAT_IOCTRL_WIDTH_BIT;
  if (context->code < context->lowest || context->code > context->highest) {
    STAVRO_LOG(kLogWarning, "%s:Yat_Man_Validate_Ioc: Invalid IOC Index = 0x%x, Range:(0x%x :0x%x)", context->code,
               context->lowest, context->highest);
    return QELHW_ERROR_IOC_FUNCTION;
  }
  if ((context->inputLength != 0 && context->input == nullptr) ||
      (context->outputLength != 0 && context->output == nullptr)) {
    return QELHW_ERROR_IOC_BUFFER;
  }
  QelHwStatus status = QELHW_OK;
  if (context->deviceExtension == nullptr) {
    STAVRO_LOG(kLogWarning, "%s:Yat_Man_Validate_Ioc: pDeviceExt = NULL");
    status = QELHW_ERROR_RESOURCE_RANGE;
  } else if (ExtensionKind(context->deviceExtension) == kYatBoardKind) {
    context->board = static_cast<YatBoardExtension*>(context->deviceExtension);
    context->manager = ManagerOf(context->board->managerDevice);
    if (context->manager == nullptr) {
      STAVRO_LOG(kLogWarning, "%s:Yat_Man_Validate_Ioc, pManExt = NULL");
      status = QELHW_ERROR_RESOURCE_RANGE;
    } else if (!YatPinForRequest(context->manager, context->board)) {
      context->board = nullptr;
      status = QELHW_ERROR_NO_BOARD_FOUND;
    }
  } else {
    context->manager = static_cast<YatManagerExtension*>(context->deviceExtension);
    if (NamesABoard(context)) {
      context->board = BoardNamedByHeader(context, context->manager);
      if (context->board == nullptr) {
        STAVRO_LOG(kLogWarning, "%s:Yat_Man_Validate_Ioc: pBoardExt = NULL");
        status = QELHW_ERROR_NO_BOARD_FOUND;
      }
    }
  }
  if (context->board != nullptr && context->board->state == kYatBoardFailed) status = context->board->storedError;
  if (status != QELHW_OK) YatIocAnswer(context->output, context->outputLength, status);
  return status;
}

QelHwStatus YatIocEnter(YatIocContext* context, YatManagerExtension* manager, std::uint32_t section,
                        std::uint32_t code, void* input, std::uint32_t inputLength, void* output,
                        std::uint32_t outputLength) {
  *context = {manager, code | YAT_IOCTRL_WIDTH_BIT, input, inputLength, output, outputLength,
              YAT_IOC_SECTION_RANGES[section].lowest, YAT_IOC_SECTION_RANGES[section].highest, nullptr, nullptr};
  return Yat_Man_Validate_Ioc(context);
}
