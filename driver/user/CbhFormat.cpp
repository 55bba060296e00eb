// The display text of a firmware header or record: one line per field,
// each ended by a carriage return, as the device manager shows it.
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <string>

#include "driver/user/Cbh.h"
#include "driver/user/CbhBytes.h"

using namespace cbh_detail;

namespace {

constexpr std::uint32_t kTextSize = 1024;

template <typename... Args>
void append(std::string& text, const char* format, Args... args) {
  char line[kTextSize];
  std::snprintf(line, sizeof line, format, args...);
  text += line;
}

unsigned short u16(unsigned value) { return static_cast<unsigned short>(value); }

std::string version_text(const CbhVersion& v) {
  char text[64];
  if (v.build != 0)
    std::snprintf(text, sizeof text, "%hu.%02hu.%02hu.%04hu", u16(v.major), u16(v.minor), u16(v.third),
                  u16(v.build));
  else if (v.third != 0)
    std::snprintf(text, sizeof text, "%hu.%02hu Beta %hu", u16(v.major), u16(v.minor), u16(v.third));
  else
    std::snprintf(text, sizeof text, "%hu.%02hu", u16(v.major), u16(v.minor));
  return text;
}

void append_date(std::string& text, const char* label, const CbhDate& d) {
  char line[96];
  std::snprintf(line, sizeof line, "%s: %04hu/%02hu/%02hu %02hu:%02hu\r", label, u16(d.year), u16(d.month),
                u16(d.day), u16(d.hour), u16(d.minute));
  text += line;
}

// Builds the text; stops at the first field that cannot be read.
QelHwStatus build_text(const void* buffer, std::string& text) {
  std::uint32_t form = 0;
  QelHwStatus status = Cbh_GetForm(buffer, kCbhWorkBufferSize, &form, nullptr);
  if (status != QELHW_OK) return status;
  auto field = [&](std::uint32_t id, void* out, std::uint32_t size) {
    return Cbh_GetField(buffer, kCbhWorkBufferSize, id, out, size);
  };

  std::array<char, kCbhCommentSize + 1> comment{};
  if ((status = field(kCbhFieldComment, comment.data(), kCbhCommentSize)) != QELHW_OK) return status;
  append(text, "%s\r", comment.data());

  CbhVersion version{};
  if ((status = field(kCbhFieldProductVersion, &version, sizeof version)) != QELHW_OK) return status;
  text += "Version: " + version_text(version) + "\r";

  CbhDate created{};
  if ((status = field(kCbhFieldCreationDate, &created, sizeof created)) != QELHW_OK) return status;
  append_date(text, "Created", created);

  std::uint32_t word = 0;
  if (form == kCbhFormHeader) {
    CbhDate modified{};
    if ((status = field(kCbhFieldModifyDate, &modified, sizeof modified)) != QELHW_OK) return status;
    if (modified.year != 0 && modified.month != 0 && modified.day != 0)
      append_date(text, "Modified", modified);
    if ((status = field(kCbhFieldFirmwareId, &word, 4)) != QELHW_OK) return status;
    append(text, "Firmware ID: 0x%X\r", word);
  }
  if ((status = field(kCbhFieldCompatibilityVersion, &word, 4)) != QELHW_OK) return status;
  append(text, "Compatibility Version: %d\r", static_cast<int>(word));
  if ((status = field(kCbhFieldOptionBits, &word, 4)) != QELHW_OK) return status;
  append(text, "Option: 0x%X\r", word);
  if ((status = field(kCbhFieldFirmwareSize, &word, 4)) != QELHW_OK) return status;
  append(text, "Firmware Size: 0x%08X\r", word);
  return QELHW_OK;
}

}  // namespace

QelHwStatus Cbh_FormatVersionInfo(const void* buffer, char* text, std::uint32_t textSize) {
  if (buffer == nullptr || text == nullptr || textSize == 0) return QELHW_ERROR_ARG_INVALID;
  std::memset(text, 0, textSize);
  std::string built;
  const QelHwStatus status = build_text(buffer, built);
  if (status != QELHW_OK) return status;
  std::array<char, kTextSize> full{};
  std::memcpy(full.data(), built.data(), std::min<std::size_t>(built.size(), kTextSize - 1));
  std::memcpy(text, full.data(), std::min(textSize, kTextSize));
  text[textSize - 1] = '\0';
  return QELHW_OK;
}
