#include "platform/testing/board_startup.h"

#include "platform/board/presets.h"
#include "platform/win/machine.h"

namespace plat::testing {

namespace {

const plat::board::BoardPreset& preset_of(const std::string& model) {
  const plat::board::BoardPreset* preset = plat::board::find_preset(model);
  return preset != nullptr ? *preset : *plat::board::find_preset("FolvantX4Full");
}

}  // namespace

plat::board::BoardStartup factory_startup(const std::string& model, int index) {
  return plat::board::board_factory_startup(preset_of(model), index);
}

bool preset_board(const std::string& model, int index, const plat::board::BoardStartup& startup) {
  const plat::board::BoardPreset* preset = plat::board::find_preset(model);
  if (preset == nullptr || index < 0) return false;
  return plat::board::board_store_startup(plat::machine_path("boards/" + std::to_string(index)), *preset, startup);
}

}  // namespace plat::testing
