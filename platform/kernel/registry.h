// Registry reads of drivers, by kernel path ("\REGISTRY\Machine\..." or
// "\REGISTRY\User\..."), over the machine's registry.
#pragma once

#include <cstdint>

#include "platform/win/nt_status.h"

namespace plat::kernel {

// Like the user-mode query: data null asks for type and size only; a short
// buffer answers kStatusBufferOverflow with *size set to what is needed.
// kStatusObjectNameNotFound for a missing key or value.
NtStatus query_registry_value(const wchar_t* key_path, const wchar_t* value_name,
                              std::uint32_t* type, void* data, std::uint32_t* size);
NtStatus query_registry_dword(const wchar_t* key_path, const wchar_t* value_name,
                              std::uint32_t* value);

}  // namespace plat::kernel
