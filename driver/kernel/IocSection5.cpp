// Section 5: messages and events.
#include "driver/kernel/IocSections.h"

QelHwStatus Yat_Ioc_Section5(YatManagerExtension* manager, std::uint32_t code, void* input,
                             std::uint32_t inputLength, void* output, std::uint32_t outputLength) {
  YatIocContext context{};
  QelHwStatus status = YatIocEnter(&context, manager, 5, code, input, inputLength, output, outputLength);
  if (status != QELHW_OK) return YatIocAnswer(output, outputLength, status);
  switch (context.code) {
    default: status = QELHW_ERROR_IOC_FUNCTION; break;
  }
  return YatIocAnswer(output, outputLength, status);
}
