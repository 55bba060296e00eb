// A named mutex of the detection held for a scope: taken through
// SharedMutexLock (any process may open it; 20000 ms; an abandoned one counts
// as taken), released and closed when the scope ends. Not obtained, it holds
// nothing and releasing it does nothing.
#pragma once

#include "platform/win/objects.h"
#include "qellib/QelSharedMutex.h"

class AcqHostMutex {
 public:
  AcqHostMutex(const char* name, const char* owner) : handle_(SharedMutexLock(name, owner)) {}
  ~AcqHostMutex() { release(); }
  AcqHostMutex(const AcqHostMutex&) = delete;
  AcqHostMutex& operator=(const AcqHostMutex&) = delete;

  bool held() const { return handle_ != plat::kNullHandle; }
  void release() {
    if (handle_ == plat::kNullHandle) return;
    plat::release_mutex(handle_);
    plat::close_handle(handle_);
    handle_ = plat::kNullHandle;
  }

 private:
  plat::Handle handle_;
};
