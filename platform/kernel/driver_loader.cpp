#include "platform/kernel/driver_loader.h"

#include <dirent.h>
#include <dlfcn.h>
#include <strings.h>

#include <cstdio>

#include "platform/kernel/kernel_log.h"
#include "platform/kernel/memory.h"
#include "platform/win/machine.h"

namespace plat::kernel {

namespace {

std::string find_in_system_dir(const std::string& file_name) {
  if (!file_name.empty() && file_name[0] == '/') return file_name;
  std::string dir = plat::system_dir();
  DIR* d = ::opendir(dir.c_str());
  if (d == nullptr) return {};
  std::string found;
  while (dirent* entry = ::readdir(d)) {
    if (::strcasecmp(entry->d_name, file_name.c_str()) == 0) {
      found = dir + "/" + entry->d_name;
      break;
    }
  }
  ::closedir(d);
  return found;
}

std::wstring service_path(const std::string& file_name) {
  std::string stem = file_name.substr(0, file_name.find('.'));
  return L"\\REGISTRY\\Machine\\System\\CurrentControlSet\\Services\\" + to_wide(stem);
}

NtStatus run_entry(DriverObject* driver, DriverEntryRoutine entry, const std::wstring& registry) {
  KernelString path;
  init_kernel_string(&path, registry.c_str());
  return entry(driver, &path);
}

}  // namespace

NtStatus load_driver_module(const std::string& file_name, LoadedDriver* out, std::string* error) {
  std::string path = find_in_system_dir(file_name);
  if (path.empty()) {
    *error = "driver " + file_name + " not found in " + plat::system_dir();
    return kStatusObjectNameNotFound;
  }
  void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    const char* why = ::dlerror();
    *error = "driver " + path + " cannot be loaded: " + (why ? why : "?");
    return kStatusInvalidParameter;
  }
  auto entry = reinterpret_cast<DriverEntryRoutine>(::dlsym(module, "DriverEntry"));
  if (entry == nullptr) {
    *error = "driver " + path + " has no DriverEntry";
    ::dlclose(module);
    return kStatusInvalidParameter;
  }
  std::wstring name = L"\\Driver\\" + to_wide(file_name.substr(0, file_name.find('.')));
  DriverObject* driver = create_driver_object(name.c_str());
  driver->module = module;
  NtStatus status = run_entry(driver, entry, service_path(file_name));
  if (!nt_success(status)) {
    char text[64];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(status));
    *error = "driver " + file_name + ": DriverEntry failed with status " + text;
    out->driver = driver;
    out->module = module;
    out->file_name = file_name;
    unload_driver(out);
    return status;
  }
  out->driver = driver;
  out->module = module;
  out->file_name = file_name;
  host_log(2, "driver %s loaded", file_name.c_str());
  return kStatusSuccess;
}

NtStatus start_host_driver(const wchar_t* name, DriverEntryRoutine entry, LoadedDriver* out) {
  DriverObject* driver = create_driver_object(name);
  NtStatus status = run_entry(driver, entry, L"");
  if (!nt_success(status)) {
    free_driver_object(driver);
    return status;
  }
  out->driver = driver;
  out->module = nullptr;
  out->file_name = to_utf8(std::wstring_view(name));
  return kStatusSuccess;
}

void unload_driver(LoadedDriver* loaded) {
  DriverObject* driver = loaded->driver;
  if (driver == nullptr) return;
  if (driver->unload) driver->unload(driver);
  int left = 0;
  while (driver->device_list) {
    delete_device(driver->device_list);
    ++left;
  }
  if (left > 0) host_log(1, "driver %s left %d device(s) at unload", loaded->file_name.c_str(), left);
  if (loaded->module) {
    void* symbol = ::dlsym(loaded->module, "DriverEntry");
    for (const PoolLeak& leak : pool_blocks_of_module(symbol))
      host_log(1, "driver %s leaked pool: tag '%s', %zu bytes", loaded->file_name.c_str(),
               tag_text(leak.tag).c_str(), leak.size);
    ::dlclose(loaded->module);
  }
  free_driver_object(driver);
  *loaded = {};
}

}  // namespace plat::kernel
