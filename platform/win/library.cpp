#include "platform/win/library.h"

#include <dirent.h>
#include <dlfcn.h>
#include <link.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win/errors.h"
#include "platform/win/machine.h"
#include "platform/win/paths.h"

// Every deliverable links its own copy of this file, so the registry of loaded
// modules cannot be a variable here: it is the dynamic loader's own list of
// loaded objects, which all copies in a process share. A module handle is the
// loader's handle of the object (the same for every dlopen of one file), the
// loader counts references, and a module's detach hook runs from its static
// destructors when the loader really unloads it.

namespace plat {
namespace {

struct LoadedModule {
  ModuleHandle handle = nullptr;
  std::string path;
  bool is_program = false;
};

bool same_ignoring_case(std::string_view a, std::string_view b) {
  return a.size() == b.size() && ::strncasecmp(a.data(), b.data(), a.size()) == 0;
}

bool has_directory_part(std::string_view name) {
  return name.find_first_of("/\\:") != std::string_view::npos;
}

// A name without any extension means a ".dll", as the system's loader takes
// it; our programs have no extension, so the name as given comes second.
std::vector<std::string> candidate_names(std::string_view name) {
  std::vector<std::string> names;
  if (path_file_name(name).find('.') == std::string_view::npos)
    names.push_back(std::string(name) + ".dll");
  names.emplace_back(name);
  return names;
}

std::string program_path() {
  std::array<char, 4096> buffer{};
  const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (length <= 0) return {};
  return std::string(buffer.data(), static_cast<std::size_t>(length));
}

std::string directory_of(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

bool is_regular_file(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::optional<std::pair<dev_t, ino_t>> file_identity(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return std::nullopt;
  return std::make_pair(info.st_dev, info.st_ino);
}

ModuleHandle handle_of_address(const void* address) {
  if (address == nullptr) return nullptr;
  Dl_info info{};
  void* link_map = nullptr;
  if (::dladdr1(address, &info, &link_map, RTLD_DL_LINKMAP) == 0) return nullptr;
  return link_map;
}

struct ObjectSeen {
  std::string name;
  std::uintptr_t first_byte = 0;
  bool is_program = false;
};

int remember_object(dl_phdr_info* info, size_t, void* context) {
  auto* seen = static_cast<std::vector<ObjectSeen>*>(context);
  for (int i = 0; i < info->dlpi_phnum; ++i) {
    const auto& header = info->dlpi_phdr[i];
    if (header.p_type != PT_LOAD || header.p_memsz == 0) continue;
    seen->push_back({info->dlpi_name ? info->dlpi_name : "", info->dlpi_addr + header.p_vaddr,
                     seen->empty()});
    break;
  }
  return 0;
}

// The objects loaded in this process now, the program first.
std::vector<LoadedModule> loaded_modules() {
  std::vector<ObjectSeen> seen;
  ::dl_iterate_phdr(remember_object, &seen);
  std::vector<LoadedModule> modules;
  for (const auto& object : seen) {
    ModuleHandle handle = handle_of_address(reinterpret_cast<const void*>(object.first_byte));
    if (handle == nullptr) continue;  // unloaded meanwhile
    if (!object.is_program && object.name.empty()) continue;
    modules.push_back({handle, object.is_program ? program_path() : object.name, object.is_program});
  }
  return modules;
}

std::optional<LoadedModule> loaded_by_handle(ModuleHandle handle) {
  for (auto& module : loaded_modules())
    if (module.handle == handle) return module;
  return std::nullopt;
}

// A bare name matches a loaded module's file name; a path matches its file.
std::optional<LoadedModule> loaded_by_name(const std::string& name) {
  const auto modules = loaded_modules();
  if (!has_directory_part(name)) {
    for (const auto& module : modules)
      if (same_ignoring_case(path_file_name(module.path), name)) return module;
    return std::nullopt;
  }
  const auto wanted = file_identity(native_path(name));
  if (!wanted) return std::nullopt;
  for (const auto& module : modules)
    if (file_identity(module.path) == wanted) return module;
  return std::nullopt;
}

// The file in `directory` whose name matches `file_name` ignoring case; an
// exact match wins over others.
std::string find_in_directory(const std::string& directory, const std::string& file_name) {
  if (directory.empty()) return {};
  const std::string exact = directory + "/" + file_name;
  if (is_regular_file(exact)) return exact;
  DIR* listing = ::opendir(directory.c_str());
  if (listing == nullptr) return {};
  std::string found;
  while (const dirent* entry = ::readdir(listing)) {
    if (!same_ignoring_case(entry->d_name, file_name)) continue;
    const std::string candidate = directory + "/" + entry->d_name;
    if (is_regular_file(candidate)) {
      found = candidate;
      break;
    }
  }
  ::closedir(listing);
  return found;
}

std::string search_library_file(const std::string& name) {
  if (has_directory_part(name)) {
    const std::string path = native_path(name);
    return is_regular_file(path) ? path : std::string();
  }
  std::string path = find_in_directory(directory_of(program_path()), name);
  if (path.empty() && !machine_dir().empty()) path = find_in_directory(system_dir(), name);
  return path;
}

}  // namespace

ModuleHandle load_library(const char* name) {
  if (name == nullptr || *name == '\0') {
    set_last_error(kErrorInvalidParameter);
    return nullptr;
  }
  std::string path;
  for (const auto& wanted : candidate_names(name)) {
    if (const auto loaded = loaded_by_name(wanted)) {
      if (loaded->is_program) return loaded->handle;
      path = loaded->path;
      break;
    }
  }
  for (const auto& wanted : candidate_names(name)) {
    if (!path.empty()) break;
    path = search_library_file(wanted);
  }
  if (path.empty()) {
    set_last_error(kErrorModNotFound);
    return nullptr;
  }
  void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    set_last_error(kErrorBadFormat);
    return nullptr;
  }
  return handle;
}

ModuleHandle find_loaded_library(const char* name) {
  if (name == nullptr || *name == '\0') {
    set_last_error(kErrorInvalidParameter);
    return nullptr;
  }
  for (const auto& wanted : candidate_names(name))
    if (const auto loaded = loaded_by_name(wanted)) return loaded->handle;
  set_last_error(kErrorModNotFound);
  return nullptr;
}

bool free_library(ModuleHandle module) {
  const auto loaded = module ? loaded_by_handle(module) : std::nullopt;
  if (!loaded) {
    set_last_error(kErrorInvalidHandle);
    return false;
  }
  if (loaded->is_program) return true;
  if (::dlclose(module) != 0) {
    set_last_error(kErrorInvalidHandle);
    return false;
  }
  return true;
}

void* get_proc_address(ModuleHandle module, const char* symbol) {
  // Small values are entry numbers, which our modules do not export.
  if (symbol == nullptr || reinterpret_cast<std::uintptr_t>(symbol) < 0x10000) {
    set_last_error(kErrorProcNotFound);
    return nullptr;
  }
  if (module == nullptr || !loaded_by_handle(module)) {
    set_last_error(kErrorInvalidHandle);
    return nullptr;
  }
  // dlsym also searches the module's dependencies; an entry point must be the
  // module's own.
  void* address = ::dlsym(module, symbol);
  if (address == nullptr || handle_of_address(address) != module) {
    set_last_error(kErrorProcNotFound);
    return nullptr;
  }
  return address;
}

std::string module_file_name(ModuleHandle module) {
  if (module == nullptr) return program_path();
  if (const auto loaded = loaded_by_handle(module)) return loaded->path;
  set_last_error(kErrorInvalidHandle);
  return {};
}

ModuleHandle module_from_address(const void* address) { return handle_of_address(address); }

namespace {

struct CodeSearch {
  std::uintptr_t address;
  bool found;
};

int find_code_segment(dl_phdr_info* info, size_t, void* context) {
  auto* search = static_cast<CodeSearch*>(context);
  for (int i = 0; i < info->dlpi_phnum; ++i) {
    const auto& header = info->dlpi_phdr[i];
    if (header.p_type != PT_LOAD || (header.p_flags & PF_X) == 0) continue;
    const std::uintptr_t start = info->dlpi_addr + header.p_vaddr;
    if (search->address >= start && search->address - start < header.p_memsz) {
      search->found = true;
      return 1;
    }
  }
  return 0;
}

}  // namespace

bool address_in_module_code(const void* address) {
  if (address == nullptr) return false;
  CodeSearch search{reinterpret_cast<std::uintptr_t>(address), false};
  ::dl_iterate_phdr(find_code_segment, &search);
  return search.found;
}

namespace detail {

ModuleEntryRegistration::ModuleEntryRegistration(const void* address_in_module, ModuleEntry entry)
    : entry(entry), self(handle_of_address(address_in_module)) {
  if (this->entry) this->entry(self, ModuleEvent::kProcessAttach);
}

ModuleEntryRegistration::~ModuleEntryRegistration() {
  if (entry) entry(self, ModuleEvent::kProcessDetach);
}

}  // namespace detail
}  // namespace plat
