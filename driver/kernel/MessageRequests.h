// Section 5 of the device-control requests: messages, events and routes.
#pragma once

#include <cstdint>

#include "driver/kernel/YatExtensions.h"

QelHwStatus EventIoctlHandler(YatManagerExtension* manager, std::uint32_t code, void* input, std::uint32_t inputLength,
                              void* output, std::uint32_t outputLength);
