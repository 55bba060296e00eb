// QelHandle: the 32-byte name of every SDK object, carried inside request
// payloads between processes.
#pragma once

#include <cstddef>
#include <cstdint>

#pragma pack(push, 1)
struct QelHandle {
  std::uint32_t server;    // address of the object's server
  std::uint32_t zero;
  std::uint32_t reserved;
  std::uint64_t record;    // the object's private record in its owner process
  std::uint32_t tag;
  std::uint64_t self;      // the handle's own address in its owner process
};
#pragma pack(pop)
static_assert(sizeof(QelHandle) == 32);
static_assert(offsetof(QelHandle, record) == 12);
static_assert(offsetof(QelHandle, tag) == 20);
static_assert(offsetof(QelHandle, self) == 24);

inline constexpr std::uint32_t kQelTagServer = 0xcccc0040;
