#include "platform/win/environment.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/win/errors.h"

extern char** environ;

namespace plat {
namespace {

// getenv/setenv are not safe against each other; every use of ours goes
// through this lock.
std::mutex& environment_lock() {
  static std::mutex lock;
  return lock;
}

bool same_ignoring_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (std::tolower(x) != std::tolower(y)) return false;
  }
  return true;
}

// Names of the platform ignore case: the spelling in the environment that
// matches `name`, exact spelling first.
std::optional<std::string> spelling_in_environment(std::string_view name) {
  if (std::getenv(std::string(name).c_str())) return std::string(name);
  for (char** entry = environ; entry && *entry; ++entry) {
    std::string_view text = *entry;
    std::size_t equals = text.find('=');
    if (equals != std::string_view::npos && same_ignoring_case(text.substr(0, equals), name))
      return std::string(text.substr(0, equals));
  }
  return std::nullopt;
}

bool name_valid(const char* name) { return name && *name && !std::strchr(name, '='); }

}  // namespace

std::uint32_t get_environment_variable(const char* name, char* out, std::uint32_t size) {
  if (!name_valid(name)) {
    set_last_error(kErrorEnvvarNotFound);
    return 0;
  }
  std::string value;
  {
    std::lock_guard guard(environment_lock());
    auto spelling = spelling_in_environment(name);
    if (!spelling) {
      set_last_error(kErrorEnvvarNotFound);
      return 0;
    }
    value = std::getenv(spelling->c_str());
  }
  const auto length = static_cast<std::uint32_t>(value.size());
  if (!out || size < length + 1) return length + 1;
  std::memcpy(out, value.c_str(), length + 1);
  set_last_error(kErrorSuccess);
  return length;
}

bool set_environment_variable(const char* name, const char* value) {
  if (!name_valid(name)) {
    set_last_error(kErrorInvalidParameter);
    return false;
  }
  std::lock_guard guard(environment_lock());
  std::string spelling = spelling_in_environment(name).value_or(name);
  int result = value ? ::setenv(spelling.c_str(), value, 1) : ::unsetenv(spelling.c_str());
  if (result != 0) {
    set_last_error(kErrorNotEnoughMemory);
    return false;
  }
  return true;
}

}  // namespace plat
