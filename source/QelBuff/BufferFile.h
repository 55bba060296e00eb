// Buffer files: the native buffer file (magic "KRV\x1A", the buffer's
// descriptor byte for byte, then its lines) and BMP files. The routines take
// the buffer's descriptor and a file name (Windows-style or native) and answer
// the small statuses below; the buffer commands add the module's bits.
//
// A buffer's line in memory holds (bits x width + 7) / 8 bytes; a file line
// holds bytes per element x width. Where the two differ (formats of 12 or
// fewer than 8 bits per element) only the memory line is read or written, and
// the rest of a saved file line is zero.
#pragma once

#include <cstdint>

#include "source/QelBuff/BufferDescriptor.h"

inline constexpr std::uint32_t kBufferFileOk = 0;
inline constexpr std::uint32_t kBufferFileFormatDiffers = 43;
inline constexpr std::uint32_t kBufferFileCannotCreate = 60;
inline constexpr std::uint32_t kBufferFileCannotOpen = 61;
inline constexpr std::uint32_t kBufferFileBadRead = 62;   // a read fails, or not the expected kind of file
inline constexpr std::uint32_t kBufferFileBadWrite = 63;
inline constexpr std::uint32_t kBufferFileUnsupported = 70;
inline constexpr std::uint32_t kBufferFileNotBmp = 565;

// The 4-byte magic at the start of a native buffer file.
inline constexpr char kBufferFileMagic[4] = {'K', 'R', 'V', 0x1A};

std::uint32_t BufferSaveRaw(const BufferDescriptor* buffer, const char* fileName);
std::uint32_t BufferLoadRaw(const BufferDescriptor* buffer, const char* fileName);
// The descriptor stored in a native file (of which only format, width, height
// and bytes per element mean anything here).
std::uint32_t BufferLoadRawHeader(const char* fileName, BufferDescriptor* header);

std::uint32_t BufferSaveBmp(const BufferDescriptor* buffer, const char* fileName);
std::uint32_t BufferLoadBmp(const BufferDescriptor* buffer, const char* fileName);

// File kind 1, never supported.
std::uint32_t BufferFileUnsupported(const BufferDescriptor* buffer, const char* fileName);

// Bytes of one line of the buffer in memory.
std::uint64_t BufferMemoryLineBytes(const BufferDescriptor& buffer);
