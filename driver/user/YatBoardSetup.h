// The board manager's records and the operations its modules share: the
// firmware key information, the multi-firmware configuration record, the
// model word and the set-up steps that the first-time initialisation and the
// hardware reset both run.
#pragma once

#include <cstddef>
#include <cstdint>

#include "driver/user/YatBoardManager.h"

inline constexpr std::uint32_t YAT_REGISTRY_TEXT_SIZE = 260;
inline constexpr const char* YAT_FIRMWARE_ROOT_KEY =
    "Software\\Marvanti Brenk\\Yat Tramond-CL RZ6 Device Driver\\Firmware";
inline constexpr const char* YAT_DRIVER_KEY = "Software\\Marvanti Brenk\\Yat Tramond-CL RZ6 Device Driver";
inline constexpr std::uint32_t YAT_REGISTRY_ROOT = 3;  // the local-machine root
inline constexpr std::uint16_t YAT_MODEL_FULL = 0x1001;
inline constexpr std::uint16_t YAT_MODEL_DUAL = 0x1002;
inline constexpr std::uint32_t YAT_FIRMWARE_PRODUCT_ID = 9472;

// Filled by Yat_Man_GetRegistryFirmwareKeyInfo; the caller sets the size.
struct YatRegistryFirmwareKeyInfo {
  std::uint32_t size;
  char rootKey[YAT_REGISTRY_TEXT_SIZE];
  char boardSlot[YAT_REGISTRY_TEXT_SIZE];
  char configurationName[YAT_REGISTRY_TEXT_SIZE];
  char sectionKey[YAT_REGISTRY_TEXT_SIZE];
};
static_assert(sizeof(YatRegistryFirmwareKeyInfo) == 1044);
static_assert(offsetof(YatRegistryFirmwareKeyInfo, rootKey) == 4);
static_assert(offsetof(YatRegistryFirmwareKeyInfo, boardSlot) == 264);
static_assert(offsetof(YatRegistryFirmwareKeyInfo, configurationName) == 524);
static_assert(offsetof(YatRegistryFirmwareKeyInfo, sectionKey) == 784);

// Flags bit 0 of the key information: name the model's configuration for any section.
inline constexpr std::uint32_t YAT_FIRMWARE_KEY_MODEL = 0x1;

// Which configuration file was chosen for a board slot or for all boards.
struct QelMultiFirmwareCfgInfo {
  std::uint32_t size;
  std::uint32_t CfcId;
  std::uint32_t flags;
  char CfcName[YAT_REGISTRY_TEXT_SIZE];
  std::uint32_t DefaultFirmwareIndex;
};
static_assert(sizeof(QelMultiFirmwareCfgInfo) == 276);
static_assert(offsetof(QelMultiFirmwareCfgInfo, CfcId) == 4);
static_assert(offsetof(QelMultiFirmwareCfgInfo, flags) == 8);
static_assert(offsetof(QelMultiFirmwareCfgInfo, CfcName) == 12);
static_assert(offsetof(QelMultiFirmwareCfgInfo, DefaultFirmwareIndex) == 272);

inline constexpr std::uint32_t QEL_MULTI_FW_NOT_FOUND = 0x1;
inline constexpr std::uint32_t QEL_MULTI_FW_FROM_ROOT = 0x2;
inline constexpr std::uint32_t QEL_MULTI_FW_MODEL_DIFFERS = 0x4;
inline constexpr std::uint32_t QEL_MULTI_FW_MANUALLY_LOADED = 0x8;
// A record without its default firmware index.
inline constexpr std::uint32_t QEL_MULTI_FW_SHORT_SIZE = 272;

// The 16-bit model word of the main EEPROM copy (0 for board 16 or more).
std::uint16_t Yat_Man_ModelWord(std::uint32_t board);

// The flash section whose firmware the board runs: 0 (the backup) when its
// firmware state says so, otherwise 1.
std::uint32_t Yat_Man_RunningFirmwareSection(std::uint32_t board);
QelHwStatus Yat_Man_GetBoardOptions(std::uint32_t board, std::uint32_t* options);

// Multi-firmware configuration (device parameters 7, 8, 0x80000002, 0x80000003).
QelHwStatus Yat_Man_GetMultiFirmwareConfigEnable(std::uint32_t board, std::uint32_t* enable);
QelHwStatus Yat_Man_SetMultiFirmwareConfigEnable(std::uint32_t board, std::uint32_t enable);
QelHwStatus Yat_Man_GetMultiFirmwareConfig(std::uint32_t board, QelMultiFirmwareCfgInfo* info, std::uint32_t size);
QelHwStatus Yat_Man_SetMultiFirmwareConfig(std::uint32_t board, const QelMultiFirmwareCfgInfo* info,
                                           std::uint32_t size);
QelHwStatus Yat_Man_SetDefaultFirmwareIndex(std::uint32_t board, std::uint32_t index);
// "Bus%02x_Slot%02x" of the board's PCI location.
QelHwStatus Yat_Man_BoardSlotString(std::uint32_t board, char* text, std::uint32_t size);

// Set-up steps shared by the first-time initialisation and the hardware reset.
QelHwStatus Yat_Man_MiscInit(std::uint32_t board);
QelHwStatus Yat_Man_InitBoardManager(std::uint32_t board);

// The firmware header of a flash section (sections below 4: record, plain
// header, then the header slot; 4 and 5: the slot only).
QelHwStatus Yat_Man_ReadSectionHeader(std::uint32_t board, std::uint32_t section, void* header, std::uint32_t size);
