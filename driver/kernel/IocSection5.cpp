// Section 5: messages and events.
#include "driver/kernel/IocSections.h"
#include "driver/kernel/MessageRequests.h"

QelHwStatus Yat_Ioc_Section5(YatManagerExtension* manager, std::uint32_t code, void* input,
                             std::uint32_t inputLength, void* output, std::uint32_t outputLength) {
  return EventIoctlHandler(manager, code, input, inputLength, output, outputLength);
}
