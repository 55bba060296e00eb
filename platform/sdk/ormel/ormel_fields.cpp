// The stand-in module's board-management table: the EEPROM field functions
// the server driver calls, over a small template of the main board's EEPROM
// (rows laid out as the interface copies them, one of them a list field),
// and the few slots around them. EEPROM bytes go through the server driver's
// Man_Eeprom_ReadData and Man_Eeprom_WriteData only. The slots of firmware,
// board information, sub-devices and reset are left empty.
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/sdk/ormel/ormel_internal.h"
#include "source/vkm/QelDevManCtrl.h"

namespace ormel {
namespace {

constexpr std::uint32_t kMainEeprom = 0;
constexpr std::uint32_t kShownAlways = 0x80000000;
constexpr char kDriverDirVariable[] = "YATFOLVA4XDIR";

constexpr std::array<EepromFieldChoice, 3> kBoardModels{{
    {"None", 0x0, 0},
    {"Tramond-CL_RZ6 Full", 0x1001, 0},
    {"Tramond-CL_RZ6 Dual/Medium", 0x1002, 0},
}};

constexpr EepromFieldTemplate Row(std::uint32_t id, std::uint32_t bits, std::uint32_t kind, std::uint32_t fallback,
                                  const char* name, const char* format) {
  EepromFieldTemplate row{};
  row.fieldId = id;
  row.sizeBits = bits;
  row.kindFlags = kind;
  row.visibility = kShownAlways;
  row.defaultValue = fallback;
  for (std::size_t i = 0; name[i] != '\0'; ++i) row.name[i] = name[i];
  for (std::size_t i = 0; format[i] != '\0'; ++i) row.format[i] = format[i];
  row.linkedRow = -1;
  return row;
}

constexpr EepromFieldTemplate ListRow(EepromFieldTemplate row, const EepromFieldChoice* choices,
                                      std::uint32_t count, std::uint32_t kind) {
  row.choices = choices;
  row.choiceCount = count;
  row.listKind = kind;
  return row;
}

struct TemplateRow {
  EepromFieldTemplate row;
  std::uint32_t offset;  // byte offset of the field in the EEPROM image
};

const std::array<TemplateRow, 5> kMainTemplate{{
    {Row(0, 8, kEepromFieldFixed, 0xA5, "Signature", "0x%x"), 0},
    {Row(0, 8, 0x1, 3, "Template Version", "%i"), 1},
    {Row(1, 16, 0x1, 2500, "Drawing Number", "%i"), 2},
    {Row(4, 16, 0x1, 0x11EC, "Vendor ID", "0x%04x"), 6},
    {ListRow(Row(12, 16, 0x1, 0x1002, "Board Model", "%i"), kBoardModels.data(), kBoardModels.size(),
             kEepromListValues),
     38},
}};

std::uint32_t CheckBoard(std::uint32_t board, std::uint32_t sub) {
  return board < board_count() && sub == 0 ? 0 : kIndexOutOfRange;
}

std::uint32_t CheckField(std::uint32_t board, std::uint32_t sub, std::uint32_t field) {
  if (const std::uint32_t status = CheckBoard(board, sub); status != 0) return status;
  return field < kMainTemplate.size() ? 0 : kIndexOutOfRange;
}

std::uint32_t FieldBytes(const EepromFieldTemplate& row) { return std::min<std::uint32_t>(row.sizeBits / 8, 4); }

std::uint32_t ReadField(std::uint32_t board, const TemplateRow& field, std::uint32_t* value) {
  QelManagerInterface* face = server_driver();
  const auto read = face ? ManagerSlotAs<ManEepromFn>(*face, kManEepromReadData) : nullptr;
  if (read == nullptr) return kNotImplemented;
  std::uint32_t bytes = 0;
  const std::uint32_t status = read(board, kMainEeprom, field.offset, &bytes, FieldBytes(field.row));
  *value = bytes;
  return status;
}

std::uint32_t WriteField(std::uint32_t board, const TemplateRow& field, std::uint32_t value) {
  QelManagerInterface* face = server_driver();
  const auto write = face ? ManagerSlotAs<ManEepromFn>(*face, kManEepromWriteData) : nullptr;
  if (write == nullptr) return kNotImplemented;
  return write(board, kMainEeprom, field.offset, &value, FieldBytes(field.row));
}

std::uint32_t FormatInto(const EepromFieldTemplate& row, std::uint32_t value, char* text, std::uint32_t size) {
  char formatted[256];
  std::snprintf(formatted, sizeof formatted, row.format, value);
  if (std::strlen(formatted) >= size) return kOutputTooSmall;
  std::strcpy(text, formatted);
  return 0;
}

// Set when board management opened the module (and so closes it).
bool g_openedForBoards = false;

std::uint32_t InitBoard(std::uint32_t* count) {
  if (count == nullptr) return kNullPointer;
  // Board management without the SDK opens the module on its own.
  const bool wasOpen = module_is_open();
  const std::uint32_t status = open_module_mode(0);
  if (!wasOpen && status == 0) g_openedForBoards = true;
  *count = board_count();
  return status;
}

std::uint32_t CloseBoards() {
  if (g_openedForBoards) close_module();
  g_openedForBoards = false;
  return 0;
}

std::uint32_t GetEnvironmentVariable(char* out, std::uint32_t size) {
  if (size < sizeof kDriverDirVariable) return kOutputTooSmall;
  if (out == nullptr) return kNullPointer;
  std::memcpy(out, kDriverDirVariable, sizeof kDriverDirVariable);
  return 0;
}

std::uint32_t ReadEepromValue(std::uint32_t board, std::uint32_t sub, std::uint32_t, std::uint32_t field, char* text,
                              std::uint32_t size) {
  if (const std::uint32_t status = CheckField(board, sub, field); status != 0) return status;
  if (text == nullptr) return kNullPointer;
  if (size == 0) return kZeroSize;
  std::uint32_t value = 0;
  if (const std::uint32_t status = ReadField(board, kMainTemplate[field], &value); status != 0) return status;
  return FormatInto(kMainTemplate[field].row, value, text, size);
}

std::uint32_t GetDefaultEepromValue(std::uint32_t board, std::uint32_t sub, std::uint32_t, std::uint32_t field,
                                    char* text, std::uint32_t size) {
  if (const std::uint32_t status = CheckField(board, sub, field); status != 0) return status;
  if (text == nullptr) return kNullPointer;
  if (size == 0) return kZeroSize;
  const EepromFieldTemplate& row = kMainTemplate[field].row;
  return FormatInto(row, row.defaultValue, text, size);
}

std::uint32_t WriteEepromValue(std::uint32_t board, std::uint32_t sub, std::uint32_t, std::uint32_t field,
                               const char* text) {
  if (const std::uint32_t status = CheckField(board, sub, field); status != 0) return status;
  if (text == nullptr) return kNullPointer;
  std::uint32_t value = 0;
  if (std::sscanf(text, kMainTemplate[field].row.format, &value) != 1) return kOutOfBounds;
  return WriteField(board, kMainTemplate[field], value);
}

std::uint32_t ValidateEepromValue(std::uint32_t board, std::uint32_t sub, std::uint32_t, std::uint32_t field,
                                  const char* text) {
  if (const std::uint32_t status = CheckField(board, sub, field); status != 0) return status;
  if (text == nullptr) return kNullPointer;
  const EepromFieldTemplate& row = kMainTemplate[field].row;
  if (row.minimum == 0 && row.maximum == 0) return 0;
  const long value = std::strtol(text, nullptr, 10);
  return value >= row.minimum && value <= row.maximum ? 0 : kOutOfBounds;
}

std::uint32_t GetNbEepromField(std::uint32_t board, std::uint32_t sub, std::uint32_t, std::uint32_t* count) {
  if (const std::uint32_t status = CheckBoard(board, sub); status != 0) return status;
  if (count == nullptr) return kNullPointer;
  *count = static_cast<std::uint32_t>(kMainTemplate.size());
  return 0;
}

std::uint32_t ShowEepromField(std::uint32_t board, std::uint32_t sub, std::uint32_t, std::uint32_t field,
                              std::uint32_t mode, std::uint32_t* show) {
  if (show == nullptr) return kNullPointer;
  *show = 0;
  if (const std::uint32_t status = CheckField(board, sub, field); status != 0) return status;
  const std::uint32_t kind = kMainTemplate[field].row.kindFlags;
  const bool hidden = (kind & (kEepromFieldFixed | kEepromFieldReserved)) != 0 ||
                      (mode == 1 && (kind & kEepromFieldHiddenInMode1) != 0);
  *show = hidden ? 0 : 1;
  return 0;
}

std::uint32_t GetEepromFieldInfo(std::uint32_t board, std::uint32_t sub, std::uint32_t, std::uint32_t field,
                                 void* out, std::uint32_t size) {
  if (const std::uint32_t status = CheckBoard(board, sub); status != 0) return status;
  if (out == nullptr) return kNullPointer;
  if (size == 0) return kZeroSize;
  if (field >= kMainTemplate.size()) return kIndexOutOfRange;
  std::memcpy(out, &kMainTemplate[field].row, std::min<std::size_t>(size, sizeof(EepromFieldTemplate)));
  return 0;
}

std::uint32_t Connect(std::uint32_t board, std::uint32_t mode) {
  QelManagerInterface* face = server_driver();
  const auto connect = face ? ManagerSlotAs<ManConnectFn>(*face, kManConnect) : nullptr;
  return connect != nullptr ? connect(board, mode) : kNotImplemented;
}

std::uint32_t Disconnect(std::uint32_t board, std::uint32_t mode) {
  QelManagerInterface* face = server_driver();
  const auto disconnect = face ? ManagerSlotAs<ManConnectFn>(*face, kManDisconnect) : nullptr;
  return disconnect != nullptr ? disconnect(board, mode) : kNotImplemented;
}

std::uint32_t GetInterfaceVersion(std::uint32_t* version) {
  if (version == nullptr) return kNullPointer;
  *version = 1;
  return 0;
}

QelDevManCtrlInterface MakeInterface() {
  QelDevManCtrlInterface face{};
  face.QelInitBoard = InitBoard;
  face.QelCloseBoards = CloseBoards;
  face.QelGetEnvironmentVariable = GetEnvironmentVariable;
  face.QelReadEepromValue = ReadEepromValue;
  face.QelWriteEepromValue = WriteEepromValue;
  face.QelGetDefaultEepromValue = GetDefaultEepromValue;
  face.QelGetNbEepromField = GetNbEepromField;
  face.QelShowEepromField = ShowEepromField;
  face.QelGetEepromFieldInfo = GetEepromFieldInfo;
  face.QelValidateEepromValue = ValidateEepromValue;
  face.QelConnect = Connect;
  face.QelDisconnect = Disconnect;
  face.QelGetInterfaceVersion = GetInterfaceVersion;
  return face;
}

}  // namespace
}  // namespace ormel

extern "C" __attribute__((visibility("default"))) std::uint32_t QelDevManCtrlGetInterface(void* table,
                                                                                          std::uint32_t size) {
  if (table == nullptr) return 0;
  std::memset(table, 0, size);
  const QelDevManCtrlInterface face = ormel::MakeInterface();
  std::memcpy(table, &face, std::min<std::size_t>(size, sizeof face));
  return 0;
}
