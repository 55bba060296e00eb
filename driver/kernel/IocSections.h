// The section table of device-control requests, the request context every
// section handler builds, and the validation it runs first.
#pragma once

#include <cstdint>

#include "driver/kernel/YatExtensions.h"

struct YatIocContext {
  void* deviceExtension;  // the extension the request was handed with
  std::uint32_t code;
  void* input;
  std::uint32_t inputLength;
  void* output;
  std::uint32_t outputLength;
  std::uint32_t lowest;
  std::uint32_t highest;
  YatBoardExtension* board;      // filled by the validation
  YatManagerExtension* manager;  // filled by the validation
};

void InitIocSections(YatManagerExtension* manager);
QelHwStatus Yat_Man_Validate_Ioc(YatIocContext* context);

// Builds the context of a request for section `section` and validates it.
QelHwStatus YatIocEnter(YatIocContext* context, YatManagerExtension* manager, std::uint32_t section,
                        std::uint32_t code, void* input, std::uint32_t inputLength, void* output,
                        std::uint32_t outputLength);
// Writes the status word when the output holds one; answers the status.
QelHwStatus YatIocAnswer(void* output, std::uint32_t outputLength, QelHwStatus status);

QelHwStatus Yat_Ioc_Section0(YatManagerExtension*, std::uint32_t, void*, std::uint32_t, void*, std::uint32_t);
QelHwStatus Yat_Ioc_Section1(YatManagerExtension*, std::uint32_t, void*, std::uint32_t, void*, std::uint32_t);
QelHwStatus Yat_Ioc_Section2(YatManagerExtension*, std::uint32_t, void*, std::uint32_t, void*, std::uint32_t);
QelHwStatus Yat_Ioc_Section3(YatManagerExtension*, std::uint32_t, void*, std::uint32_t, void*, std::uint32_t);
QelHwStatus Yat_Ioc_Section4(YatManagerExtension*, std::uint32_t, void*, std::uint32_t, void*, std::uint32_t);
QelHwStatus Yat_Ioc_Section5(YatManagerExtension*, std::uint32_t, void*, std::uint32_t, void*, std::uint32_t);
QelHwStatus Yat_Ioc_Section6(YatManagerExtension*, std::uint32_t, void*, std::uint32_t, void*, std::uint32_t);
QelHwStatus Yat_Ioc_Section7(YatManagerExtension*, std::uint32_t, void*, std::uint32_t, void*, std::uint32_t);
