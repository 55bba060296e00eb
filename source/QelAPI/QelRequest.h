// A request as its handler reads it: every read is bounded by the size the
// message's header gives, and a field that passes the end is refused with the
// handler's module part, (k << 8) and the kind 0x35, k the field's 1-based
// position (the handle at offset 36 being the first).
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>

#include "source/QelAPI/QelHandle.h"
#include "source/QelHost/QelHost.h"

class QelRequest {
 public:
  QelRequest(const QelMessageHeader* message, QelStatus module)
      : bytes_(reinterpret_cast<const std::uint8_t*>(message)), size_(message->size), module_(module) {}
  std::uint32_t size() const { return size_; }
  bool holds(std::uint64_t end) const { return end <= size_; }
  std::uint32_t word(std::uint32_t offset) const { return holds(offset + 4ull) ? read<std::uint32_t>(offset) : 0; }
  std::uint64_t quad(std::uint32_t offset) const { return holds(offset + 8ull) ? read<std::uint64_t>(offset) : 0; }
  const std::uint8_t* at(std::uint32_t offset) const { return bytes_ + offset; }
  // Text from offset to its terminator, at most `limit` bytes and never past the request.
  std::string text(std::uint32_t offset, std::uint32_t limit) const {
    if (!holds(offset)) return {};
    const std::uint32_t room = std::min(size_ - offset, limit);
    const char* start = reinterpret_cast<const char*>(bytes_ + offset);
    return std::string(start, strnlen(start, room));
  }
  // The handle at offset: null when the request is short or the handle all zeros (absent).
  const QelHandle* handle(std::uint32_t offset) const {
    if (!holds(offset + std::uint64_t{sizeof(QelHandle)})) return nullptr;
    const std::uint8_t* start = bytes_ + offset;
    const bool absent = std::all_of(start, start + sizeof(QelHandle), [](std::uint8_t b) { return b == 0; });
    return absent ? nullptr : reinterpret_cast<const QelHandle*>(start);
  }
  // The status of the first field whose end passes the request.
  QelStatus check(std::initializer_list<std::uint64_t> ends) const {
    std::uint32_t argument = 1;
    for (std::uint64_t end : ends) {
      if (!holds(end)) return module_ | (argument << 8) | 0x35u;
      ++argument;
    }
    return QEL_OK;
  }

 private:
  template <typename T>
  T read(std::uint32_t offset) const {
    T value;
    std::memcpy(&value, bytes_ + offset, sizeof value);
    return value;
  }
  const std::uint8_t* bytes_;
  std::uint32_t size_;
  QelStatus module_;
};
