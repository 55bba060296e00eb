// The transport's threads: each takes turns reading a connection and running
// its requests (transport_server.h). A thread is made only when a turn finds
// every thread busy (a new connection, or a request that blocks while none is
// free); it stays for later turns, so none is made per request.
#pragma once

#include <cstddef>
#include <memory>

#include "platform/kernel/transport_connection.h"

namespace plat::kernel::transport_workers {

void start(std::size_t initial_threads);
// A turn at reading `connection` on a free thread. False (nothing posted)
// when the pool is stopped or has no thread and cannot make one.
bool post(std::shared_ptr<transport_host::Connection> connection);
// Lets the posted turns run, then joins the threads.
void stop();

}  // namespace plat::kernel::transport_workers
