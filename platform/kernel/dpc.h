// Deferred procedure calls: run one at a time on the kernel's DPC thread at
// dispatch level. A DPC queued again before it ran runs once.
#pragma once

#include <cstdint>

namespace plat::kernel {

struct Dpc;
using DpcRoutine = void (*)(Dpc* dpc, void* context, void* argument1, void* argument2);

enum class DpcImportance : std::uint8_t { kLow = 0, kMedium = 1, kHigh = 2 };

struct Dpc {
  DpcRoutine routine;
  void* context;
  void* argument1;
  void* argument2;
  DpcImportance importance;
  bool queued;  // guarded by the DPC queue's lock
};

void initialize_dpc(Dpc* dpc, DpcRoutine routine, void* context);
void set_dpc_importance(Dpc* dpc, DpcImportance importance);
// False when the DPC was already queued (its arguments stay those of the first queueing).
bool queue_dpc(Dpc* dpc, void* argument1, void* argument2);
// False when it was not queued.
bool remove_queued_dpc(Dpc* dpc);
// Waits until every DPC queued before the call has run.
void flush_queued_dpcs();

// Stops the DPC thread (the kernel host's shutdown; tests). It restarts on the next queueing.
void stop_dpc_thread();

}  // namespace plat::kernel
