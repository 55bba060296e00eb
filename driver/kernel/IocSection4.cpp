// Section 4: the I2C bus.
#include "driver/kernel/I2cIoctl.h"
#include "driver/kernel/IocSections.h"

QelHwStatus Yat_Ioc_Section4(YatManagerExtension* manager, std::uint32_t code, void* input,
                             std::uint32_t inputLength, void* output, std::uint32_t outputLength) {
  return I2cIoctlHandler(manager, code, input, inputLength, output, outputLength);
}
