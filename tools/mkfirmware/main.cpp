// qel-mkfirmware: makes a firmware file around a simulated bitstream.
#include <cstdio>
#include <span>
#include <string>

#include "tools/mkfirmware/firmware_file.h"

int main(int argc, char** argv) {
  mkfirmware::FirmwareRecipe recipe;
  std::string out_path;
  std::string error;
  bool help = false;
  const std::span<const char* const> args(argv + 1, static_cast<std::size_t>(argc > 0 ? argc - 1 : 0));
  if (!mkfirmware::parse_arguments(args, &recipe, &out_path, &help, &error)) {
    std::fprintf(stderr, "qel-mkfirmware: %s\n%s", error.c_str(), mkfirmware::usage_text());
    return 2;
  }
  if (help) {
    std::fputs(mkfirmware::usage_text(), stdout);
    return 0;
  }
  if (!mkfirmware::write_firmware_file(out_path, recipe, &error)) {
    std::fprintf(stderr, "qel-mkfirmware: %s\n", error.c_str());
    return 1;
  }
  const std::vector<std::uint8_t> image = mkfirmware::make_firmware_image(recipe);
  std::printf("%s: %zu bytes of image%s\n", out_path.c_str(), image.size(), recipe.corrupt ? " (corrupt)" : "");
  return 0;
}
