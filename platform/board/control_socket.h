// Whole-record reads and writes on the control socket, with a time-out so a
// stalled peer never holds the other side for long.
#pragma once

#include <cstddef>
#include <span>
#include <string>

namespace plat::board {

inline constexpr int kControlIoTimeoutSeconds = 10;

// Full path of the machine's control socket; empty when it would not fit a
// socket address.
std::string control_socket_path();

void control_set_timeouts(int fd);
// False on error, time-out or end of stream before all bytes.
bool control_read_all(int fd, std::span<std::byte> out);
bool control_write_all(int fd, std::span<const std::byte> data);

}  // namespace plat::board
