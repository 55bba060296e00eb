#include "platform/win/registry_store.h"

#include <cerrno>

#include "platform/win/errors.h"
#include "platform/win/machine.h"
#include "platform/win/registry_file.h"
#include "platform/win/registry_text.h"

namespace plat {
namespace {

std::string registry_file() { return machine_path("registry.reg"); }

std::uint32_t error_from_errno(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return kErrorPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
      return kErrorAccessDenied;
    case ENOMEM:
      return kErrorNotEnoughMemory;
    default:
      return kErrorGenFailure;
  }
}

}  // namespace

std::uint32_t load_registry(RegistryTree& tree) {
  tree = RegistryTree{};
  if (machine_dir().empty()) return kErrorPathNotFound;
  std::string text;
  switch (read_whole_file(registry_file(), text)) {
    case FileRead::kMissing:
      return kErrorSuccess;
    case FileRead::kFailed:
      return error_from_errno(errno);
    case FileRead::kRead:
      break;
  }
  parse_registry(text, tree);
  return kErrorSuccess;
}

std::uint32_t update_registry(
    const std::function<std::uint32_t(RegistryTree&, bool* changed)>& change) {
  if (machine_dir().empty()) return kErrorPathNotFound;
  std::uint32_t result = kErrorSuccess;
  int error = update_file_locked(registry_file(), true, [&](std::string& text) {
    RegistryTree tree;
    parse_registry(text, tree);
    bool changed = false;
    result = change(tree, &changed);
    if (!changed) return false;
    text = format_registry(tree);
    return true;
  });
  return error != 0 ? error_from_errno(error) : result;
}

}  // namespace plat
