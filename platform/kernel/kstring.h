// Counted wide strings of the kernel (device names, links, registry paths).
// Lengths are in bytes, without a terminator.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/win/nt_status.h"

namespace plat::kernel {

struct KernelString {
  std::uint16_t length;
  std::uint16_t maximum_length;
  wchar_t* buffer;
};

// Points the string at a terminated text (no copy).
void init_kernel_string(KernelString* string, const wchar_t* text);
// Appends text when it fits in maximum_length (kStatusBufferTooSmall otherwise).
NtStatus append_to_kernel_string(KernelString* string, const wchar_t* text);
// Appends a decimal number.
NtStatus append_number_to_kernel_string(KernelString* string, std::uint32_t value);

// Conversions used inside the kernel host (names are ASCII in practice).
std::string to_utf8(const KernelString* string);
std::string to_utf8(std::wstring_view text);
std::wstring to_wide(std::string_view text);
std::wstring_view view_of(const KernelString* string);

}  // namespace plat::kernel
