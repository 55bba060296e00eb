// Section 2: on-board memory allocation.
#include <cstring>

#include "driver/kernel/IocSections.h"
#include "driver/kernel/OnboardMemory.h"

namespace {

QelHwStatus AllocFpgaMem(const YatIocContext* context) {
  if (context->inputLength < sizeof(YatIocAllocFpgaMemIn) || context->outputLength < sizeof(YatIocAllocFpgaMemOut))
    return QELHW_ERROR_IOC_BUFFER;
  if (context->board == nullptr) return QELHW_ERROR_NO_BOARD_FOUND;
  YatIocAllocFpgaMemIn in{};
  std::memcpy(&in, context->input, sizeof in);
  std::uint32_t address = 0;
  QelHwStatus status = Yat_AllocFPGAMem(context->board, in.bank, in.region, in.size, &address);
  std::memcpy(static_cast<char*>(context->output) + offsetof(YatIocAllocFpgaMemOut, address), &address, sizeof address);
  return status;
}

QelHwStatus FreeFpgaMem(const YatIocContext* context) {
  if (context->inputLength < sizeof(YatIocFreeFpgaMemIn) || context->outputLength < sizeof(YatIocStatus))
    return QELHW_ERROR_IOC_BUFFER;
  if (context->board == nullptr) return QELHW_ERROR_NO_BOARD_FOUND;
  YatIocFreeFpgaMemIn in{};
  std::memcpy(&in, context->input, sizeof in);
  return Yat_FreeFPGAMem(context->board, in.address, in.bank);
}

QelHwStatus FreeAllFpgaMem(const YatIocContext* context) {
  if (context->inputLength < sizeof(YatIocHeader) || context->outputLength < sizeof(YatIocStatus))
    return QELHW_ERROR_IOC_BUFFER;
  return context->board == nullptr ? QELHW_ERROR_NO_BOARD_FOUND : QELHW_OK;
}

}  // namespace

QelHwStatus Yat_Ioc_Section2(YatManagerExtension* manager, std::uint32_t code, void* input,
                             std::uint32_t inputLength, void* output, std::uint32_t outputLength) {
  YatIocContext context{};
  QelHwStatus status = YatIocEnter(&context, manager, 2, code, input, inputLength, output, outputLength);
  if (status != QELHW_OK) return YatIocAnswer(output, outputLength, status);
  switch (context.code) {
    case YAT_IOCTRL_ALLOC_FPGA_MEM: status = AllocFpgaMem(&context); break;
    case YAT_IOCTRL_FREE_FPGA_MEM: status = FreeFpgaMem(&context); break;
    case YAT_IOCTRL_FREE_ALL_FPGA_MEM: status = FreeAllFpgaMem(&context); break;
    default: status = QELHW_ERROR_IOC_FUNCTION; break;
  }
  return YatIocAnswer(output, outputLength, status);
}
