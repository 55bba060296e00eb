// The client callbacks the server driver's event paths send: command 1005
// (a client's callback with its event type and count) and command 1012 (a
// client's event function with a descriptor record, an array and a byte
// block), each one request through the exchange of QelCapiExchange.h.
//
// Lock order: the API lock alone, as in the exchange.
#pragma once

#include <cstdint>

#include "source/QelAPI/QelApi.h"

// Refuses a null callback (0x3000236) and a handle that is no server
// (0x3001501); answers the status of the answer (98 without the API lock).
QelStatus QelManSendCallback(const QelHandle* server, std::uint32_t id, std::uint64_t callback,
                             std::uint64_t context, std::uint32_t eventType, std::uint32_t eventCount);

// The descriptor's second word counts the array's entries, its last word is
// the block's size: a null function 0x3000236, a null descriptor 0x3000536,
// a missing array 0x3000636, a missing block 0x3000736.
QelStatus QelManCallServerFunctionEx(const QelHandle* server, std::uint32_t id, std::uint64_t function,
                                     std::uint64_t context, std::uint32_t value,
                                     const QelEventDescriptor* descriptor, const std::uint32_t* array,
                                     const void* block);
