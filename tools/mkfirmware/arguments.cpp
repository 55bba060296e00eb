// The command line of qel-mkfirmware.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "tools/mkfirmware/firmware_file.h"

namespace mkfirmware {

namespace {

bool parse_number(const char* text, std::uint64_t limit, std::uint64_t* value) {
  if (text == nullptr || *text == '\0' || *text == '-') return false;
  errno = 0;
  char* end = nullptr;
  const unsigned long long parsed = std::strtoull(text, &end, 0);
  if (errno != 0 || *end != '\0' || parsed > limit) return false;
  *value = parsed;
  return true;
}

template <typename T>
bool parse_into(const char* text, T* out) {
  std::uint64_t value = 0;
  if (!parse_number(text, static_cast<T>(~T{0}), &value)) return false;
  *out = static_cast<T>(value);
  return true;
}

// "major.minor.third.build".
bool parse_version(const char* text, CbhVersion* version) {
  unsigned major = 0, minor = 0, third = 0, build = 0;
  int used = 0;
  if (std::sscanf(text, "%u.%u.%u.%u%n", &major, &minor, &third, &build, &used) != 4 ||
      text[used] != '\0' || major > 255 || minor > 255 || third > 255 || build > 65535)
    return false;
  *version = CbhVersion{static_cast<std::uint8_t>(third), static_cast<std::uint16_t>(build),
                        static_cast<std::uint8_t>(minor), static_cast<std::uint8_t>(major)};
  return true;
}

// "YYYY/MM/DD hh:mm", the form the configuration store keeps dates in.
bool parse_date(const char* text, CbhDate* date) {
  unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0;
  int used = 0;
  if (std::sscanf(text, "%u/%u/%u %u:%u%n", &year, &month, &day, &hour, &minute, &used) != 5 ||
      text[used] != '\0' || year > 65535 || month > 12 || day > 31 || hour > 23 || minute > 59)
    return false;
  *date = CbhDate{static_cast<std::uint8_t>(minute), static_cast<std::uint8_t>(hour),
                  static_cast<std::uint8_t>(day), static_cast<std::uint8_t>(month),
                  static_cast<std::uint16_t>(year)};
  return true;
}

bool parse_fpga(std::string_view text, plat::board::FpgaKind* fpga) {
  if (text == "main") *fpga = plat::board::FpgaKind::kMain;
  else if (text == "xio") *fpga = plat::board::FpgaKind::kXio;
  else if (text == "expansion") *fpga = plat::board::FpgaKind::kExpansion;
  else return false;
  return true;
}

bool parse_form(std::string_view text, FirmwareForm* form) {
  if (text == "header") *form = FirmwareForm::kHeader;
  else if (text == "record") *form = FirmwareForm::kRecord;
  else if (text == "both") *form = FirmwareForm::kHeaderAndRecord;
  else return false;
  return true;
}

// The kind of FPGA decides the defaults, so it is found first.
plat::board::FpgaKind find_fpga(std::span<const char* const> args, bool* ok) {
  plat::board::FpgaKind fpga = plat::board::FpgaKind::kXio;
  for (std::size_t i = 0; i + 1 < args.size(); ++i)
    if (std::string_view(args[i]) == "--fpga" && !parse_fpga(args[i + 1], &fpga)) *ok = false;
  return fpga;
}

}  // namespace

const char* usage_text() {
  return "usage: qel-mkfirmware --out FILE [--fpga main|xio|expansion] [--version a.b.c.d]\n"
         "         [--product ID] [--component ID] [--compat N] [--firmware-id N] [--options BITS]\n"
         "         [--header-version N] [--comment TEXT] [--date \"YYYY/MM/DD hh:mm\"]\n"
         "         [--modified \"YYYY/MM/DD hh:mm\"] [--design-id N] [--design-version N]\n"
         "         [--payload-size BYTES] [--form header|record|both] [--corrupt]\n"
         "Makes a firmware file (*.cbn, *.cbf) around a simulated bitstream.\n";
}

bool parse_arguments(std::span<const char* const> args, FirmwareRecipe* recipe, std::string* out_path, bool* help,
                     std::string* error) {
  bool fpga_ok = true;
  *recipe = default_firmware_recipe(find_fpga(args, &fpga_ok));
  *help = false;
  out_path->clear();
  if (!fpga_ok) {
    *error = "--fpga takes main, xio or expansion";
    return false;
  }
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view option = args[i] != nullptr ? args[i] : "";
    if (option == "--help" || option == "-h") {
      *help = true;
      return true;
    }
    if (option == "--corrupt") {
      recipe->corrupt = true;
      continue;
    }
    if (i + 1 >= args.size() || args[i + 1] == nullptr) {
      *error = std::string("missing value or unknown option: ") + std::string(option);
      return false;
    }
    const char* value = args[++i];
    bool ok = true;
    if (option == "--out") {
      *out_path = value;
    } else if (option == "--fpga") {
      // taken above
    } else if (option == "--version") {
      ok = parse_version(value, &recipe->version);
    } else if (option == "--product") {
      ok = parse_into(value, &recipe->product_id);
    } else if (option == "--component") {
      ok = parse_into(value, &recipe->component_id);
    } else if (option == "--compat") {
      ok = parse_into(value, &recipe->compatibility_version);
    } else if (option == "--firmware-id") {
      ok = parse_into(value, &recipe->firmware_id);
    } else if (option == "--options") {
      ok = parse_into(value, &recipe->option_bits);
    } else if (option == "--header-version") {
      ok = parse_into(value, &recipe->header_version);
    } else if (option == "--comment") {
      ok = std::strlen(value) < kCbhCommentSize;
      recipe->comment = value;
    } else if (option == "--date") {
      ok = parse_date(value, &recipe->created);
      recipe->modified = recipe->created;
    } else if (option == "--modified") {
      ok = parse_date(value, &recipe->modified);
    } else if (option == "--design-id") {
      ok = parse_into(value, &recipe->design_id);
    } else if (option == "--design-version") {
      ok = parse_into(value, &recipe->design_version);
    } else if (option == "--payload-size") {
      ok = parse_into(value, &recipe->payload_size) && recipe->payload_size <= plat::board::kBitstreamMaxPayload;
    } else if (option == "--form") {
      ok = parse_form(value, &recipe->form);
    } else {
      *error = std::string("unknown option: ") + std::string(option);
      return false;
    }
    if (!ok) {
      *error = std::string("bad value for ") + std::string(option) + ": " + value;
      return false;
    }
  }
  if (out_path->empty()) {
    *error = "--out FILE is required";
    return false;
  }
  return true;
}

}  // namespace mkfirmware
