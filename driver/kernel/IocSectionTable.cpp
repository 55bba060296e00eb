#include "driver/kernel/IocSections.h"

void InitIocSections(YatManagerExtension* manager) {
  constexpr YatIocSectionHandler kHandlers[YAT_IOC_SECTION_COUNT] = {
      Yat_Ioc_Section0, Yat_Ioc_Section1, Yat_Ioc_Section2, Yat_Ioc_Section3, Yat_Ioc_Section4,
      Yat_Ioc_Section5, Yat_Ioc_Section6, Yat_Ioc_Section7, nullptr, nullptr,
  };
  for (std::uint32_t i = 0; i < YAT_IOC_SECTION_COUNT; ++i) manager->sectionHandlers[i] = kHandlers[i];
}
