// A file of a buffer routine: opened by a Windows-style or native name, closed
// when it goes out of scope, with whole-or-nothing reads and writes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>

struct BufferFileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using BufferFileHandle = std::unique_ptr<std::FILE, BufferFileCloser>;

// mode as for fopen; null when the file cannot be opened.
BufferFileHandle BufferFileOpen(const char* fileName, const char* mode);

inline bool BufferFileRead(std::FILE* file, void* data, std::uint64_t size) {
  return size == 0 || std::fread(data, 1, size, file) == size;
}
inline bool BufferFileWrite(std::FILE* file, const void* data, std::uint64_t size) {
  return size == 0 || std::fwrite(data, 1, size, file) == size;
}
// Moves forward by size bytes (a 64-bit count).
bool BufferFileSkip(std::FILE* file, std::uint64_t size);
