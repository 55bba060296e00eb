// Profile (ini) files with the platform's rules: case-insensitive sections and
// keys, defaults, truncation, the list forms with a null section or key, and
// "0x" numbers for integers. Safe across processes. Paths may be Windows-style;
// a bare file name is taken from the Windows folder (C:\Windows). Values are
// trimmed of surrounding blanks and of one pair of surrounding quotes; the
// first of several same-named sections or keys counts.
#pragma once

#include <cstdint>

namespace plat {

// Copies the value (or the default) into out, cut to size-1 characters;
// answers the number of characters copied. With a null key: every key of the
// section, each zero-terminated, the list ending with a second zero; with a
// null section: every section name, likewise (a cut list answers size-2).
std::uint32_t get_private_profile_string(const char* section, const char* key,
                                         const char* default_value, char* out, std::uint32_t size,
                                         const char* file);
// The value read as an integer (decimal, or hexadecimal after "0x", either
// after an optional sign, up to the first other character), or the default
// when the key is missing or empty. Text that is no number reads as 0.
std::uint32_t get_private_profile_int(const char* section, const char* key, std::int32_t default_value,
                                      const char* file);
// Writes the value; a null value deletes the key, a null key the section.
// Creates the file when needed (not its folder); other lines, comments and
// their order are kept. False when the file cannot be written. All three null
// only flushes (nothing is cached): true.
bool write_private_profile_string(const char* section, const char* key, const char* value,
                                  const char* file);

}  // namespace plat
