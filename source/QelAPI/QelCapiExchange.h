// The exchange of the client stubs: one request to a server and its answer,
// under the API lock. The stub describes the request (destination, command,
// size), fills it and reads the answer; the exchange takes the lock and an
// event, allocates, posts, waits, and gives everything back in reverse order.
//
// Two statuses of a server ask the client to come back:
//   'k' (low byte 0x6B) the server is busy: with busyRetry the same request is
//       posted again every 5 ms, the lock released in between, for at most
//       5000 ms after the first busy answer; a status still busy then is
//       returned unchanged.
//   '~' (low byte 0x7E) the request is to be repeated: the whole exchange runs
//       again with a fresh event and a fresh request, for at most ten
//       communication time-outs; then the repetition is logged and the last
//       status returned.
//
// Lock order: the API lock alone; it is held from the allocation of the
// request to the release of the answer, except in the busy pauses and while
// the answer is awaited.
#pragma once

#include <cstdint>

#include "source/QelAPI/QelApi.h"

inline constexpr QelStatus kQelCapiLockNotHad = 98;
inline constexpr std::uint32_t kQelCapiBusy = 0x6B;    // 'k'
inline constexpr std::uint32_t kQelCapiRepeat = 0x7E;  // '~'
inline constexpr std::uint32_t kQelCapiBusyPauseMs = 5;
inline constexpr std::uint32_t kQelCapiBusyLimitMs = 5000;
inline constexpr std::uint32_t kQelCapiRepeatTimeouts = 10;

// Fills the request after the exchange set its size, destination and command.
using QelCapiFill = void (*)(const void* context, QelMessageHeader* request);
// Reads the answer of a request whose status was 0; answers the stub's status.
using QelCapiUnpack = QelStatus (*)(void* context, const QelMessageHeader* answer);

struct QelCapiCall {
  std::uint32_t destination;  // server address (word 0 of the handle the stub was called on)
  std::uint32_t command;
  std::uint32_t requestSize;  // header included
  bool busyRetry;             // the buffer stubs retry 'k'; the manager stubs return it
  std::uint32_t timeoutMs;    // the wait for one answer (the communication time-out)
  QelCapiFill fill;           // null: nothing after the header
  const void* fillContext;
  QelCapiUnpack unpack;       // null: nothing to read
  void* unpackContext;
};

// The status of the answer (or of the failure that ended the exchange).
QelStatus QelCapiExchange(const QelCapiCall& call);
