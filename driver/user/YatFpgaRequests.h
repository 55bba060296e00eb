// The common form of the library's FPGA register requests: preset the status
// word, send, a failed or empty answer is -3001, a refusal 0xC0000000.
#pragma once

#include <cstdint>

#include "driver/user/QelHwStatus.h"

// Sends one section-3 request for `board` (header stamped). Returns false
// after logging "<name> Failed %x %x" (*result -3001); otherwise *driver holds
// the status word.
bool YatFpgaSend(const char* name, std::uint32_t board, std::uint32_t code, void* input, std::uint32_t inputSize,
                 void* output, std::uint32_t outputSize, QelHwStatus* driver);
// 0 for a zero status; else logs "<what> status ERROR ,%8x" and answers 0xC0000000.
QelHwStatus YatFpgaRefusal(const char* what, QelHwStatus driver);
// Logs "<label>, Board <board>, <name> ARGUMENT INVALID" and answers -3.
QelHwStatus YatFpgaArgumentInvalid(const char* name, std::uint32_t board);
