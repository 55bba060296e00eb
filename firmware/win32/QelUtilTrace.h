// Failure lines of the operating-system layer: formatted into 256 bytes and
// logged at level 0 with the caller's source position.
#pragma once

#include <cstdint>

void QelUtilTrace(const char* source_file, std::int32_t line, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

#define QEL_UTIL_TRACE(...) QelUtilTrace(__FILE__, __LINE__, __VA_ARGS__)
