// The machine's registry: a file-backed store in the machine directory with
// the roots the system uses, typed values and case-insensitive key and value
// names, safe across processes. Functions answer Win32 error codes
// (kErrorSuccess, kErrorFileNotFound, kErrorMoreData, kErrorNoMoreItems, ...).
#pragma once

#include <cstdint>

namespace plat {

enum class RegistryRoot : std::uint32_t { kLocalMachine = 0, kUsers = 1, kCurrentUser = 2 };

inline constexpr std::uint32_t kRegNone = 0;
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint32_t kRegMultiSz = 7;

// Longest key or value name, terminator excluded.
inline constexpr std::uint32_t kMaxRegistryName = 255;

struct RegistryKey;  // an open key of this process

// Opens an existing key (kErrorFileNotFound when there is none). Key paths use
// backslashes; an empty path opens the root.
std::uint32_t reg_open_key(RegistryRoot root, const char* path, RegistryKey** out);
// Opens the key, creating it and its parents when missing.
std::uint32_t reg_create_key(RegistryRoot root, const char* path, RegistryKey** out);
void reg_close_key(RegistryKey* key);

// Reads a value. With data null only the type and size are reported. A
// buffer smaller than the value: kErrorMoreData and *size set to what it
// needs. Strings are stored and returned with their terminator.
std::uint32_t reg_query_value(RegistryKey* key, const char* name, std::uint32_t* type, void* data,
                              std::uint32_t* size);
std::uint32_t reg_set_value(RegistryKey* key, const char* name, std::uint32_t type, const void* data,
                            std::uint32_t size);
std::uint32_t reg_delete_value(RegistryKey* key, const char* name);
// Deletes a subkey that has no subkeys of its own.
std::uint32_t reg_delete_key(RegistryKey* key, const char* subkey);

// Enumeration by index, in a stable order; kErrorNoMoreItems past the end.
// *name_size: capacity in, length without terminator out.
std::uint32_t reg_enum_key(RegistryKey* key, std::uint32_t index, char* name,
                           std::uint32_t* name_size);
std::uint32_t reg_enum_value(RegistryKey* key, std::uint32_t index, char* name,
                             std::uint32_t* name_size, std::uint32_t* type, void* data,
                             std::uint32_t* data_size);

}  // namespace plat
