// One client connection of the transport, as its reader thread and the
// workers share it.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/kernel/transport_server.h"
#include "platform/kernel/transport_wire.h"

namespace plat::kernel::transport_host {

struct OpenFile {
  void* file;
  std::uint32_t busy;  // device-control requests running on it
  bool closing;
};

struct Connection {
  int fd = -1;
  ClientInfo client{};
  std::mutex write_mutex;  // one answer at a time on the socket
  std::mutex mutex;        // files, next_file_id, in_flight
  std::condition_variable changed;
  std::map<std::uint32_t, OpenFile> files;
  std::uint32_t next_file_id = 1;
  std::uint32_t in_flight = 0;
  std::thread reader;
  std::atomic<bool> finished{false};
};

// Reader thread of a connection: handshake, then requests until the stream
// ends; then every file still open gets its close and the client's locked
// memory is released.
void serve_connection(const std::shared_ptr<Connection>& connection, const RequestSink& sink);

// Runs one request on a worker and sends its answer.
void run_request(Connection& connection, const RequestSink& sink,
                 const transport::TransportRequest& request, std::vector<std::byte> input);

}  // namespace plat::kernel::transport_host
