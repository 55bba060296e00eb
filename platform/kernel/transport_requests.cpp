// The three requests a client sends, run on the transport's workers.
#include <algorithm>
#include <string>

#include "platform/kernel/transport_connection.h"
#include "platform/win/nt_status.h"

namespace plat::kernel::transport_host {
namespace {

using transport::RequestKind;
using transport::TransportAnswer;
using transport::TransportRequest;

void send_answer(Connection& connection, const TransportAnswer& answer,
                 std::span<const std::byte> output) {
  std::lock_guard lock(connection.write_mutex);
  // A client that went away just misses its answer; its reader cleans up.
  if (transport::send_all(connection.fd, &answer, sizeof answer) && !output.empty())
    transport::send_all(connection.fd, output.data(), output.size());
}

ClientInfo caller_of(const Connection& connection, const TransportRequest& request) {
  ClientInfo client = connection.client;
  client.is_32bit = request.is_32bit != 0 ? 1 : 0;
  return client;
}

void run_create(Connection& connection, const RequestSink& sink, const TransportRequest& request,
                std::span<const std::byte> input) {
  std::string name(reinterpret_cast<const char*>(input.data()), input.size());
  TransportAnswer answer{request.id, kStatusObjectNameNotFound, 0, 0, 0};
  if (name.find('\0') == std::string::npos) {
    void* file = nullptr;
    answer.status = sink.create(caller_of(connection, request), name.c_str(), &file);
    if (nt_success(answer.status)) {
      std::lock_guard lock(connection.mutex);
      answer.file_id = connection.next_file_id++;
      connection.files[answer.file_id] = OpenFile{file, 0, false};
    }
  }
  send_answer(connection, answer, {});
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
  {
    std::lock_guard lock(connection.mutex);
    --open_file->busy;
  }
  connection.changed.notify_all();
}

void run_device_control(Connection& connection, const RequestSink& sink,
                        const TransportRequest& request, std::span<const std::byte> input) {
  TransportAnswer answer{request.id, kStatusInvalidHandle, 0, request.file_id, 0};
  std::vector<std::byte> output(request.output_size, std::byte{0});
  if (OpenFile* open_file = enter_file(connection, request.file_id)) {
    std::uint64_t information = 0;
    answer.status = sink.device_control(open_file->file, caller_of(connection, request),
                                        request.code, input, output, &information);
    leave_file(connection, open_file);
    answer.information = information;
    if (!transport::is_error_status(answer.status))
      answer.output_size =
          static_cast<std::uint32_t>(std::min<std::uint64_t>(information, output.size()));
  }
  send_answer(connection, answer,
              std::span<const std::byte>(output.data(), answer.output_size));
}

void run_close(Connection& connection, const RequestSink& sink, const TransportRequest& request) {
  TransportAnswer answer{request.id, kStatusInvalidHandle, 0, request.file_id, 0};
  void* file = nullptr;
  bool found = false;
  {
    std::unique_lock lock(connection.mutex);
    auto it = connection.files.find(request.file_id);
    if (it != connection.files.end() && !it->second.closing) {
      // The file object outlives every request still running on it.
      it->second.closing = true;
      connection.changed.wait(lock, [&] { return it->second.busy == 0; });
      file = it->second.file;
      connection.files.erase(it);
      found = true;
    }
  }
  if (found) {
    sink.close(file, caller_of(connection, request));
    answer.status = kStatusSuccess;
  }
  send_answer(connection, answer, {});
}

}  // namespace

void run_request(Connection& connection, const RequestSink& sink, const TransportRequest& request,
                 std::vector<std::byte> input) {
  switch (request.kind) {
    case RequestKind::kCreate:
      run_create(connection, sink, request, input);
      break;
    case RequestKind::kDeviceControl:
      run_device_control(connection, sink, request, input);
      break;
    case RequestKind::kClose:
      run_close(connection, sink, request);
      break;
  }
}

}  // namespace plat::kernel::transport_host
