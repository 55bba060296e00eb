// Serial communication ports of the machine by their "COM<n>" names, as a
// program opens them: the Camera Link ports that the serial-port manager
// (platform/kernel/qelserial.h) creates are pseudo-terminals, named in the
// machine's serial-port map and in "<machine>/serial/board<b>-port<p>".
// Reads and writes take a total time-out in milliseconds, like a port whose
// time-outs are set; they answer how many bytes moved.
#pragma once

#include <cstdint>
#include <string>

namespace plat {

// The numbering of the map: COM1 and COM2 are the machine's own, each board takes four.
inline constexpr std::uint32_t kCommFirstBoardNumber = 3;
inline constexpr std::uint32_t kCommNumbersPerBoard = 4;
inline std::uint32_t comm_number(std::uint32_t board, std::uint32_t port) {
  return kCommFirstBoardNumber + kCommNumbersPerBoard * board + port;
}

struct CommPort;

// "COM<n>" (or "\\.\COM<n>"): null when the map names no such port or its terminal cannot be opened.
CommPort* comm_open(const std::string& name);
void comm_close(CommPort* port);
// Bytes until `size` arrived or the time-out passed; false on a failing line.
bool comm_read(CommPort* port, void* buffer, std::uint32_t size, std::uint32_t timeout_ms, std::uint32_t* count);
// Bytes until all were taken or the time-out passed.
bool comm_write(CommPort* port, const void* buffer, std::uint32_t size, std::uint32_t timeout_ms,
                std::uint32_t* count);

}  // namespace plat
