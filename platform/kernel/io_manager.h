// The I/O manager of the kernel host: turns the transport's requests (open of
// "\\.\NAME", device control, close) into requests to the device stacks.
#pragma once

#include "platform/kernel/irp.h"
#include "platform/kernel/transport_server.h"

namespace plat::kernel {

const RequestSink& kernel_request_sink();

namespace detail {
Irp* build_user_device_control_request(FileObject* file, const ClientInfo* client, std::uint32_t code,
                                       const void* input, std::uint32_t input_length, void* output,
                                       std::uint32_t output_length, KernelEvent* event,
                                       IoStatusBlock* io_status);
}  // namespace detail

}  // namespace plat::kernel
