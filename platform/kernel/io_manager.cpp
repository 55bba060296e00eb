#include "platform/kernel/io_manager.h"

#include <algorithm>
#include <limits>
#include <vector>

#include "platform/kernel/client.h"
#include "platform/kernel/device_internal.h"
#include "platform/kernel/objects.h"

namespace plat::kernel {

namespace {

NtStatus sink_create(const ClientInfo& client, const char* device_name, void** file) {
  if (file == nullptr) return kStatusInvalidParameter;
  ScopedClient scope(&client);
  DeviceObject* named = find_device_by_user_name(device_name);
  if (named == nullptr) return kStatusObjectNameNotFound;
  DeviceObject* top = get_attached_device_reference(named);
  FileObject* opened = nullptr;
  NtStatus status = detail::open_file_object(top, &client, false, &opened);
  dereference_object(top);
  if (nt_success(status)) *file = opened;
  return status;
}

NtStatus sink_device_control(void* file, const ClientInfo& client, std::uint32_t code, std::span<std::byte> buffer,
                             std::uint32_t input_size, std::uint32_t output_size, std::uint64_t* information) {
  if (information) *information = 0;
  auto* opened = static_cast<FileObject*>(file);
  if (opened == nullptr) return kStatusInvalidHandle;
  if (buffer.size() < std::max(input_size, output_size)) return kStatusInvalidParameter;
  ScopedClient scope(&client);
  KernelEvent event;
  initialize_event(&event, EventType::kNotification, false);
  IoStatusBlock io_status{};
  Irp* irp = detail::build_user_device_control_request(opened, &client, code, buffer.data(), input_size,
                                                       output_size, &event, &io_status);
  if (irp == nullptr) return kStatusInsufficientResources;
  // The request is finished once its event is set, whatever the dispatch answered.
  call_driver(opened->device, irp);
  wait_for_object(&event, nullptr);
  NtStatus status = io_status.status;
  free_irp(irp);
  if (information) *information = std::min<std::uint64_t>(io_status.information, output_size);
  return status;
}

void sink_close(void* file, const ClientInfo& client) {
  auto* opened = static_cast<FileObject*>(file);
  if (opened == nullptr) return;
  ScopedClient scope(&client);
  dereference_object(opened);
}

const RequestSink kSink{sink_create, sink_device_control, sink_close};

}  // namespace

const RequestSink& kernel_request_sink() { return kSink; }

NtStatus kernel_device_control(void* file, const ClientInfo& client, std::uint32_t code,
                               std::span<const std::byte> input, std::span<std::byte> output,
                               std::uint64_t* information) {
  if (information) *information = 0;
  constexpr std::size_t kMax = std::numeric_limits<std::uint32_t>::max();
  if (input.size() > kMax || output.size() > kMax) return kStatusInvalidParameter;
  std::vector<std::byte> buffer(std::max(input.size(), output.size()));
  std::copy(input.begin(), input.end(), buffer.begin());
  std::uint64_t count = 0;
  const NtStatus status = sink_device_control(file, client, code, buffer, static_cast<std::uint32_t>(input.size()),
                                              static_cast<std::uint32_t>(output.size()), &count);
  if ((static_cast<std::uint32_t>(status) >> 30) != 3)
    std::copy_n(buffer.begin(), std::min<std::uint64_t>(count, output.size()), output.begin());
  if (information) *information = count;
  return status;
}

}  // namespace plat::kernel
