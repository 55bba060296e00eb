// The device-control module's board-management table, QelDevManCtrlInterface,
// handed out by its export QelDevManCtrlGetInterface, and the records its
// slots fill. The server driver and the device manager include this header;
// the module fills the table.
#pragma once

#include <cstddef>
#include <cstdint>

// Progress of a firmware copy: step, total, the caller's context.
using QelDevManProgress = void (*)(std::uint64_t step, std::uint64_t total, std::uint64_t context);

using QelInitBoardFn = std::uint32_t (*)(std::uint32_t* boardCount);
using QelCloseBoardsFn = std::uint32_t (*)();
using QelResetBoardFn = std::uint32_t (*)(std::uint8_t boardNumber);
using QelGetBoardInfoFn = std::uint32_t (*)(std::uint32_t board, std::uint32_t sub, void* out, std::uint32_t size);
using QelGetNbSubDeviceFn = std::uint32_t (*)(std::uint32_t board, std::uint32_t* count);
using QelGetSubDeviceNameFn = std::uint32_t (*)(std::uint32_t board, std::uint32_t sub, char* out,
                                                std::uint32_t size);
using QelGetEnvironmentVariableFn = std::uint32_t (*)(char* out, std::uint32_t size);
using QelReadEepromValueFn = std::uint32_t (*)(std::uint32_t board, std::uint32_t sub, std::uint32_t eeprom,
                                               std::uint32_t field, char* text, std::uint32_t size);
using QelWriteEepromValueFn = std::uint32_t (*)(std::uint32_t board, std::uint32_t sub, std::uint32_t eeprom,
                                                std::uint32_t field, const char* text);
using QelGetDefaultEepromValueFn = QelReadEepromValueFn;
using QelGetNbEepromFieldFn = std::uint32_t (*)(std::uint32_t board, std::uint32_t sub, std::uint32_t eeprom,
                                                std::uint32_t* count);
using QelShowEepromFieldFn = std::uint32_t (*)(std::uint32_t board, std::uint32_t sub, std::uint32_t eeprom,
                                               std::uint32_t field, std::uint32_t mode, std::uint32_t* show);
using QelGetEepromFieldInfoFn = std::uint32_t (*)(std::uint32_t board, std::uint32_t sub, std::uint32_t eeprom,
                                                  std::uint32_t field, void* out, std::uint32_t size);
using QelValidateEepromValueFn = QelWriteEepromValueFn;
using QelWriteFirmwareFn = std::uint32_t (*)(std::uint32_t board, std::uint32_t sub, std::uint32_t section,
                                             const char* file, std::uint8_t options, QelDevManProgress progress,
                                             void* context);
using QelReadFirmwareFn = std::uint32_t (*)(std::uint32_t board, std::uint32_t sub, std::uint32_t section,
                                            const char* file, QelDevManProgress progress, void* context);
using QelGetFirmwareDescInfoFn = std::uint32_t (*)(std::uint32_t board, std::uint32_t sub, std::uint32_t section,
                                                   void* out, std::uint32_t size);
using QelGetFirmwareStateFn = std::uint32_t (*)(std::uint32_t board, std::uint32_t sub, std::uint32_t section,
                                                std::uint32_t* state);
using QelConnectFn = std::uint32_t (*)(std::uint32_t board, std::uint32_t mode);
using QelDisconnectFn = QelConnectFn;
using QelGetFirmwarePrmFn = std::uint32_t (*)(std::uint32_t board, std::uint32_t sub, std::uint32_t section,
                                              std::uint32_t prm, std::uint32_t size, void* inOut);
using QelSetFirmwarePrmFn = std::uint32_t (*)(std::uint32_t board, std::uint32_t sub, std::uint32_t section,
                                              std::uint32_t prm, std::uint32_t size, std::int64_t value);
using QelGetInterfaceVersionFn = std::uint32_t (*)(std::uint32_t* version);

struct QelDevManCtrlInterface {
  QelInitBoardFn QelInitBoard;                          // 0
  QelCloseBoardsFn QelCloseBoards;                      // 1
  QelResetBoardFn QelResetBoard;                        // 2
  QelGetBoardInfoFn QelGetBoardInfo;                    // 3
  QelGetNbSubDeviceFn QelGetNbSubDevice;                // 4
  QelGetSubDeviceNameFn QelGetSubDeviceName;            // 5
  QelGetEnvironmentVariableFn QelGetEnvironmentVariable;  // 6
  QelReadEepromValueFn QelReadEepromValue;              // 7
  QelWriteEepromValueFn QelWriteEepromValue;            // 8
  QelGetDefaultEepromValueFn QelGetDefaultEepromValue;  // 9
  QelGetNbEepromFieldFn QelGetNbEepromField;            // 10
  QelShowEepromFieldFn QelShowEepromField;              // 11
  QelGetEepromFieldInfoFn QelGetEepromFieldInfo;        // 12
  QelValidateEepromValueFn QelValidateEepromValue;      // 13
  QelWriteFirmwareFn QelWriteFirmware;                  // 14
  QelReadFirmwareFn QelReadFirmware;                    // 15
  QelGetFirmwareDescInfoFn QelGetFirmwareDescInfo;      // 16
  QelGetFirmwareStateFn QelGetFirmwareState;            // 17
  QelConnectFn QelConnect;                              // 18
  QelDisconnectFn QelDisconnect;                        // 19
  QelGetFirmwarePrmFn QelGetFirmwarePrm;                // 20
  QelSetFirmwarePrmFn QelSetFirmwarePrm;                // 21
  QelGetInterfaceVersionFn QelGetInterfaceVersion;      // 22
};
static_assert(sizeof(QelDevManCtrlInterface) == 184);
static_assert(offsetof(QelDevManCtrlInterface, QelGetSubDeviceName) == 40);
static_assert(offsetof(QelDevManCtrlInterface, QelGetInterfaceVersion) == 176);

// The export: zero-fills `size` bytes of the caller's table, then copies
// min(size, 184) bytes of the module's; 0.
using QelDevManCtrlGetInterfaceFn = std::uint32_t (*)(void* table, std::uint32_t size);
inline constexpr char kQelDevManCtrlGetInterfaceName[] = "QelDevManCtrlGetInterface";

struct QelDevManBoardInfo {
  std::uint32_t reserved;
  std::uint32_t eepromCount;
  std::uint32_t flashSectionCount;
};
static_assert(sizeof(QelDevManBoardInfo) == 12);

// One value of a field's list: its text and value.
struct EepromFieldChoice {
  const char* text;
  std::uint32_t value;
  std::uint32_t reserved;
};
static_assert(sizeof(EepromFieldChoice) == 16);
static_assert(offsetof(EepromFieldChoice, value) == 8);

// List kinds of a row.
inline constexpr std::uint32_t kEepromListFamilies = 0;  // FPGA family codes
inline constexpr std::uint32_t kEepromListBits = 1;      // one entry per bit
inline constexpr std::uint32_t kEepromListValues = 2;    // one entry per value
// Kind flags the module acts on.
inline constexpr std::uint32_t kEepromFieldFixed = 0x4;
inline constexpr std::uint32_t kEepromFieldReserved = 0x8;
inline constexpr std::uint32_t kEepromFieldHiddenInMode1 = 0x10;

// One row of an EEPROM field template, as the interface copies it (568 bytes).
struct EepromFieldTemplate {
  std::uint32_t fieldId;
  std::uint32_t sizeBits;
  std::uint32_t kindFlags;
  std::uint32_t minimum;
  std::uint32_t maximum;
  std::uint32_t visibility;
  std::uint32_t defaultValue;
  char name[256];
  char format[256];
  const EepromFieldChoice* choices;
  std::uint32_t choiceCount;
  std::uint32_t listKind;
  std::int32_t linkedRow;
};
static_assert(sizeof(EepromFieldTemplate) == 568);
static_assert(offsetof(EepromFieldTemplate, name) == 28);
static_assert(offsetof(EepromFieldTemplate, format) == 284);
static_assert(offsetof(EepromFieldTemplate, choices) == 544);
static_assert(offsetof(EepromFieldTemplate, choiceCount) == 552);
static_assert(offsetof(EepromFieldTemplate, listKind) == 556);
static_assert(offsetof(EepromFieldTemplate, linkedRow) == 560);
