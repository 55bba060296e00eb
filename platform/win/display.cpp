#include "platform/win/display.h"

#include <strings.h>

#include <string>

#include "platform/win/errors.h"
#include "platform/win/machine.h"
#include "platform/win/profile.h"

namespace plat {

namespace {

constexpr std::int32_t kDefaultBitsPerPixel = 32;

std::string settings_file() { return machine_path("display.ini"); }

}  // namespace

std::uint32_t display_bits_per_pixel(const char* device) {
  if (device == nullptr || strcasecmp(device, "DISPLAY") != 0 || machine_dir().empty()) {
    set_last_error(kErrorInvalidParameter);
    return 0;
  }
  return get_private_profile_int("Display", "BitsPerPixel", kDefaultBitsPerPixel, settings_file().c_str());
}

bool set_display_bits_per_pixel(std::uint32_t bits) {
  if (machine_dir().empty()) return false;
  return write_private_profile_string("Display", "BitsPerPixel", std::to_string(bits).c_str(),
                                     settings_file().c_str());
}

}  // namespace plat
