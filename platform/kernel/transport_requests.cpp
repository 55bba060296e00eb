// The three requests a client sends, each run on the thread that read it.
//
// The answer is built in the thread's own wire buffer: the answer header, then
// the request's system buffer, which the driver writes its output into; the
// header and the output leave in one write. Nothing is allocated per request
// once a thread's buffer has grown to the largest request it served.
#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "platform/kernel/blocking.h"
#include "platform/kernel/transport_connection.h"
#include "platform/kernel/transport_workers.h"
#include "platform/win/nt_status.h"

namespace plat::kernel::transport_host {
namespace {

using transport::RequestKind;
using transport::TransportAnswer;
using transport::TransportRequest;

constexpr std::size_t kAnswerBytes = sizeof(TransportAnswer);

thread_local std::vector<std::byte> t_wire;

// The wire buffer with room for the answer header and `body` bytes after it.
std::span<std::byte> wire_buffer(std::size_t body) {
  if (t_wire.size() < kAnswerBytes + body) t_wire.resize(kAnswerBytes + body);
  return std::span<std::byte>(t_wire.data(), kAnswerBytes + body);
}

void send_answer(Connection& connection, const TransportAnswer& answer, std::span<std::byte> wire) {
  std::memcpy(wire.data(), &answer, kAnswerBytes);
  std::lock_guard lock(connection.write_mutex);
  // A client that went away just misses its answer; its reader cleans up.
  if (connection.fd >= 0) transport::send_all(connection.fd, wire.data(), kAnswerBytes + answer.output_size);
}

ClientInfo caller_of(const Connection& connection, const TransportRequest& request) {
  ClientInfo client = connection.client;
  client.is_32bit = request.is_32bit != 0 ? 1 : 0;
  return client;
}

// A request that blocks gives the connection's reading to another thread.
struct Turn {
  const std::shared_ptr<Connection>& connection;
  bool handed_off = false;
};

void hand_off(void* context) {
  auto* turn = static_cast<Turn*>(context);
  Connection& c = *turn->connection;
  {
    std::lock_guard lock(c.mutex);
    if (c.handed_off >= max_handed_off()) return;
    ++c.handed_off;
  }
  if (transport_workers::post(turn->connection)) {
    turn->handed_off = true;
    return;
  }
  {
    std::lock_guard lock(c.mutex);
    --c.handed_off;
  }
  c.changed.notify_all();
}

void run_create(Connection& connection, const TransportRequest& request, std::span<const std::byte> input) {
  std::array<char, transport::kMaxDeviceNameBytes + 1> name{};
  std::memcpy(name.data(), input.data(), input.size());
  TransportAnswer answer{request.id, kStatusObjectNameNotFound, 0, 0, 0};
  std::span<std::byte> wire = wire_buffer(0);
  if (std::memchr(input.data(), 0, input.size()) == nullptr) {
    void* file = nullptr;
    answer.status = current_sink().create(caller_of(connection, request), name.data(), &file);
    if (nt_success(answer.status)) {
      std::lock_guard lock(connection.mutex);
      answer.file_id = connection.next_file_id++;
      connection.files[answer.file_id] = OpenFile{file, 0, false};
    }
  }
  send_answer(connection, answer, wire);
}

// Marks the file busy so that its close waits for this request; null when the
// file is not open (or being closed).
OpenFile* enter_file(Connection& connection, std::uint32_t file_id) {
  std::lock_guard lock(connection.mutex);
  auto it = connection.files.find(file_id);
  if (it == connection.files.end() || it->second.closing) return nullptr;
  ++it->second.busy;
  return &it->second;
}

void leave_file(Connection& connection, OpenFile* open_file) {
  bool idle;
  {
    std::lock_guard lock(connection.mutex);
    idle = --open_file->busy == 0 && open_file->closing;
  }
  if (idle) connection.changed.notify_all();
}

void run_device_control(Connection& connection, const TransportRequest& request,
                        std::span<const std::byte> input) {
  const std::size_t size = std::max(request.input_size, request.output_size);
  std::span<std::byte> wire = wire_buffer(size);
  std::span<std::byte> system_buffer = wire.subspan(kAnswerBytes);
  if (!input.empty()) std::memcpy(system_buffer.data(), input.data(), input.size());
  std::memset(system_buffer.data() + input.size(), 0, size - input.size());
  TransportAnswer answer{request.id, kStatusInvalidHandle, 0, request.file_id, 0};
  if (OpenFile* open_file = enter_file(connection, request.file_id)) {
    std::uint64_t information = 0;
    answer.status = current_sink().device_control(open_file->file, caller_of(connection, request), request.code,
                                                  system_buffer, request.input_size, request.output_size,
                                                  &information);
    leave_file(connection, open_file);
    answer.information = information;
    if (!transport::is_error_status(answer.status))
      answer.output_size = static_cast<std::uint32_t>(std::min<std::uint64_t>(information, request.output_size));
  }
  send_answer(connection, answer, wire);
}

void run_close(Connection& connection, const TransportRequest& request) {
  TransportAnswer answer{request.id, kStatusInvalidHandle, 0, request.file_id, 0};
  std::span<std::byte> wire = wire_buffer(0);
  void* file = nullptr;
  bool found = false;
  {
    std::unique_lock lock(connection.mutex);
    auto it = connection.files.find(request.file_id);
    if (it != connection.files.end() && !it->second.closing) {
      // The file object outlives every request still running on it.
      it->second.closing = true;
      if (it->second.busy != 0) {
        lock.unlock();
        notice_blocking();
        lock.lock();
        connection.changed.wait(lock, [&] { return it->second.busy == 0; });
      }
      file = it->second.file;
      connection.files.erase(it);
      found = true;
    }
  }
  if (found) {
    current_sink().close(file, caller_of(connection, request));
    answer.status = kStatusSuccess;
  }
  send_answer(connection, answer, wire);
}

}  // namespace

bool run_request(const std::shared_ptr<Connection>& connection, const TransportRequest& request,
                 std::span<const std::byte> input) {
  Connection& c = *connection;
  Turn turn{connection};
  {
    ScopedBlockingHandler blocking(hand_off, &turn);
    switch (request.kind) {
      case RequestKind::kCreate:
        run_create(c, request, input);
        break;
      case RequestKind::kDeviceControl:
        run_device_control(c, request, input);
        break;
      case RequestKind::kClose:
        run_close(c, request);
        break;
    }
  }
  if (!turn.handed_off) return false;
  {
    std::lock_guard lock(c.mutex);
    --c.handed_off;
  }
  c.changed.notify_all();
  return true;
}

}  // namespace plat::kernel::transport_host
