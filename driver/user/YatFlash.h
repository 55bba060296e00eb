// The board's flash through the board library: the fixed table of flash
// sections, the section names, and the flash operations (each one request of
// driver section 6). None is exported; the server driver reaches read and
// write-with-verify through the extended interface (slots 6 and 7).
#pragma once

#include <cstddef>
#include <cstdint>

#include "driver/user/QelHwStatus.h"

struct YatFlashSection {
  std::uint32_t index;
  std::uint32_t offset;
  std::uint32_t size;
  std::uint32_t firstBlock;
  std::uint32_t lastBlock;
  std::uint32_t blockSizeKb;
  std::uint32_t flags;
};
static_assert(sizeof(YatFlashSection) == 28);
static_assert(offsetof(YatFlashSection, flags) == 24);

inline constexpr std::uint32_t YAT_FLASH_SECTION_COUNT = 6;
inline constexpr std::uint32_t YAT_FLASH_SECTION_TEST = 0xFFFE;
inline constexpr std::uint32_t YAT_FLASH_SECTION_ALL = 0xFFFF;
inline constexpr std::uint32_t YAT_FLASH_HEADER_AREA = 0x3FB000;
inline constexpr std::uint32_t YAT_FLASH_SLOT_SIZE = 512;
inline constexpr std::uint32_t YAT_FLASH_SLOT_MAGIC = 0xA5A55A5A;
inline constexpr std::uint32_t YAT_FLASH_SLOT_HEADER = 12;

inline constexpr std::uint32_t YAT_FLASH_MAIN_FIRMWARE = 0x1;
inline constexpr std::uint32_t YAT_FLASH_BACKUP_FIRMWARE = 0x2;
inline constexpr std::uint32_t YAT_FLASH_NOT_IN_FLASH = 0x4;
inline constexpr std::uint32_t YAT_FLASH_PROTECTABLE = 0x8;
inline constexpr std::uint32_t YAT_FLASH_ERASABLE = 0x10;
inline constexpr std::uint32_t YAT_FLASH_TEST_SECTION = 0x40;
inline constexpr std::uint32_t YAT_FLASH_WHOLE = 0x80;
inline constexpr std::uint32_t YAT_FLASH_FIRMWARE_MARK = 0x100;

extern const YatFlashSection YatFlashSections[YAT_FLASH_SECTION_COUNT];
extern const char* const YatFlashSectionNames[YAT_FLASH_SECTION_COUNT];

QelHwStatus Yat_Flash_GetSection(std::uint32_t board, std::uint32_t section, const YatFlashSection** row);
QelHwStatus Yat_Flash_Read(std::uint32_t board, std::uint32_t section, std::uint32_t offset, void* buffer,
                           std::uint32_t size);
QelHwStatus Yat_Flash_ReadData(std::uint32_t board, std::uint32_t offset, std::uint32_t size, void* buffer);
QelHwStatus Yat_Flash_Write(std::uint32_t board, std::uint32_t offset, std::uint32_t size, const void* buffer);
QelHwStatus Yat_Flash_WriteVerify(std::uint32_t board, std::uint32_t section, std::uint32_t offset,
                                  const void* buffer, std::uint32_t size);
QelHwStatus Yat_Flash_WriteVerifyData(std::uint32_t board, std::uint32_t offset, std::uint32_t size,
                                      const void* buffer);
QelHwStatus Flash_IsBlockProtected(std::uint32_t board, std::uint32_t section, std::uint32_t first,
                                   std::uint32_t last, std::uint32_t* result);
QelHwStatus Yat_Flash_ProtectBlock(std::uint32_t board, std::uint32_t section, std::uint32_t first,
                                   std::uint32_t last);
QelHwStatus Yat_Flash_UnprotectBlock(std::uint32_t board, std::uint32_t section, std::uint32_t first,
                                     std::uint32_t last);
QelHwStatus Yat_Flash_EraseBlock(std::uint32_t board, std::uint32_t section, std::uint32_t first,
                                 std::uint32_t last);
QelHwStatus Yat_Flash_ReadIds(std::uint32_t board, std::uint32_t section, std::uint32_t selector,
                              std::uint32_t* identifier);
QelHwStatus Yat_Flash_ReadCbhHeader(std::uint32_t board, void* header, std::uint32_t slot);
QelHwStatus Yat_Flash_ReadCbhRecord(std::uint32_t board, void* record, std::uint32_t slot);
QelHwStatus Yat_Flash_VerifySection(std::uint32_t board, std::uint32_t sectionOffset, std::uint32_t slot);
