// Environment variables of the calling process.
#pragma once

#include <cstdint>

namespace plat {

// Copies the value into out when it fits (answers its length without the
// terminator); otherwise answers the size needed, terminator included. Missing
// variable: 0 and kErrorEnvvarNotFound.
std::uint32_t get_environment_variable(const char* name, char* out, std::uint32_t size);
// A null value removes the variable.
bool set_environment_variable(const char* name, const char* value);

}  // namespace plat
