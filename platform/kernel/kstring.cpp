#include "platform/kernel/kstring.h"

#include <cwchar>

namespace plat::kernel {

void init_kernel_string(KernelString* string, const wchar_t* text) {
  std::size_t bytes = text ? std::wcslen(text) * sizeof(wchar_t) : 0;
  if (bytes > 0xFFFC) bytes = 0xFFFC - 0xFFFC % sizeof(wchar_t);
  string->length = static_cast<std::uint16_t>(bytes);
  string->maximum_length = static_cast<std::uint16_t>(text ? bytes + sizeof(wchar_t) : 0);
  string->buffer = const_cast<wchar_t*>(text);
}

NtStatus append_to_kernel_string(KernelString* string, const wchar_t* text) {
  std::size_t add = std::wcslen(text) * sizeof(wchar_t);
  if (string->buffer == nullptr || string->length + add > string->maximum_length)
    return kStatusBufferTooSmall;
  std::wmemcpy(string->buffer + string->length / sizeof(wchar_t), text, add / sizeof(wchar_t));
  string->length = static_cast<std::uint16_t>(string->length + add);
  if (string->length + sizeof(wchar_t) <= string->maximum_length)
    string->buffer[string->length / sizeof(wchar_t)] = L'\0';
  return kStatusSuccess;
}

NtStatus append_number_to_kernel_string(KernelString* string, std::uint32_t value) {
  std::wstring digits = std::to_wstring(value);
  return append_to_kernel_string(string, digits.c_str());
}

std::wstring_view view_of(const KernelString* string) {
  if (string == nullptr || string->buffer == nullptr) return {};
  return std::wstring_view(string->buffer, string->length / sizeof(wchar_t));
}

std::string to_utf8(std::wstring_view text) {
  std::string out;
  out.reserve(text.size());
  for (wchar_t c : text) {
    auto u = static_cast<std::uint32_t>(c);
    if (u < 0x80) {
      out += static_cast<char>(u);
    } else if (u < 0x800) {
      out += static_cast<char>(0xC0 | (u >> 6));
      out += static_cast<char>(0x80 | (u & 0x3F));
    } else if (u < 0x10000) {
      out += static_cast<char>(0xE0 | (u >> 12));
      out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (u & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | ((u >> 18) & 0x07));
      out += static_cast<char>(0x80 | ((u >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (u & 0x3F));
    }
  }
  return out;
}

std::string to_utf8(const KernelString* string) { return to_utf8(view_of(string)); }

std::wstring to_wide(std::string_view text) {
  // Names crossing into the kernel are ASCII; other bytes are taken one to one.
  std::wstring out;
  out.reserve(text.size());
  for (char c : text) out += static_cast<wchar_t>(static_cast<unsigned char>(c));
  return out;
}

}  // namespace plat::kernel
