// The fixed flash section table and names. The firmware sections' block
// ranges run one block past their size, and the test section's block is not
// the one holding its offset: protection and erase use them as they stand.
#include "driver/user/YatFlash.h"

const YatFlashSection YatFlashSections[YAT_FLASH_SECTION_COUNT] = {
    {0, 0x200000, 0x1E0000, 32, 62, 64, 0x10A},
    {1, 0, 0x1E0000, 0, 30, 64, 0x9},
    {2, 0, 0, 0, 0, 64, 0x4},
    {3, 0, 0, 0, 0, 64, 0x4},
    {4, 0x3FF000, 0x1000, 31, 31, 64, 0x48},
    {5, 0, 0x400000, 0, 63, 64, 0x88},
};

const char* const YatFlashSectionNames[YAT_FLASH_SECTION_COUNT] = {
    "ACU/DTE + PCIe x4 Interface Backup", "ACU/DTE + PCIe x4 Interface", "XIO Firmware",
    "Expansion IPU Firmware",             "Test Flash Section",          "Flash ALL",
};

QelHwStatus Yat_Flash_GetSection(std::uint32_t, std::uint32_t section, const YatFlashSection** row) {
  if (section == YAT_FLASH_SECTION_TEST) section = 4;
  if (section == YAT_FLASH_SECTION_ALL) section = 5;
  if (section >= YAT_FLASH_SECTION_COUNT || row == nullptr) return QELHW_ERROR_ARG_INVALID;
  *row = &YatFlashSections[section];
  return QELHW_OK;
}
