// The SDK settings the server driver reads at instance open, from the SDK's
// registry key; a missing key or value keeps the default, and no limit is
// applied to a stored value.
#include <array>
#include <atomic>
#include <cstring>

#include "platform/win/errors.h"
#include "platform/win/registry.h"
#include "source/QelAPI/QelApi.h"

namespace {

constexpr char kSettingsKey[] = "Software\\Marvanti Brenk\\Velisk LT\\Settings";

struct Setting {
  const char* name;
  std::uint32_t fallback;
};

constexpr std::array<Setting, kQelSettingCount> kSettings{{
    {"Memory Top Down Allocation", 0},
    {"Messaging Fifo Size", 128},
    {"Messaging Number Of Threads", 4},
    {"Messaging Thread Priority", 15},
    {"Callback Fifo Size", 1024},
    {"Callback Thread Priority", 15},
}};

// The values read at the last instance open (the defaults before it).
struct SettingValues {
  std::array<std::atomic<std::uint32_t>, kQelSettingCount> values;
  SettingValues() {
    for (std::size_t i = 0; i < kQelSettingCount; ++i) values[i].store(kSettings[i].fallback);
  }
};

std::array<std::atomic<std::uint32_t>, kQelSettingCount>& Values() {
  static SettingValues settings;
  return settings.values;
}

}  // namespace

void LoadSettings() {
  auto& values = Values();
  for (std::size_t i = 0; i < kQelSettingCount; ++i) values[i].store(kSettings[i].fallback);
  plat::RegistryKey* key = nullptr;
  if (plat::reg_open_key(plat::RegistryRoot::kLocalMachine, kSettingsKey, &key) != plat::kErrorSuccess) return;
  for (std::size_t i = 0; i < kQelSettingCount; ++i) {
    std::uint32_t stored = 0;
    std::uint32_t type = 0;
    std::uint32_t size = sizeof stored;
    if (plat::reg_query_value(key, kSettings[i].name, &type, &stored, &size) == plat::kErrorSuccess &&
        type == plat::kRegDword && size == sizeof stored)
      values[i].store(stored);
  }
  plat::reg_close_key(key);
}

QelStatus GetSetting(std::uint32_t index, void* value, std::uint32_t size) {
  if (value == nullptr) return 0x3000232;
  if (index >= kQelSettingCount) return 0x3000132;
  if (size != sizeof(std::uint32_t)) return 0x3000332;
  const std::uint32_t stored = Values()[index].load();
  std::memcpy(value, &stored, sizeof stored);
  return QEL_OK;
}

QelStatus SettingIndexStatus(std::uint32_t index) { return index < kQelSettingCount ? 0x300002C : 0x3000132; }
