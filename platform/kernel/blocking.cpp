#include "platform/kernel/blocking.h"

namespace plat::kernel {

namespace {
thread_local BlockingHandler t_handler = nullptr;
thread_local void* t_context = nullptr;
}  // namespace

void notice_blocking() {
  BlockingHandler handler = t_handler;
  if (handler == nullptr) return;
  // Once is enough: the connection has moved on.
  t_handler = nullptr;
  handler(t_context);
}

ScopedBlockingHandler::ScopedBlockingHandler(BlockingHandler handler, void* context)
    : previous_handler_(t_handler), previous_context_(t_context) {
  t_handler = handler;
  t_context = context;
}

ScopedBlockingHandler::~ScopedBlockingHandler() {
  t_handler = previous_handler_;
  t_context = previous_context_;
}

}  // namespace plat::kernel
