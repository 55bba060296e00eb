#include "platform/kernel/system_setup.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>
#include <string_view>

#include "platform/win/machine.h"

namespace plat::kernel {

namespace {

namespace fs = std::filesystem;

constexpr const char* kDriverFile = "Stavro.SYS";

// Deliverables and stand-ins carry the extensions of their platform; test
// programs and tools have none.
bool is_deliverable(const fs::path& file) {
  std::string ext = file.extension().string();
  if (ext.size() < 2) return false;
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  static constexpr std::array<std::string_view, 9> kKinds = {".dll", ".sys", ".vkm", ".exe", ".cpl",
                                                             ".ocx", ".drv", ".ini", ".cbh"};
  return std::find(kKinds.begin(), kKinds.end(), ext) != kKinds.end();
}

}  // namespace

bool populate_system_dir(const std::string& program_dir, std::string* error) {
  std::error_code ec;
  fs::path system = plat::system_dir();
  if (fs::exists(system, ec)) return true;
  if (!fs::create_directories(system, ec)) {
    *error = "cannot create " + system.string() + ": " + ec.message();
    return false;
  }
  for (const auto& entry : fs::directory_iterator(program_dir, ec)) {
    if (!entry.is_regular_file(ec) || !is_deliverable(entry.path())) continue;
    fs::create_symlink(entry.path(), system / entry.path().filename(), ec);
  }
  // The kernel driver is also found where a system keeps its drivers.
  const fs::path driver = fs::path(program_dir) / kDriverFile;
  if (fs::exists(driver, ec) && fs::create_directories(system / "drivers", ec))
    fs::create_symlink(driver, system / "drivers" / kDriverFile, ec);
  return true;
}

}  // namespace plat::kernel
