#include "source/QelHost/QelHostInternal.h"

HostTransaction* HostPortTransaction(std::uint32_t port);

namespace {

std::uint32_t ByteOf(std::uint32_t address, int position) { return (address >> (8 * position)) & 0xFFu; }

// Same-parent flag: a server two levels down only talks to hosts of its own parent.
constexpr bool kSameParentOnly = true;

QelStatus PutOnPort(QelMessageHeader* message, std::uint32_t port) {
  HostTransaction* transaction = HostPortTransaction(port);
  if (transaction == nullptr) return kHostServerNotFound;
  message->port = port;
  return HostPutMessage(message, transaction);
}

// Another board's server of this library: the same address but for the board
// byte. The library answers as one board's server at a time (the one its last
// delivered message named), so such a message goes up to the parent, which
// routes it back here with that board current; refusing it as "on this board"
// would lose every callback a board's event sends while another board's
// request was the last one served.
bool IsOtherBoardServer(std::uint32_t destination, std::uint32_t local) {
  constexpr std::uint32_t kAllButBoardByte = 0xFFFF00FFu;
  return (destination >> 24) != 0 && destination != local &&
         (destination & kAllButBoardByte) == (local & kAllButBoardByte);
}

}  // namespace

QelStatus HOSTSENDMSGTOPARENT(QelMessageHeader* message) {
  if (message == nullptr) return kHostMessageRefused;
  if (HostPortTransaction(0) == nullptr) {
    HOST_LOG(kQelLogError, "QELHOST: HOSTSENDMSGTOPARENT => Server not found (%d 0x%08x)", 0, message->destination);
    return kHostServerNotFound;
  }
  return PutOnPort(message, 0);
}

QelStatus HOSTSENDMSGTOCHILD(QelMessageHeader* message) {
  if (message == nullptr) return kHostMessageRefused;
  const int position = HostGetIndexPosition();
  if (position < 0) {
    HOST_LOG(kQelLogError, "QELHOST: HOSTSENDMSGTOCHILD => Server not found (%d)", position);
    return kHostServerNotFound;
  }
  const std::uint32_t port = ByteOf(message->destination, position);
  if (HostPortTransaction(port) == nullptr) {
    HOST_LOG(kQelLogError, "QELHOST: HOSTSENDMSGTOCHILD => Server not found (%d 0x%08x)", port, message->destination);
    return kHostServerNotFound;
  }
  return PutOnPort(message, port);
}

QelStatus HostRouteMessage(QelMessageHeader* message) {
  if (message == nullptr) return kHostMessageRefused;
  const std::uint32_t destination = message->destination;
  const std::uint32_t local = HostGetLocalAddress();
  if (HostIsOnThisBoard(destination) && !IsOtherBoardServer(destination, local)) return kHostServerNotFound;
  const int position = HostGetIndexPosition();
  if (position == 2 && ByteOf(destination, 3) != ByteOf(local, 3) && kSameParentOnly) return kHostServerNotFound;
  bool toParent = position == -1;
  if (position == 0 || position == 1) {
    // The bytes above this server's own index within the low 24 bits.
    const std::uint32_t above = 0x00FFFFFFu & ~((1u << (8 * (position + 1))) - 1);
    toParent = (destination & above) != (local & above);
  }
  return toParent ? HOSTSENDMSGTOPARENT(message) : HOSTSENDMSGTOCHILD(message);
}
