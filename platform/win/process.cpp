#include "platform/win/process.h"

#include <dirent.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/win/errors.h"

namespace plat {
namespace {

// Reads a /proc stat file and answers the start time (field 22), or 0 when the
// file is missing or the task has ended (zombie or dead: it runs no more).
std::uint64_t start_time_from_stat(const char* path) {
  std::FILE* file = std::fopen(path, "re");
  if (file == nullptr) return 0;
  std::array<char, 1024> text{};
  std::size_t length = std::fread(text.data(), 1, text.size() - 1, file);
  std::fclose(file);
  text[length] = '\0';
  // The command name sits in parentheses and may itself hold spaces or ')'.
  const char* end_of_name = std::strrchr(text.data(), ')');
  if (end_of_name == nullptr) return 0;
  const char* cursor = end_of_name + 1;
  char state = 0;
  std::uint64_t start = 0;
  // After the name: field 3 (state) ... field 22 (start time).
  for (int field = 3; field <= 22; ++field) {
    while (*cursor == ' ') ++cursor;
    if (*cursor == '\0') return 0;
    if (field == 3) state = *cursor;
    if (field == 22) start = std::strtoull(cursor, nullptr, 10);
    while (*cursor != ' ' && *cursor != '\0') ++cursor;
  }
  if (state == 'Z' || state == 'X' || state == 'x') return 0;
  return start;
}

int nice_value_for(int priority) {
  if (priority <= kThreadPriorityIdle) return 19;
  if (priority >= kThreadPriorityTimeCritical) return -20;
  // Each step of the platform's scale is worth five nice levels.
  return std::clamp(-5 * priority, -15, 15);
}

thread_local int recorded_priority = kThreadPriorityNormal;

}  // namespace

std::uint64_t process_start_time(std::int32_t pid) {
  if (pid <= 0) return 0;
  std::string path = "/proc/" + std::to_string(pid) + "/stat";
  return start_time_from_stat(path.c_str());
}

ProcessIdentity current_process() {
  // A forked child has a new pid, so the cache is checked against getpid().
  static thread_local ProcessIdentity cache{};
  std::int32_t pid = ::getpid();
  if (cache.pid != pid || cache.start_time == 0) cache = ProcessIdentity{pid, 0, process_start_time(pid)};
  return cache;
}

bool is_process_alive(const ProcessIdentity& process) {
  if (process.pid <= 0 || process.start_time == 0) return false;
  // Our own process is asked about on every lock check of a busy path; its
  // start time is known without reading /proc again.
  if (process.pid == ::getpid()) return current_process().start_time == process.start_time;
  return process_start_time(process.pid) == process.start_time;
}

bool is_process_id_alive(std::int32_t pid) { return process_start_time(pid) != 0; }

std::uint32_t current_thread_id() { return static_cast<std::uint32_t>(::gettid()); }

std::uint64_t thread_start_time(std::uint32_t tid) {
  if (tid == 0 || tid > 0x7FFFFFFFu) return 0;
  std::string id = std::to_string(tid);
  std::string path = "/proc/" + id + "/task/" + id + "/stat";
  return start_time_from_stat(path.c_str());
}

std::uint64_t current_thread_start_time() {
  static thread_local std::uint32_t cached_tid = 0;
  static thread_local std::uint64_t cached_start = 0;
  std::uint32_t tid = current_thread_id();
  if (tid != cached_tid || cached_start == 0) {
    cached_tid = tid;
    cached_start = thread_start_time(tid);
  }
  return cached_start;
}

std::vector<std::uint32_t> list_process_threads(std::int32_t pid) {
  std::vector<std::uint32_t> threads;
  if (pid < 0) return threads;
  if (pid == 0) pid = ::getpid();
  std::string path = "/proc/" + std::to_string(pid) + "/task";
  DIR* dir = ::opendir(path.c_str());
  if (dir == nullptr) return threads;
  while (const dirent* entry = ::readdir(dir)) {
    char* end = nullptr;
    unsigned long tid = std::strtoul(entry->d_name, &end, 10);
    if (end != entry->d_name && *end == '\0' && tid > 0) threads.push_back(static_cast<std::uint32_t>(tid));
  }
  ::closedir(dir);
  std::sort(threads.begin(), threads.end());
  return threads;
}

bool set_thread_priority(int priority) {
  if (priority < kThreadPriorityIdle || priority > kThreadPriorityTimeCritical) {
    set_last_error(kErrorInvalidParameter);
    return false;
  }
  recorded_priority = priority;
  // Raising a thread above normal needs a privilege we may not have; the
  // recorded value still answers thread_priority().
  ::setpriority(PRIO_PROCESS, static_cast<id_t>(current_thread_id()), nice_value_for(priority));
  return true;
}

int thread_priority() { return recorded_priority; }

}  // namespace plat
