// A client's request runs on the thread that read it from the client's
// connection. Before such a thread first sleeps or spins waiting on hardware,
// it gives the connection's reading to another thread, so that the client's
// other threads keep being served meanwhile (transport_server.h). Kernel
// waits that sleep, sleeps, stalls and DPC flushes say so themselves; any
// other code that waits while it serves a request (a test's request sink
// waiting on its own condition) calls notice_blocking first.
#pragma once

namespace plat::kernel {

// Runs the calling thread's blocking handler once; nothing outside a request.
void notice_blocking();

using BlockingHandler = void (*)(void* context);

// The transport: what notice_blocking does on this thread while the object lives.
class ScopedBlockingHandler {
 public:
  ScopedBlockingHandler(BlockingHandler handler, void* context);
  ~ScopedBlockingHandler();
  ScopedBlockingHandler(const ScopedBlockingHandler&) = delete;
  ScopedBlockingHandler& operator=(const ScopedBlockingHandler&) = delete;

 private:
  BlockingHandler previous_handler_;
  void* previous_context_;
};

}  // namespace plat::kernel
