// Event routing of a board: which process slot receives which channel
// events, host DMA messages and I/O-line events, the per-channel state the
// decoder keeps, and the calls that turn the board's event sources into
// queued messages.
#pragma once

#include <atomic>
#include <cstdint>

#include "driver/kernel/MsgQueue.h"
#include "driver/kernel/YatEventRouting.h"
#include "driver/kernel/YatExtensions.h"

void YatInitEventRouting(YatEventRouting* routing);

// What the message code needs of the driver around it (MsgBoard.cpp).
YatEventRouting* YatBoardRouting(YatBoardExtension* board);
YatManagerExtension* YatBoardManager(YatBoardExtension* board);
YatMsgQueue* YatProcessQueue(YatManagerExtension* manager, std::uint32_t row, std::uint32_t type);
// Performance-counter value the interrupt routine stored for main status bit 25..28.
std::uint64_t YatStatusTimeStamp(YatBoardExtension* board, std::uint32_t statusBit);
// The board's answer to "is this event the second channel's" (0 or 1).
std::uint32_t YatEventChannelOf(YatBoardExtension* board, std::uint32_t event);
// The kernel acquisition action for a channel event bit routed with kind 2.
QelHwStatus YatAcqPixelClockEvent(YatBoardExtension* board, std::uint32_t channel, std::uint32_t flags);
// The interrupt-mask change, synchronised with the board's interrupt.
QelHwStatus SetInterruptMask(YatBoardExtension* board, std::uint32_t value, std::uint32_t mask);

// Adds (on) or removes (off) routes of a channel's event bits for a process slot.
QelHwStatus RouteEvent(YatBoardExtension* board, std::uint32_t channel, std::uint32_t eventBits, std::uint32_t slot,
                       std::uint32_t kind, bool on);

// Decodes one event source of the board's deferred routine into messages.
QelHwStatus DecodeInterruptMessages(YatBoardExtension* board, std::uint32_t source);
// The I/O-line dispatch: sources 384 + bit for bits 0..7 of the latched I/O
// status, then 400 when bit 16 is set.
QelHwStatus YatIoLineDispatch(YatBoardExtension* board, std::uint32_t latched);

// Host message interrupt of the board (register 0x10014): on at the first
// transfer route, off with the window reset pulse when the last one goes.
QelHwStatus YatHostMessagesOn(YatBoardExtension* board);
QelHwStatus YatHostMessagesOffIfUnrouted(YatBoardExtension* board);

// A process slot's part of the board's routes, removed at its close.
void YatReleaseSlotRoutes(YatBoardExtension* board, std::uint32_t slot);
