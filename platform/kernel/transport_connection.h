// One client connection of the transport, as the threads that take turns
// reading it and the requests running on them share it.
//
// Lock order: Connection::mutex and Connection::write_mutex are never held
// together; the worker pool's lock (transport_workers.cpp) is taken with
// neither held.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

#include "platform/kernel/transport_server.h"
#include "platform/kernel/transport_wire.h"

namespace plat::kernel::transport_host {

struct OpenFile {
  void* file;
  std::uint32_t busy;  // device-control requests running on it
  bool closing;
};

// What was read from the socket and not yet taken as requests; only the
// thread whose turn it is to read touches it.
struct ReadBuffer {
  std::vector<std::byte> bytes;
  std::size_t begin = 0;
  std::size_t end = 0;
};

struct Connection {
  int fd = -1;
  ClientInfo client{};
  bool greeted = false;  // handshake done (the reading turn's)
  ReadBuffer received;
  std::mutex write_mutex;  // one answer at a time on the socket; fd's closing
  std::mutex mutex;        // files, next_file_id, handed_off
  std::condition_variable changed;
  std::map<std::uint32_t, OpenFile> files;
  std::uint32_t next_file_id = 1;
  std::uint32_t handed_off = 0;  // requests running on threads that gave the reading away
};

// A turn at reading a connection, on a thread of the pool: the handshake the
// first time, then requests, each run where it was read, until the stream
// ends (the connection is then closed down) or a request blocks (the reading
// has passed to another thread; this one answers its request and returns).
void serve_turn(const std::shared_ptr<Connection>& connection);

// Runs one request read from the connection and sends its answer. Answers
// whether the request blocked and passed the reading to another thread (the
// calling thread's turn is then over). The input is copied before the request
// runs, so the read buffer is free for the next reader.
bool run_request(const std::shared_ptr<Connection>& connection, const transport::TransportRequest& request,
                 std::span<const std::byte> input);

// The sink the transport serves with.
const RequestSink& current_sink();
// Requests of one connection that may be blocked at once.
std::uint32_t max_handed_off();

// The client-memory copies check a connection's process once: from the
// handshake until the connection ends.
void client_identity_confirmed(const ClientInfo& client);
void client_identity_forgotten(const ClientInfo& client);

}  // namespace plat::kernel::transport_host
