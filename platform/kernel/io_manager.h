// The I/O manager of the kernel host: turns the transport's requests (open of
// "\\.\NAME", device control, close) into requests to the device stacks.
#pragma once

#include <cstddef>
#include <span>

#include "platform/kernel/irp.h"
#include "platform/kernel/transport_server.h"

namespace plat::kernel {

const RequestSink& kernel_request_sink();

// A device-control request from inside the host (tests) with its input and
// output apart, as a client process sees it: the output buffer receives the
// first *information bytes (at most its size) unless the status is an error.
NtStatus kernel_device_control(void* file, const ClientInfo& client, std::uint32_t code,
                               std::span<const std::byte> input, std::span<std::byte> output,
                               std::uint64_t* information);

namespace detail {
// A client's device-control request over a system buffer the transport owns
// (max(input, output) bytes, input first): the output stays in it, nothing is
// copied back. Built in the calling thread's own request storage when it is
// free, so nothing is allocated; free it with free_irp.
Irp* build_user_device_control_request(FileObject* file, const ClientInfo* client, std::uint32_t code,
                                       void* system_buffer, std::uint32_t input_length,
                                       std::uint32_t output_length, KernelEvent* event,
                                       IoStatusBlock* io_status);
}  // namespace detail

}  // namespace plat::kernel
