#include "platform/win/paths.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "platform/win/machine.h"

namespace plat {
namespace {

bool is_separator(char c) { return c == '\\' || c == '/'; }

bool is_drive_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool same_ignoring_case(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return lower(x) == lower(y); });
}

bool exists(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

// The entry of `directory` spelled like `name` apart from case; the smallest
// such spelling when several differ only in case, so the answer is stable.
std::string find_entry(const std::string& directory, const std::string& name) {
  if (exists(directory + "/" + name)) return name;
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(directory.c_str()), ::closedir);
  if (!dir) return {};
  std::string best;
  while (const dirent* entry = ::readdir(dir.get())) {
    std::string_view candidate = entry->d_name;
    if (same_ignoring_case(candidate, name) && (best.empty() || candidate < best)) best = candidate;
  }
  return best;
}

std::vector<std::string> split(std::string_view path) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = start;
    while (end < path.size() && !is_separator(path[end])) ++end;
    if (end > start) parts.emplace_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

// Appends the components to base, "." and ".." resolved without climbing
// above base; components found on disk take their spelling there, and once one
// is missing the rest stay as given.
std::string resolve_below(std::string base, std::string_view rest) {
  std::vector<std::string> resolved;
  for (std::string& part : split(rest)) {
    if (part == ".") continue;
    if (part == "..") {
      if (!resolved.empty()) resolved.pop_back();
      continue;
    }
    resolved.push_back(std::move(part));
  }
  bool matching = true;
  for (const std::string& part : resolved) {
    std::string found = matching ? find_entry(base.empty() ? "/" : base, part) : std::string();
    matching = !found.empty();
    base += '/';
    base += matching ? found : part;
  }
  return base;
}

// Without its trailing slash, so "/" is empty.
std::string current_directory() {
  std::vector<char> buffer(4096);
  while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (buffer.size() > (1u << 20)) return "/";
    buffer.resize(buffer.size() * 2);
  }
  std::string cwd = buffer.data();
  if (cwd == "/") cwd.clear();
  return cwd;
}

}  // namespace

std::string native_path(std::string_view path) {
  if (path.empty()) return {};
  if (path.front() == '/') {
    // A native path built the Windows way ("<dir>\<file>") still names a file
    // in <dir>: both separators separate here too.
    std::string native(path);
    std::replace(native.begin(), native.end(), '\\', '/');
    return native;
  }
  if (path.size() >= 2 && is_drive_letter(path[0]) && path[1] == ':') {
    std::string drive = machine_path("drives/") + lower(path[0]);
    return resolve_below(std::move(drive), path.substr(2));
  }
  if (path.size() >= 2 && path[0] == '\\' && is_separator(path[1]))
    return resolve_below(machine_path("unc"), path.substr(2));
  // A path from the root of the current drive: our current drive is C.
  if (is_separator(path.front())) return resolve_below(machine_path("drives/c"), path);
  return resolve_below(std::string(), current_directory() + "/" + std::string(path));
}

std::string_view path_file_name(std::string_view path) {
  std::size_t cut = path.find_last_of("\\/");
  if (cut != std::string_view::npos) return path.substr(cut + 1);
  if (path.size() >= 2 && is_drive_letter(path[0]) && path[1] == ':') return path.substr(2);
  return path;
}

}  // namespace plat
