#include "platform/kernel/irql.h"

#include <cstdio>
#include <cstdlib>

namespace plat::kernel {

namespace {
thread_local Irql t_irql = kPassiveLevel;
}

Irql current_irql() { return t_irql; }

void raise_irql(Irql new_level, Irql* old) {
  if (old) *old = t_irql;
  if (new_level > t_irql) t_irql = new_level;
}

void lower_irql(Irql old) { t_irql = old; }

void check_may_block(const char* what) {
#ifndef NDEBUG
  if (t_irql >= kDispatchLevel) {
    std::fprintf(stderr, "kernel-host: %s at level %u: a DPC or interrupt routine must not block\n",
                 what, static_cast<unsigned>(t_irql));
    std::abort();
  }
#else
  (void)what;
#endif
}

}  // namespace plat::kernel
