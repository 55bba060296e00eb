// Typed registry access, redirected to the options file in options-file mode
// (see SetConfigPathName). Results are board statuses.
#pragma once

#include <cstdint>

#include "driver/user/QelHwStatus.h"
#include "platform/win/registry.h"

// Root selectors of QelWinReadRegistry and friends; any other value is
// HKEY_LOCAL_MACHINE.
inline constexpr std::uint32_t kQelWinRootLocalMachine = 0;
inline constexpr std::uint32_t kQelWinRootUsers = 1;
inline constexpr std::uint32_t kQelWinRootCurrentUser = 2;

// Value types.
inline constexpr std::uint32_t kQelWinTypeDword = 0;
inline constexpr std::uint32_t kQelWinTypeString = 1;
inline constexpr std::uint32_t kQelWinTypeBinary = 2;

// Reads a value. DWORD: *size at least 4. String: at most *size bytes with
// the terminator. In options-file mode a missing entry reads as 0 or "", a
// string starting with "<TARGETDIR>" gets the driver directory in its place,
// and *size becomes the string's length; binary values are not supported (-5).
QelHwStatus QelWinReadRegistry(std::uint32_t root, const char* key, const char* value,
                               std::uint32_t type, void* data, std::uint32_t* size);
// Writes a value; in options-file mode a DWORD is written as "0x%08x".
QelHwStatus QelWinWriteRegistry(std::uint32_t root, const char* key, const char* value,
                                std::uint32_t type, const void* data, std::uint32_t size);

// The number of subkeys (or values) of a key and their names, one after the
// other, each zero-terminated, in `names` of `size` bytes. In options-file
// mode the keys are the entry names of the key's section; values give -5.
QelHwStatus QelWinEnumKeys(std::uint32_t root, const char* key, std::uint32_t* count, char* names,
                           std::uint32_t size);
QelHwStatus QelWinEnumValues(std::uint32_t root, const char* key, std::uint32_t* count,
                             char* names, std::uint32_t size);

// Registry primitives. Reads: a missing key or value zeroes the output and
// succeeds; a value of another type gives -3; a string needs an output larger
// than its stored size, a binary value one at least as large (else -3).
// Writes create the key; an existing value of another type gives -3.
QelHwStatus ReadRegistryDword(plat::RegistryRoot root, const char* key, const char* value,
                              std::uint32_t* data);
QelHwStatus WriteRegistryDword(plat::RegistryRoot root, const char* key, const char* value,
                               std::uint32_t data);
QelHwStatus ReadRegistryString(plat::RegistryRoot root, const char* key, const char* value,
                               char* data, std::uint32_t size);
QelHwStatus WriteRegistryString(plat::RegistryRoot root, const char* key, const char* value,
                                const char* data);
QelHwStatus ReadRegistryBinary(plat::RegistryRoot root, const char* key, const char* value,
                               void* data, std::uint32_t size);
QelHwStatus WriteRegistryBinary(plat::RegistryRoot root, const char* key, const char* value,
                                const void* data, std::uint32_t size);
