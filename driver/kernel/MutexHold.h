// Holds a kernel mutex for a scope. The wait has no time-out and is repeated
// until the mutex is taken.
#pragma once

#include "platform/kernel/sync.h"
#include "platform/win/nt_status.h"

class YatMutexHold {
 public:
  explicit YatMutexHold(plat::kernel::KernelMutex* mutex) : mutex_(mutex) {
    while (!plat::nt_success(plat::kernel::wait_for_object(mutex_, nullptr))) {
    }
  }
  ~YatMutexHold() { plat::kernel::release_mutex(mutex_); }
  YatMutexHold(const YatMutexHold&) = delete;
  YatMutexHold& operator=(const YatMutexHold&) = delete;

 private:
  plat::kernel::KernelMutex* mutex_;
};
