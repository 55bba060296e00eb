// A process's connection to the kernel host, shared by the threads that send
// device requests over it.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/kernel/transport_wire.h"

namespace plat::device_link {

// A request waiting for its answer, on the stack of the thread that sent it.
struct Pending;

struct Connection {
  int fd = -1;
  std::string path;
  std::mutex write_mutex;
  std::mutex mutex;  // everything below
  std::condition_variable changed;
  Pending* pending = nullptr;  // requests sent and not answered, newest first
  std::size_t pending_count = 0;
  std::uint32_t next_id = 1;
  bool reading = false;
  bool broken = false;
  // What the reader received and did not hand out yet (only the reader touches it).
  std::vector<std::byte> received;
  std::size_t received_begin = 0;
  std::size_t received_end = 0;
  std::size_t handles = 0;  // kept by the device table
  ~Connection();
};

// Connects to the host at `path`, maps the arena it hands over (once per
// arena for the life of the process) and says hello. Null when no host answers.
std::shared_ptr<Connection> connect(const std::string& path, bool is_32bit);

// One round trip: sends the request (id filled in) with its input, waits for
// the answer, whose output bytes land in `out` (request.output_size bytes of
// room). False when the connection is lost or the answer is malformed.
bool transact(Connection& connection, transport::TransportRequest request, const void* input,
              void* out, transport::TransportAnswer* answer);

bool is_broken(Connection& connection);
// Ends the connection: the host sees it close; waiting requests fail.
void disconnect(Connection& connection);

}  // namespace plat::device_link
