// Section 4 of the device-control requests: a read or write of one device on
// a board's I2C bus, its data at an address in the caller's memory.
#pragma once

#include <cstdint>

#include "driver/kernel/YatExtensions.h"

QelHwStatus I2cIoctlHandler(YatManagerExtension* manager, std::uint32_t code, void* input,
                            std::uint32_t inputLength, void* output, std::uint32_t outputLength);
