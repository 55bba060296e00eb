#include "qellib/QelWinOptions.h"

#include <array>
#include <cstdio>
#include <mutex>
#include <string>

#include "platform/win/environment.h"
#include "platform/win/paths.h"
#include "qellib/QelLog.h"
#include "qellib/QelWinOptionsState.h"

namespace {

struct QelWinOptionsData {
  std::mutex lock;
  // A fixed array: a pointer handed out stays valid when the label changes.
  std::array<char, kQelWinMaxPath> label{};
  std::string driver_dir;
  std::string options_path;
  bool ini_mode = false;
};

QelWinOptionsData& Options() {
  static QelWinOptionsData data;
  return data;
}

std::string LabelOf(plat::ModuleHandle module) {
  std::string path = plat::module_file_name(module);
  std::string name(plat::path_file_name(path));
  if (name.empty()) return kQelWinDefaultLabel;
  return name.substr(0, kQelWinMaxPath - 1);
}

void SetLabel(QelWinOptionsData& data, const std::string& label) {
  std::snprintf(data.label.data(), data.label.size(), "%s", label.c_str());
}

// Until SetConfigPathName names a module, the lines carry the name of the
// module this code is linked into.
void EnsureLabel(QelWinOptionsData& data) {
  if (data.label[0] != '\0') return;
  plat::ModuleHandle self = plat::module_from_address(reinterpret_cast<const void*>(&LabelOf));
  SetLabel(data, self != nullptr ? LabelOf(self) : std::string(kQelWinDefaultLabel));
}

bool ReadVariable(const char* name, std::string& value) {
  std::array<char, kQelWinMaxPath> buffer{};
  std::uint32_t length = plat::get_environment_variable(name, buffer.data(), buffer.size());
  if (length == 0 || length >= buffer.size()) return false;
  value.assign(buffer.data(), length);
  return true;
}

}  // namespace

QelHwStatus SetConfigPathName(plat::ModuleHandle module, const char* variable_name,
                              const char* file_name, std::uint32_t ini_mode) {
  QelWinOptionsData& data = Options();
  std::string label;
  {
    std::lock_guard guard(data.lock);
    SetLabel(data, LabelOf(module));
    data.ini_mode = ini_mode != 0;
    label = data.label.data();
    if (variable_name == nullptr || variable_name[0] == '\0' || file_name == nullptr ||
        file_name[0] == '\0')
      return QELHW_OK;
    std::string directory;
    if (ReadVariable(variable_name, directory)) {
      data.driver_dir = directory;
      data.options_path = (directory + "\\" + file_name).substr(0, kQelWinMaxPath - 1);
      return QELHW_OK;
    }
  }
  LogPutLog(kQelLogError, __FILE__, __LINE__,
            "%s, SetConfigPathName: Could not get Environment Variable '%s' ", label.c_str(),
            variable_name);
  return QELHW_ERROR_RESOURCE_MISSING;
}

const char* QelWinModuleLabel() {
  QelWinOptionsData& data = Options();
  std::lock_guard guard(data.lock);
  EnsureLabel(data);
  return data.label.data();
}

bool QelWinIniMode() {
  QelWinOptionsData& data = Options();
  std::lock_guard guard(data.lock);
  return data.ini_mode;
}

std::string QelWinOptionsPath() {
  QelWinOptionsData& data = Options();
  std::lock_guard guard(data.lock);
  return data.options_path;
}

std::string QelWinDriverDir() {
  QelWinOptionsData& data = Options();
  std::lock_guard guard(data.lock);
  return data.driver_dir;
}
