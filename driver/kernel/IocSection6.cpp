// Section 6: flash memory. Every request but the flag holds the board's flash
// mutex (waited for without time-out), so flash requests run one at a time.
#include <cstring>

#include "driver/kernel/FlashBus.h"
#include "driver/kernel/FlashMemory.h"
#include "driver/kernel/IocSections.h"
#include "driver/kernel/YatFlashRecords.h"
#include "platform/kernel/sync.h"

using namespace plat::kernel;

namespace {

constexpr std::uint32_t kFlashSection = 6;

struct FlashRequest {
  YatBoardExtension* board;
  YatManagerExtension* manager;
  std::uint32_t code;
  const void* input;
  bool caller32;
  std::uint32_t value;  // the answer's u32 after the status
};

// Minimum input and output of a code; false for a code without a case.
bool Lengths(std::uint32_t code, bool caller32, std::uint32_t* input, std::uint32_t* output) {
  *output = sizeof(YatIocStatus);
  switch (code) {
    case YAT_IOCTRL_FLASH_WRITE:
    case YAT_IOCTRL_FLASH_READ:
      *input = caller32 ? sizeof(YatFlashTransferIn32) : sizeof(YatFlashTransferIn);
      return true;
    case YAT_IOCTRL_FLASH_LOCK_PROBE:
    case YAT_IOCTRL_FLASH_SET_FLAG: *input = sizeof(YatIocHeader); return true;
    case YAT_IOCTRL_FLASH_RESERVED:
      *input = sizeof(YatIocValueIn);
      *output = sizeof(YatIocValueOut);
      return true;
    case YAT_IOCTRL_FLASH_IS_PROTECTED: *output = sizeof(YatIocValueOut); [[fallthrough]];
    case YAT_IOCTRL_FLASH_PROTECT:
    case YAT_IOCTRL_FLASH_UNPROTECT:
    case YAT_IOCTRL_FLASH_ERASE: *input = sizeof(YatFlashBlocksIn); return true;
    case YAT_IOCTRL_FLASH_READ_ID: *input = sizeof(YatFlashIdIn); return true;
    default: return false;
  }
}

template <typename Record>
Record Take(const void* input) {
  Record record{};
  std::memcpy(&record, input, sizeof record);
  return record;
}

QelHwStatus Transfer(FlashRequest& request) {
  std::uint32_t offset = 0, count = 0;
  std::uint64_t buffer = 0;
  if (request.caller32) {
    const auto record = Take<YatFlashTransferIn32>(request.input);
    offset = record.offset, count = record.count, buffer = record.buffer;
  } else {
    const auto record = Take<YatFlashTransferIn>(request.input);
    offset = record.offset, count = record.count, buffer = record.buffer;
  }
  return request.code == YAT_IOCTRL_FLASH_WRITE ? WriteFlash(request.board, buffer, offset, count)
                                                : ReadFlash(request.board, offset, count, buffer);
}

QelHwStatus EraseBlocks(YatBoardExtension* board, std::uint32_t first, std::uint32_t last) {
  if (first <= last && last >= kFlashBlockCount) return QELHW_ERROR_PARAMETER_INVALID;
  FlashAccessOn(board);
  QelHwStatus status = QELHW_OK;
  for (std::uint32_t block = first; block <= last && status == QELHW_OK; ++block)
    status = _EraseFlashBlock(board, block);
  FlashAccessOff(board);
  return status;
}

QelHwStatus Blocks(FlashRequest& request) {
  const auto record = Take<YatFlashBlocksIn>(request.input);
  YatBoardExtension* board = request.board;
  switch (request.code) {
    case YAT_IOCTRL_FLASH_UNPROTECT: return _UnlockBlock_N(board, record.firstBlock, record.lastBlock);
    case YAT_IOCTRL_FLASH_ERASE: return EraseBlocks(board, record.firstBlock, record.lastBlock);
    default: break;
  }
  FlashAccessOn(board);
  const QelHwStatus status = request.code == YAT_IOCTRL_FLASH_PROTECT
                                 ? ProtectFlashBlocks(board, record.firstBlock, record.lastBlock)
                                 : IsFlashBlockProtected(board, record.firstBlock, record.lastBlock, &request.value);
  FlashAccessOff(board);
  return status;
}

QelHwStatus Run(FlashRequest& request, std::uint32_t outputLength) {
  switch (request.code) {
    case YAT_IOCTRL_FLASH_WRITE:
    case YAT_IOCTRL_FLASH_READ: return Transfer(request);
    case YAT_IOCTRL_FLASH_LOCK_PROBE: return QELHW_ERROR_GENERIC;
    case YAT_IOCTRL_FLASH_RESERVED: return QELHW_ERROR_NOT_IMPLEMENTED;
    case YAT_IOCTRL_FLASH_READ_ID:
      if (outputLength < sizeof(YatIocValueOut)) return QELHW_ERROR_FLASH_READ;
      return ReadFlashIdentifier(request.board, Take<YatFlashIdIn>(request.input).index, &request.value);
    default: return Blocks(request);
  }
}

}  // namespace

QelHwStatus Yat_Ioc_Section6(YatManagerExtension* manager, std::uint32_t code, void* input,
                             std::uint32_t inputLength, void* output, std::uint32_t outputLength) {
  const bool caller32 = (code & YAT_IOCTRL_WIDTH_BIT) == 0;
  YatIocContext context{};
  QelHwStatus status = YatIocEnter(&context, manager, kFlashSection, code, input, inputLength, output, outputLength);
  if (status != QELHW_OK) return YatIocAnswer(output, outputLength, status);
  std::uint32_t inputNeeded = 0, outputNeeded = 0;
  if (!Lengths(context.code, caller32, &inputNeeded, &outputNeeded))
    return YatIocAnswer(output, outputLength, QELHW_ERROR_IOC_FUNCTION);
  if (context.board == nullptr) return YatIocAnswer(output, outputLength, QELHW_ERROR_NO_BOARD_FOUND);
  if (inputLength < inputNeeded || outputLength < outputNeeded)
    return YatIocAnswer(output, outputLength, QELHW_ERROR_IOC_BUFFER);
  if (context.code == YAT_IOCTRL_FLASH_SET_FLAG) {
    context.manager->flashFlag = 1;
    return YatIocAnswer(output, outputLength, QELHW_OK);
  }
  FlashRequest request{context.board, context.manager, context.code, input, caller32, 0};
  wait_for_object(&context.board->flashMutex, nullptr);
  status = Run(request, outputLength);
  release_mutex(&context.board->flashMutex);
  if (outputLength >= sizeof(YatIocValueOut) &&
      (context.code == YAT_IOCTRL_FLASH_IS_PROTECTED || context.code == YAT_IOCTRL_FLASH_READ_ID))
    std::memcpy(static_cast<std::uint8_t*>(output) + sizeof(YatIocStatus), &request.value, sizeof request.value);
  return YatIocAnswer(output, outputLength, status);
}
