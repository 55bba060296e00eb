// The terminal's settings as the kernel keeps them, any baud rate included
// (a program may ask for a rate that has no constant of its own). This file
// alone sees the kernel's termios records, which clash with the C library's.
#include <asm/ioctls.h>
#include <asm/termbits.h>

#include <cstdint>

#include "platform/kernel/qelserial_internal.h"

extern "C" int ioctl(int fd, unsigned long request, ...);

namespace plat::kernel::qelserial {

namespace {

struct RateCode {
  unsigned code;
  std::uint32_t baud;
};
constexpr RateCode kRates[] = {
    {B50, 50},       {B75, 75},         {B110, 110},       {B134, 134},       {B150, 150},
    {B200, 200},     {B300, 300},       {B600, 600},       {B1200, 1200},     {B1800, 1800},
    {B2400, 2400},   {B4800, 4800},     {B9600, 9600},     {B19200, 19200},   {B38400, 38400},
    {B57600, 57600}, {B115200, 115200}, {B230400, 230400}, {B460800, 460800}, {B921600, 921600},
};

std::uint32_t baud_of(const termios2& settings) {
  const unsigned code = settings.c_cflag & CBAUD;
  if (code == BOTHER || settings.c_ospeed != 0) return settings.c_ospeed;
  for (const RateCode& rate : kRates)
    if (rate.code == code) return rate.baud;
  return 0;
}

std::uint32_t line_control_of(const termios2& settings) {
  std::uint32_t value = 0;
  switch (settings.c_cflag & CSIZE) {
    case CS5: value = 0; break;
    case CS6: value = 1; break;
    case CS7: value = 2; break;
    default: value = 3; break;
  }
  if (settings.c_cflag & CSTOPB) value |= kLineTwoStopBits;
  if (settings.c_cflag & PARENB) {
    const bool odd = (settings.c_cflag & PARODD) != 0;
    if (settings.c_cflag & CMSPAR) value |= odd ? 0x28 : 0x38;  // mark or space
    else value |= odd ? kLineParityOdd : kLineParityEven;
  }
  return value;
}

}  // namespace

bool read_line_settings(int master, LineSettings* settings) {
  termios2 kernel_settings{};
  if (ioctl(master, TCGETS2, &kernel_settings) != 0) return false;
  settings->baud = baud_of(kernel_settings);
  settings->line_control = line_control_of(kernel_settings);
  return true;
}

}  // namespace plat::kernel::qelserial
