// The buffer module's commands as the instance installs them, and the
// operations of the module that span several steps: files and the clear to
// black.
#pragma once

#include <cstdint>

#include "source/QelAPI/QelApi.h"

inline constexpr std::uint32_t kBufferFirstCommand = 9000;
inline constexpr std::uint32_t kBufferLastCommand = 9037;

// Registers the 38-entry table for 9000-9037 (the instance's third step).
QelStatus InstallBufferCommands(HostFuncHandler** token);
// Frees the registration when the token holds one; always 0.
QelStatus BufferServerFree(HostFuncHandler** token);

// File kinds of BufferLoadFile and BufferSaveFile.
enum BufferFileKind : std::uint32_t {
  kBufferFileBmp = 0,
  kBufferFileNone = 1,  // never supported
  kBufferFileNative = 2,
};
QelStatus BufferLoadFile(const QelHandle* buffer, std::uint32_t kind, const char* fileName);
QelStatus BufferSaveFile(const QelHandle* buffer, std::uint32_t kind, const char* fileName);

// Every element takes the format's black; nothing for a buffer without memory.
QelStatus BufferClearBlack(const QelHandle* buffer);
