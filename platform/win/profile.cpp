#include "platform/win/profile.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win/errors.h"
#include "platform/win/paths.h"
#include "platform/win/registry_file.h"

namespace plat {
namespace {

// ---- the file as lines ---------------------------------------------------

struct IniText {
  std::vector<std::string> lines;  // without line ends
  std::string line_end = "\r\n";   // the file's own, kept when rewriting
};

IniText split_lines(std::string_view text) {
  IniText ini;
  std::size_t first_end = text.find('\n');
  if (first_end != std::string_view::npos && (first_end == 0 || text[first_end - 1] != '\r'))
    ini.line_end = "\n";
  while (!text.empty()) {
    std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    ini.lines.emplace_back(line);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
  }
  return ini;
}

std::string join_lines(const IniText& ini) {
  std::string text;
  for (const std::string& line : ini.lines) text += line + ini.line_end;
  return text;
}

std::string_view trim(std::string_view text) {
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

bool same_name(std::string_view a, std::string_view b) {
  a = trim(a);
  b = trim(b);
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

std::optional<std::string_view> section_name(std::string_view line) {
  line = trim(line);
  if (line.empty() || line.front() != '[') return std::nullopt;
  line.remove_prefix(1);
  return trim(line.substr(0, line.find(']')));
}

struct Entry {
  std::string_view key;
  std::string_view value;
};

std::optional<Entry> entry_of(std::string_view line) {
  std::string_view text = trim(line);
  if (text.empty() || text.front() == ';' || text.front() == '[') return std::nullopt;
  std::size_t equals = text.find('=');
  if (equals == std::string_view::npos) return std::nullopt;
  return Entry{trim(text.substr(0, equals)), trim(text.substr(equals + 1))};
}

// Lines [header, end) of the first section with the name; header == end when none.
struct SectionRange {
  std::size_t header = 0;
  std::size_t end = 0;
  bool found = false;
};

SectionRange find_section(const IniText& ini, std::string_view name) {
  SectionRange range;
  for (std::size_t i = 0; i < ini.lines.size(); ++i) {
    auto header = section_name(ini.lines[i]);
    if (!header) continue;
    if (range.found) {
      range.end = i;
      return range;
    }
    if (same_name(*header, name)) {
      range = {i, ini.lines.size(), true};
    }
  }
  return range;
}

std::optional<std::size_t> find_key_line(const IniText& ini, const SectionRange& range,
                                         std::string_view key) {
  if (!range.found) return std::nullopt;
  for (std::size_t i = range.header + 1; i < range.end; ++i) {
    auto entry = entry_of(ini.lines[i]);
    if (entry && same_name(entry->key, key)) return i;
  }
  return std::nullopt;
}

std::string_view without_quotes(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front())
    return value.substr(1, value.size() - 2);
  return value;
}

// ---- reading ---------------------------------------------------------------

std::string profile_path(const char* file) {
  std::string_view name = file;
  if (name.find_first_of("\\/:") == std::string_view::npos) return native_path("C:\\Windows\\" + std::string(name));
  return native_path(name);
}

IniText read_profile(const char* file) {
  std::string text;
  if (file && *file) read_whole_file(profile_path(file), text);
  return split_lines(text);
}

std::optional<std::string> lookup(const IniText& ini, const char* section, const char* key) {
  SectionRange range = find_section(ini, section);
  auto line = find_key_line(ini, range, key);
  if (!line) return std::nullopt;
  return std::string(without_quotes(entry_of(ini.lines[*line])->value));
}

std::vector<std::string> section_names(const IniText& ini) {
  std::vector<std::string> names;
  for (const std::string& line : ini.lines) {
    if (auto name = section_name(line)) names.emplace_back(*name);
  }
  return names;
}

std::vector<std::string> key_names(const IniText& ini, const char* section) {
  std::vector<std::string> names;
  SectionRange range = find_section(ini, section);
  if (!range.found) return names;
  for (std::size_t i = range.header + 1; i < range.end; ++i) {
    if (auto entry = entry_of(ini.lines[i])) names.emplace_back(entry->key);
  }
  return names;
}

std::uint32_t copy_text(std::string_view text, char* out, std::uint32_t size) {
  const auto length = static_cast<std::uint32_t>(std::min<std::size_t>(text.size(), size - 1));
  std::memcpy(out, text.data(), length);
  out[length] = '\0';
  return length;
}

// Names one after the other, each zero-terminated, and a closing zero. A list
// that does not fit is cut and still ends with two zeros.
std::uint32_t copy_list(const std::vector<std::string>& names, char* out, std::uint32_t size) {
  std::string list;
  for (const std::string& name : names) list.append(name).push_back('\0');
  if (list.size() + 1 <= size) {
    std::memcpy(out, list.data(), list.size());
    out[list.size()] = '\0';
    if (list.empty() && size >= 2) out[1] = '\0';
    return static_cast<std::uint32_t>(list.size());
  }
  if (size < 2) {
    out[0] = '\0';
    return 0;
  }
  std::memcpy(out, list.data(), size - 2);
  out[size - 2] = '\0';
  out[size - 1] = '\0';
  return size - 2;
}

// ---- writing ---------------------------------------------------------------

bool set_entry(IniText& ini, const char* section, const char* key, const char* value) {
  std::string line = std::string(key) + "=" + value;
  SectionRange range = find_section(ini, section);
  if (!range.found) {
    ini.lines.push_back("[" + std::string(section) + "]");
    ini.lines.push_back(line);
    return true;
  }
  if (auto existing = find_key_line(ini, range, key)) {
    // The key keeps the spelling it has in the file.
    std::string kept = std::string(entry_of(ini.lines[*existing])->key) + "=" + value;
    if (ini.lines[*existing] == kept) return false;
    ini.lines[*existing] = kept;
    return true;
  }
  std::size_t after = range.end;
  while (after > range.header + 1 && trim(ini.lines[after - 1]).empty()) --after;
  ini.lines.insert(ini.lines.begin() + static_cast<std::ptrdiff_t>(after), line);
  return true;
}

bool delete_entry(IniText& ini, const char* section, const char* key) {
  auto line = find_key_line(ini, find_section(ini, section), key);
  if (!line) return false;
  ini.lines.erase(ini.lines.begin() + static_cast<std::ptrdiff_t>(*line));
  return true;
}

bool delete_section(IniText& ini, const char* section) {
  SectionRange range = find_section(ini, section);
  if (!range.found) return false;
  ini.lines.erase(ini.lines.begin() + static_cast<std::ptrdiff_t>(range.header),
                  ini.lines.begin() + static_cast<std::ptrdiff_t>(range.end));
  return true;
}

// A bare name lives in the Windows folder, which a fresh machine lacks.
void make_windows_folder(const char* file) {
  if (std::string_view(file).find_first_of("\\/:") != std::string_view::npos) return;
  std::error_code ignored;
  std::filesystem::create_directories(native_path("C:\\Windows"), ignored);
}

std::uint32_t error_of_write(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return kErrorPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
      return kErrorAccessDenied;
    default:
      return kErrorGenFailure;
  }
}

}  // namespace

std::uint32_t get_private_profile_string(const char* section, const char* key,
                                         const char* default_value, char* out, std::uint32_t size,
                                         const char* file) {
  if (!out || size == 0) return 0;
  IniText ini = read_profile(file);
  if (!section) return copy_list(section_names(ini), out, size);
  if (!key) return copy_list(key_names(ini, section), out, size);
  if (auto value = lookup(ini, section, key)) return copy_text(*value, out, size);
  std::string_view fallback = default_value ? default_value : "";
  while (!fallback.empty() && fallback.back() == ' ') fallback.remove_suffix(1);
  return copy_text(fallback, out, size);
}

std::uint32_t get_private_profile_int(const char* section, const char* key, std::int32_t default_value,
                                      const char* file) {
  if (!section || !key) return static_cast<std::uint32_t>(default_value);
  auto value = lookup(read_profile(file), section, key);
  if (!value || value->empty()) return static_cast<std::uint32_t>(default_value);
  std::string_view text = *value;
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  std::uint32_t base = 10;
  if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  std::uint32_t number = 0;
  for (char c : text) {
    int digit = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                : (base == 16 && std::isxdigit(static_cast<unsigned char>(c)))
                    ? std::tolower(static_cast<unsigned char>(c)) - 'a' + 10
                    : -1;
    if (digit < 0) break;
    number = number * base + static_cast<std::uint32_t>(digit);
  }
  return negative ? 0u - number : number;
}

bool write_private_profile_string(const char* section, const char* key, const char* value,
                                  const char* file) {
  if (!section && !key && !value) return true;
  if (!section || !file || !*file) {
    set_last_error(kErrorInvalidParameter);
    return false;
  }
  const bool deleting = !key || !value;
  if (!deleting) make_windows_folder(file);
  int error = update_file_locked(profile_path(file), !deleting, [&](std::string& text) {
    IniText ini = split_lines(text);
    bool changed = !key ? delete_section(ini, section)
                   : !value ? delete_entry(ini, section, key)
                            : set_entry(ini, section, key, value);
    if (changed) text = join_lines(ini);
    return changed;
  });
  if (error == ENOENT && deleting) return true;  // nothing to delete from
  if (error != 0) {
    set_last_error(error_of_write(error));
    return false;
  }
  return true;
}

}  // namespace plat
