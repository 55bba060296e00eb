// Processes and threads as the machine sees them.
#pragma once

#include <cstdint>
#include <vector>

namespace plat {

// A process is known by its id and its start time, so a reused pid is never
// mistaken for a process that died.
struct ProcessIdentity {
  std::int32_t pid;
  std::uint32_t reserved;
  std::uint64_t start_time;  // clock ticks since boot, from /proc/<pid>/stat
};
static_assert(sizeof(ProcessIdentity) == 16);

ProcessIdentity current_process();
// Start time of a running process; 0 when there is no such process.
std::uint64_t process_start_time(std::int32_t pid);
bool is_process_alive(const ProcessIdentity& process);
// True while a process with this id runs (whatever its start time).
bool is_process_id_alive(std::int32_t pid);

// Machine-wide thread id (the Linux thread id).
std::uint32_t current_thread_id();
// Start time of a running thread (clock ticks since boot); 0 when there is no
// such thread. With the id it names one thread for good, as ProcessIdentity
// names a process.
std::uint64_t thread_start_time(std::uint32_t tid);
std::uint64_t current_thread_start_time();
// The thread ids of a process (the calling one when pid is 0).
std::vector<std::uint32_t> list_process_threads(std::int32_t pid = 0);

// Thread priorities on the platform's scale (-15 idle .. 15 time critical,
// 0 normal). Recorded per thread, applied as far as the system allows.
inline constexpr int kThreadPriorityIdle = -15;
inline constexpr int kThreadPriorityLowest = -2;
inline constexpr int kThreadPriorityBelowNormal = -1;
inline constexpr int kThreadPriorityNormal = 0;
inline constexpr int kThreadPriorityAboveNormal = 1;
inline constexpr int kThreadPriorityHighest = 2;
inline constexpr int kThreadPriorityTimeCritical = 15;
bool set_thread_priority(int priority);  // the calling thread
int thread_priority();                   // the calling thread's recorded priority

}  // namespace plat
