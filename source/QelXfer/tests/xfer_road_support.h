// Transfer requests on the road of the SDK's users: a client process
// (quillet-helper-road) sends each command to a board's server, a probe
// process (quillet-helper-xferprobe) looks at the connection matrix and the
// on-board allocator.
#pragma once

#include <cstdint>
#include <sstream>
#include <string>

#include "source/QelAPI/QelHandle.h"
#include "source/firmware/tests/road_test_support.h"

namespace xfer_road {

using road_test::Quad;
using road_test::Word;

inline constexpr std::uint32_t kBoardServer = 0x01DE0100;  // board 0 ("Tramond-CL_RZ6_1")
inline constexpr std::uint32_t kLocalServer = 0x00DE0000;

// A handle as a request carries it.
inline std::string HandleHex(std::uint32_t server, std::uint32_t tag, std::uint64_t record) {
  return Word(server) + Word(0) + Word(0) + Quad(record) + Word(tag) + Quad(0);
}
inline std::string ServerHex(std::uint32_t server = kBoardServer) { return HandleHex(server, kQelTagServer, 0); }
inline std::string Zeros(std::size_t bytes) { return std::string(2 * bytes, '0'); }

// An answer line "answer <send status> <status> <payload hex>".
struct Answer {
  std::uint32_t sent = 0;
  std::uint32_t status = 0;
  std::string payload;
};

inline Answer ParseAnswer(const std::string& line) {
  std::istringstream in(line);
  std::string word;
  Answer answer;
  in >> word >> answer.sent;
  std::string status;
  in >> status >> answer.payload;
  answer.status = status == "-" ? 0xFFFFFFFF : static_cast<std::uint32_t>(std::stoul(status));
  return answer;
}

}  // namespace xfer_road
