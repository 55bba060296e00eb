// System threads of drivers. The thread object is a dispatcher object,
// signalled when the thread ends; the creator holds one reference.
#pragma once

#include <cstdint>

#include "platform/kernel/sync.h"

namespace plat::kernel {

struct KernelThread;
using ThreadRoutine = void (*)(void* context);

// Priorities on the kernel's scale: 0 lowest .. 31 highest, 8 normal, 16 and
// up real-time (recorded; applied as far as the system allows).
inline constexpr int kLowPriority = 0;
inline constexpr int kNormalPriority = 8;
inline constexpr int kLowRealtimePriority = 16;
inline constexpr int kHighPriority = 31;

// *out is a referenced thread object: wait on it with wait_for_object, drop it
// with dereference_thread.
NtStatus create_system_thread(KernelThread** out, ThreadRoutine routine, void* context);
void dereference_thread(KernelThread* thread);
// Answers the previous priority.
int set_thread_priority(KernelThread* thread, int priority);
int thread_priority(const KernelThread* thread);
// Null on threads not made by create_system_thread.
KernelThread* current_thread();
// Ends the calling system thread.
[[noreturn]] void terminate_system_thread(NtStatus status);

}  // namespace plat::kernel
