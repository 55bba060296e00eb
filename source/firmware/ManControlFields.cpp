// Manager control rows over the device-control module's EEPROM fields: by
// index as the module numbers them, and by name.
#include <cstdio>

#include "firmware/win32/QelVkmLoader.h"
#include "source/firmware/ManControlInternal.h"

namespace mancontrol {
namespace {

constexpr std::uint32_t kFieldInfoBytes = sizeof(EepromFieldTemplate);
constexpr std::uint32_t kListOfChoices = 2;

// Output first, then the input, then the output's size.
QelStatus CheckFieldCall(const Call& call, std::uint32_t inputSize, std::uint32_t outputSize) {
  if (call.output == nullptr) return kOutputMissing;
  if (call.input == nullptr) return kInputMissing;
  if (call.inputSize != inputSize) return kInputSize;
  if (call.outputSize != outputSize) return kOutputSize;
  return QEL_OK;
}

// A text field of the input, always terminated.
struct Text {
  char bytes[kTextField + 1] = {};
};

Text TextAt(const Call& call, std::uint32_t offset) {
  Text text;
  const std::string read = call.text(offset, kTextField);
  std::memcpy(text.bytes, read.data(), read.size());
  return text;
}

// The field's value format prints one integer, nothing else: any other
// conversion would read an argument that is not there.
bool PrintsOneInteger(const char* format) {
  int conversions = 0;
  for (const char* p = format; *p != '\0'; ++p) {
    if (*p != '%') continue;
    if (*++p == '%') continue;
    while (*p != '\0' && std::strchr("-+ #0123456789.", *p) != nullptr) ++p;
    if (*p == '\0' || std::strchr("diuxXo", *p) == nullptr) return false;
    ++conversions;
  }
  return conversions == 1;
}

struct Field {
  std::uint32_t w0, w1, w2;
  std::uint32_t index;
  EepromFieldTemplate info;
};

// The field whose name is `name`: 1077 when none (or no field at all).
QelStatus FindField(const Call& call, const char* name, Field* field) {
  field->w0 = call.word(0);
  field->w1 = call.word(4);
  field->w2 = call.word(8);
  std::uint32_t boards = 0;
  if (const QelStatus status = QelInitBoard(&boards); status != QEL_OK) return status;
  std::uint32_t count = 0;
  if (const QelStatus status = QelGetNbEepromField(field->w0, field->w1, field->w2, &count); status != QEL_OK)
    return status;
  for (std::uint32_t index = 0; index < count; ++index) {
    const QelStatus status =
        QelGetEepromFieldInfo(field->w0, field->w1, field->w2, index, &field->info, kFieldInfoBytes);
    if (status != QEL_OK) return status;
    if (std::strncmp(field->info.name, name, kTextField) == 0) {
      field->index = index;
      return QEL_OK;
    }
  }
  return kFieldNotFound;
}

std::uint32_t ChoiceCount(const EepromFieldTemplate& info) {
  return info.choices != nullptr ? info.choiceCount : 0;
}

}  // namespace

QelStatus FieldCount(const Call& call) {
  if (const QelStatus status = CheckFieldCall(call, 12, 4); status != QEL_OK) return status;
  std::uint32_t count = 0;
  const QelStatus status = QelGetNbEepromField(call.word(0), call.word(4), call.word(8), &count);
  call.putWord(0, count);
  return status;
}

QelStatus FieldInformation(const Call& call) {
  if (const QelStatus status = CheckFieldCall(call, 16, kFieldInfoBytes); status != QEL_OK) return status;
  return QelGetEepromFieldInfo(call.word(0), call.word(4), call.word(8), call.word(12), call.output,
                               kFieldInfoBytes);
}

QelStatus FieldValueText(const Call& call) {
  if (const QelStatus status = CheckFieldCall(call, 16, kTextField); status != QEL_OK) return status;
  return QelReadEepromValue(call.word(0), call.word(4), call.word(8), call.word(12),
                            reinterpret_cast<char*>(call.output), kTextField);
}

QelStatus FieldValidate(const Call& call) {
  if (const QelStatus status = CheckFieldCall(call, 272, 4); status != QEL_OK) return status;
  const Text text = TextAt(call, 16);
  call.putWord(0, QelValidateEepromValue(call.word(0), call.word(4), call.word(8), call.word(12), text.bytes));
  return QEL_OK;
}

QelStatus FieldWrite(const Call& call) {
  if (const QelStatus status = CheckFieldCall(call, 272, 4); status != QEL_OK) return status;
  const Text text = TextAt(call, 16);
  call.putWord(0, QelWriteEepromValue(call.word(0), call.word(4), call.word(8), call.word(12), text.bytes));
  return QEL_OK;
}

QelStatus InitBoard(const Call& call) {
  if (call.output == nullptr) return kOutputMissing;
  if (call.outputSize != 4) return kOutputSize;
  std::uint32_t boards = 0;
  const QelStatus status = QelInitBoard(&boards);
  call.putWord(0, boards);
  return status;
}

QelStatus FieldWriteByName(const Call& call) {
  if (call.input == nullptr) return kInputMissing;
  if (call.inputSize != 524) return kInputSize;
  const Text name = TextAt(call, 12);
  Text value = TextAt(call, 12 + kTextField);
  Field field{};
  if (const QelStatus status = FindField(call, name.bytes, &field); status != QEL_OK) return status;
  if (field.info.listKind == kListOfChoices) {
    const EepromFieldChoice* choice = nullptr;
    for (std::uint32_t i = 0; i < ChoiceCount(field.info) && choice == nullptr; ++i)
      if (field.info.choices[i].text != nullptr && std::strcmp(field.info.choices[i].text, value.bytes) == 0)
        choice = &field.info.choices[i];
    field.info.format[sizeof field.info.format - 1] = '\0';
    if (choice == nullptr || !PrintsOneInteger(field.info.format)) return kInputMissing;
    std::snprintf(value.bytes, kTextField, field.info.format, choice->value);
  }
  return QelWriteEepromValue(field.w0, field.w1, field.w2, field.index, value.bytes);
}

QelStatus FieldReadByName(const Call& call) {
  if (const QelStatus status = CheckFieldCall(call, 268, kTextField); status != QEL_OK) return status;
  const Text name = TextAt(call, 12);
  Field field{};
  if (const QelStatus status = FindField(call, name.bytes, &field); status != QEL_OK) return status;
  char* text = reinterpret_cast<char*>(call.output);
  const QelStatus status = QelReadEepromValue(field.w0, field.w1, field.w2, field.index, text, kTextField);
  text[kTextField - 1] = '\0';
  if (status != QEL_OK || field.info.listKind != kListOfChoices) return status;
  for (std::uint32_t i = 0; i < ChoiceCount(field.info); ++i) {
    const EepromFieldChoice& choice = field.info.choices[i];
    char printed[32];
    std::snprintf(printed, sizeof printed, "%d", static_cast<int>(choice.value));
    if (std::strcmp(printed, text) != 0 || choice.text == nullptr) continue;
    std::memset(text, 0, kTextField);
    std::strncpy(text, choice.text, kTextField - 1);
    return QEL_OK;
  }
  return kInputMissing;
}

}  // namespace mancontrol
