#include <array>

#include "driver/user/YatManRequests.h"

namespace {

// Pixel format index 1 to 29, index 1 first.
constexpr std::array<std::uint32_t, 29> kBytesPerPixel = {1, 2, 2, 2, 3, 4, 2, 2, 1, 2, 4, 1, 2, 4, 3,
                                                          6, 4, 3, 4, 3, 6, 8, 4, 3, 6, 8, 4, 4, 3};

}  // namespace

std::uint32_t Yat_Format_GetBytesPerPixel(std::uint32_t format) {
  if (format == 0 || format > kBytesPerPixel.size()) return 0;
  return kBytesPerPixel[format - 1];
}
