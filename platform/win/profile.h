// Profile (ini) files with the platform's rules: case-insensitive sections and
// keys, defaults, truncation, the list forms with a null section or key, and
// "0x" numbers for integers. Safe across processes. Paths may be Windows-style.
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
// The value read as an integer (decimal, or hexadecimal after "0x"), or the
// default when the key is missing.
std::uint32_t get_private_profile_int(const char* section, const char* key, std::int32_t default_value,
                                      const char* file);
// Writes the value; a null value deletes the key, a null key the section.
// Creates the file when needed. False when the file cannot be written.
bool write_private_profile_string(const char* section, const char* key, const char* value,
                                  const char* file);

}  // namespace plat
