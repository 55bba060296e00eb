// Section 3: registers, FPGA and on-board memory access.
#include "driver/kernel/IocSections.h"

QelHwStatus Yat_Ioc_Section3(YatManagerExtension* manager, std::uint32_t code, void* input,
                             std::uint32_t inputLength, void* output, std::uint32_t outputLength) {
  YatIocContext context{};
  QelHwStatus status = YatIocEnter(&context, manager, 3, code, input, inputLength, output, outputLength);
  if (status != QELHW_OK) return YatIocAnswer(output, outputLength, status);
  switch (context.code) {
    default: status = QELHW_ERROR_IOC_FUNCTION; break;
  }
  return YatIocAnswer(output, outputLength, status);
}
