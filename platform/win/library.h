// Loading of libraries by their Windows-style names ("QelLog.dll",
// "Stavro.SYS"): found case-insensitively in the program's folder, then in the
// machine's system directory; an absolute path is taken as it is.
#pragma once

#include <cstdint>
#include <string>

namespace plat {

// Opaque module handle; the same value for every load of one module in a process.
using ModuleHandle = void*;

// Loads the library (or takes another reference to it). Null with
// kErrorModNotFound when no file matches, kErrorBadFormat when it cannot load.
ModuleHandle load_library(const char* name);
// The module when it is already loaded in this process, without loading it.
ModuleHandle find_loaded_library(const char* name);
// Drops one reference; the last one runs the detach hook and unloads.
bool free_library(ModuleHandle module);
// Null (kErrorProcNotFound) when the module has no such entry point.
void* get_proc_address(ModuleHandle module, const char* symbol);

// Full native path of the module's file; for a null module, the program's.
// Empty (kErrorInvalidHandle) for an unknown module.
std::string module_file_name(ModuleHandle module);
// The module that contains an address (code or data), null when none.
ModuleHandle module_from_address(const void* address);
// True when the address lies in the code of a module loaded in this process
// (the program's included): the one kind of address worth calling.
bool address_in_module_code(const void* address);

// Load and unload hooks. A module declares
//   PLAT_MODULE_ENTRY(my_entry)
// with `bool my_entry(plat::ModuleHandle self, plat::ModuleEvent event)`;
// it runs when the module is loaded into a process (however it was loaded)
// and when it is unloaded or the process ends normally.
enum class ModuleEvent : std::uint32_t { kProcessAttach = 1, kProcessDetach = 0 };
using ModuleEntry = bool (*)(ModuleHandle self, ModuleEvent event);

namespace detail {
struct ModuleEntryRegistration {
  ModuleEntryRegistration(const void* address_in_module, ModuleEntry entry);
  ~ModuleEntryRegistration();
  ModuleEntry entry;
  ModuleHandle self;
};
}  // namespace detail

}  // namespace plat

#define PLAT_MODULE_ENTRY(fn)                                                      \
  namespace {                                                                      \
  ::plat::detail::ModuleEntryRegistration plat_module_entry_registration_{         \
      reinterpret_cast<const void*>(&fn), &fn};                                    \
  }
