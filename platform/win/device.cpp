// Device handles of a process, over its one connection to the kernel host
// (device_connection.h).
#include "platform/win/device.h"

#include <atomic>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/win/device_connection.h"
#include "platform/win/errors.h"
#include "platform/win/machine.h"
#include "platform/win/nt_status.h"

namespace plat {
namespace {

using device_link::Connection;
using transport::RequestKind;
using transport::TransportAnswer;
using transport::TransportRequest;

struct OpenDevice {
  std::shared_ptr<Connection> connection;
  std::uint32_t file_id;
};

struct Devices {
  std::mutex mutex;
  std::shared_ptr<Connection> current;
  std::map<Handle, OpenDevice> open;
  std::uint32_t next_index = 1;
};

Devices& devices() {
  static Devices instance;
  return instance;
}

std::atomic<bool> g_caller_is_32bit{false};

// close_handle reaches our handles from the start, even before any open.
[[maybe_unused]] const bool g_closer_installed = (set_device_handle_closer(close_device), true);

std::uint32_t win32_error_of(NtStatus status) {
  switch (static_cast<std::uint32_t>(status)) {
    case static_cast<std::uint32_t>(kStatusInvalidParameter):
      return kErrorInvalidParameter;
    case static_cast<std::uint32_t>(kStatusBufferTooSmall):
      return kErrorInsufficientBuffer;
    case static_cast<std::uint32_t>(kStatusBufferOverflow):
      return kErrorMoreData;
    case static_cast<std::uint32_t>(kStatusInvalidDeviceRequest):
    case static_cast<std::uint32_t>(kStatusNotImplemented):
      return kErrorInvalidFunction;
    case static_cast<std::uint32_t>(kStatusObjectNameNotFound):
    case static_cast<std::uint32_t>(kStatusNoSuchDevice):
      return kErrorFileNotFound;
    case static_cast<std::uint32_t>(kStatusInvalidHandle):
      return kErrorInvalidHandle;
    case static_cast<std::uint32_t>(kStatusNoMemory):
      return kErrorNotEnoughMemory;
    case static_cast<std::uint32_t>(kStatusNotSupported):
      return kErrorNotSupported;
    case static_cast<std::uint32_t>(kStatusDeviceNotConnected):
      return kErrorDeviceNotConnected;
    default:
      return kErrorGenFailure;
  }
}

// The connection for a new open, with one handle reserved on it: the current
// one while it lasts and serves this machine, else a new one.
std::shared_ptr<Connection> reserve_connection() {
  Devices& d = devices();
  std::string path = machine_path(transport::kSocketName);
  std::lock_guard lock(d.mutex);
  if (!d.current || d.current->path != path || device_link::is_broken(*d.current))
    d.current = device_link::connect(path, g_caller_is_32bit);
  if (d.current) ++d.current->handles;
  return d.current;
}

// The last handle gone: the host sees the connection end and cleans up.
void release_connection(const std::shared_ptr<Connection>& connection) {
  Devices& d = devices();
  std::lock_guard lock(d.mutex);
  if (--connection->handles > 0) return;
  device_link::disconnect(*connection);
  if (d.current == connection) d.current.reset();
}

bool valid_device_name(const char* name) {
  if (name == nullptr || std::strncmp(name, "\\\\.\\", 4) != 0) return false;
  std::size_t length = std::strlen(name);
  return length > 4 && length <= transport::kMaxDeviceNameBytes;
}

bool find_device(Handle handle, OpenDevice* device) {
  Devices& d = devices();
  std::lock_guard lock(d.mutex);
  auto it = d.open.find(handle);
  if (it == d.open.end()) return false;
  *device = it->second;
  return true;
}

Handle register_device(std::shared_ptr<Connection> connection, std::uint32_t file_id) {
  Devices& d = devices();
  std::lock_guard lock(d.mutex);
  Handle handle;
  do {
    handle = kDeviceHandleBit | d.next_index;
    d.next_index = d.next_index >= kDeviceHandleBit - 1 ? 1 : d.next_index + 1;
  } while (d.open.count(handle) != 0);
  d.open[handle] = OpenDevice{std::move(connection), file_id};
  return handle;
}

TransportRequest make_request(RequestKind kind, std::uint32_t file_id) {
  TransportRequest request{};
  request.kind = kind;
  request.file_id = file_id;
  request.is_32bit = g_caller_is_32bit ? 1 : 0;
  return request;
}

}  // namespace

Handle open_device(const char* name) {
  if (!valid_device_name(name)) {
    set_last_error(kErrorFileNotFound);
    return kNullHandle;
  }
  std::shared_ptr<Connection> connection = reserve_connection();
  if (!connection) {
    set_last_error(kErrorFileNotFound);
    return kNullHandle;
  }
  TransportRequest request = make_request(RequestKind::kCreate, 0);
  request.input_size = static_cast<std::uint32_t>(std::strlen(name));
  TransportAnswer answer{};
  if (!device_link::transact(*connection, request, name, nullptr, &answer) ||
      !nt_success(answer.status)) {
    bool answered = answer.id != 0;
    release_connection(connection);
    set_last_error(answered ? win32_error_of(answer.status) : kErrorGenFailure);
    return kNullHandle;
  }
  set_last_error(kErrorSuccess);
  return register_device(std::move(connection), answer.file_id);
}

bool device_io_control(Handle device, std::uint32_t code, const void* in, std::uint32_t in_size,
                       void* out, std::uint32_t out_size, std::uint32_t* bytes_returned) {
  if (bytes_returned != nullptr) *bytes_returned = 0;
  OpenDevice open_device{};
  if (!find_device(device, &open_device)) {
    set_last_error(kErrorInvalidHandle);
    return false;
  }
  if ((in == nullptr && in_size != 0) || (out == nullptr && out_size != 0) ||
      in_size > transport::kMaxInputBytes || out_size > transport::kMaxOutputBytes) {
    set_last_error(kErrorInvalidParameter);
    return false;
  }
  TransportRequest request = make_request(RequestKind::kDeviceControl, open_device.file_id);
  request.code = code;
  request.input_size = in_size;
  request.output_size = out_size;
  TransportAnswer answer{};
  if (!device_link::transact(*open_device.connection, request, in, out, &answer)) {
    set_last_error(kErrorGenFailure);
    return false;
  }
  if (!transport::is_error_status(answer.status) && bytes_returned != nullptr)
    *bytes_returned = answer.output_size;
  // Success and information statuses are non-negative; warnings fail but carry data.
  set_last_error(nt_success(answer.status) ? kErrorSuccess : win32_error_of(answer.status));
  return nt_success(answer.status);
}

bool close_device(Handle device) {
  OpenDevice open_device{};
  {
    Devices& d = devices();
    std::lock_guard lock(d.mutex);
    auto it = d.open.find(device);
    if (it == d.open.end()) {
      set_last_error(kErrorInvalidHandle);
      return false;
    }
    open_device = std::move(it->second);
    d.open.erase(it);
  }
  TransportAnswer answer{};
  // A host that went away has already closed everything of ours.
  device_link::transact(*open_device.connection,
                        make_request(RequestKind::kClose, open_device.file_id), nullptr, nullptr,
                        &answer);
  release_connection(open_device.connection);
  return true;
}

void set_device_caller_width(bool is_32bit) { g_caller_is_32bit = is_32bit; }

}  // namespace plat
