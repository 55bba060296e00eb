// The transport's fixed pool of worker threads: requests of every client run
// here, so a request that waits on hardware holds one worker, never a socket,
// and no thread is made per request.
#pragma once

#include <cstddef>
#include <functional>

namespace plat::kernel::transport_workers {

void start(std::size_t count);
// Runs `job` on a worker; false (job dropped) when the pool is stopped.
bool post(std::function<void()> job);
// Lets the queued jobs finish, then joins the workers.
void stop();

}  // namespace plat::kernel::transport_workers
