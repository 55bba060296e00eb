// The board's own buffers: images that live in the board's on-board memory,
// each an internal buffer of the board library with a server buffer (memory
// kind 0x40, no host memory) that stands for it. The board's handlers of
// buffer commands 9001 and 9000 make and free them for requests to a board's
// server, and the transfer's internal stage makes them whole or as strips of
// a taller frame.
//
// Lock order: the table of board buffers (a mutex of this process) is taken
// alone, never around a call into the board library or the buffer module.
#pragma once

#include <cstdint>

#include "driver/user/YatInternalBuffer.h"
#include "source/QelAPI/QelApi.h"
#include "source/QelAPI/QelHandle.h"
#include "source/QelAPI/QelStatus.h"

// The board server's address of board b.
constexpr std::uint32_t YatBoardServerAddress(std::uint32_t board) { return 0x01DE0000u | ((board + 1) << 8); }

// A strip of a taller frame: the frame's lines and where the strip's line
// groups lie. Zero lines for a whole image.
struct YatStripShape {
  std::uint32_t frameLines;
  std::uint32_t taps;
  std::uint32_t mirrored;  // the first region list in reverse order
};

// An image of width x height elements of `format` in board b's memory: its
// internal buffer (into *record, which the caller keeps) and the server
// buffer on board b's server that stands for it (into *out). Statuses are
// the board library's, translated.
QelStatus YatBoardBufferCreate(std::uint32_t board, std::uint32_t width, std::uint32_t height, std::uint32_t format,
                               const YatStripShape& strip, YatInternalBuffer* record, QelHandle** out);
// Frees the internal buffer of a board buffer this process made, then the
// server buffer. 0x800201 for any other handle.
QelStatus YatBoardBufferFree(const QelHandle* buffer);
// The board-library record of a board buffer this process made; null for any other.
const YatInternalBuffer* YatBoardBufferRecord(const QelHandle* buffer);

// Installs the board's handlers of 9001 and then 9000 over the buffer
// commands' registration, keeping the previous ones to chain to.
QelStatus InstallBoardBufferHandlers(HostFuncHandler* bufferCommands);
QelStatus UninstallBoardBufferHandlers();
