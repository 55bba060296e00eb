// The machine's display as a program sees it through a device context on
// "DISPLAY": its colour depth. The depth is a setting of the machine, kept in
// "display.ini" of the machine directory (section "Display", key
// "BitsPerPixel"), 32 when unset; 0 stands for a machine without a display.
#pragma once

#include <cstdint>

namespace plat {

// Bits per pixel of the named display device ("DISPLAY", any case); 0 when no
// device context can be opened on it: another device, or no display.
std::uint32_t display_bits_per_pixel(const char* device);

// Sets the machine's display depth (0: no display); false when it cannot be stored.
bool set_display_bits_per_pixel(std::uint32_t bits);

}  // namespace plat
