// The caller's records reach the transfer code as 64-bit addresses (the
// descriptions are shared with the driver, which cannot hold pointers of the
// caller's width). These read and write words at such addresses without
// assuming their alignment.
#pragma once

#include <cstdint>
#include <cstring>

template <class T>
T* YatAt(std::uint64_t address) {
  return reinterpret_cast<T*>(static_cast<std::uintptr_t>(address));
}

inline std::uint32_t YatReadWord(std::uint64_t address) {
  std::uint32_t value = 0;
  std::memcpy(&value, YatAt<void>(address), sizeof value);
  return value;
}

inline void YatWriteWord(std::uint64_t address, std::uint32_t value) {
  std::memcpy(YatAt<void>(address), &value, sizeof value);
}

inline std::uint64_t YatReadAddress(std::uint64_t slot) {
  std::uint64_t value = 0;
  std::memcpy(&value, YatAt<void>(slot), sizeof value);
  return value;
}

inline void YatWriteAddress(std::uint64_t slot, std::uint64_t value) {
  std::memcpy(YatAt<void>(slot), &value, sizeof value);
}
