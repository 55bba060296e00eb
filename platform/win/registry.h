// The machine's registry: a file-backed store in the machine directory with
// the roots the system uses, typed values and case-insensitive key and value
// names, safe across processes. Functions answer Win32 error codes
// (kErrorSuccess, kErrorFileNotFound, kErrorMoreData, kErrorNoMoreItems, ...).
// The store is the text file "registry.reg" of the machine directory, which a
// person can read and edit (its form is described in registry_text.h). A key
// handle that is not open answers kErrorInvalidHandle.
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

// Longest key name, terminator excluded.
inline constexpr std::uint32_t kMaxRegistryName = 255;

// Answered for an open key that another process or thread has deleted.
inline constexpr std::uint32_t kErrorKeyDeleted = 1018;

struct RegistryKey;  // an open key of this process

// An empty or null value name is the key's default value.

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
// Deletes a subkey (a path below the key) that has no subkeys of its own:
// kErrorAccessDenied while it has some, kErrorFileNotFound when missing.
std::uint32_t reg_delete_key(RegistryKey* key, const char* subkey);

// Enumeration by index, in a stable order; kErrorNoMoreItems past the end.
// *name_size: capacity in, length without terminator out; on kErrorMoreData
// *name_size (and *data_size for a value's data) is the capacity needed.
// Subkeys come in name order (case ignored), values in the order first set.
std::uint32_t reg_enum_key(RegistryKey* key, std::uint32_t index, char* name,
                           std::uint32_t* name_size);
std::uint32_t reg_enum_value(RegistryKey* key, std::uint32_t index, char* name,
                             std::uint32_t* name_size, std::uint32_t* type, void* data,
                             std::uint32_t* data_size);

}  // namespace plat
