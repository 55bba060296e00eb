// Section 0: board and manager requests.
#include <cstring>

#include "driver/kernel/IocSections.h"

namespace {

QelHwStatus IocGetAbiVersion(const YatIocContext* context) {
  if (context->outputLength < sizeof(YatIocAbiVersionOut)) return QELHW_ERROR_IOC_BUFFER;
  std::uint32_t version = YAT_DRIVER_ABI_VERSION;
  std::memcpy(static_cast<char*>(context->output) + offsetof(YatIocAbiVersionOut, version), &version,
              sizeof version);
  return QELHW_OK;
}

}  // namespace

QelHwStatus Yat_Ioc_Section0(YatManagerExtension* manager, std::uint32_t code, void* input,
                             std::uint32_t inputLength, void* output, std::uint32_t outputLength) {
  YatIocContext context{};
  QelHwStatus status = YatIocEnter(&context, manager, 0, code, input, inputLength, output, outputLength);
  if (status != QELHW_OK) return YatIocAnswer(output, outputLength, status);
  switch (context.code) {
    case YAT_IOCTRL_GET_ABI_VERSION: status = IocGetAbiVersion(&context); break;
    default: status = QELHW_ERROR_IOC_FUNCTION; break;
  }
  return YatIocAnswer(output, outputLength, status);
}
