#include "driver/user/YatBitSet.h"

#include <algorithm>

namespace {

constexpr std::uint32_t kBitsPerWord = 32;

std::uint32_t Words(const std::uint32_t* set) { return set == nullptr ? 0 : set[0]; }

bool Holds(const std::uint32_t* set, std::uint32_t bit) {
  return std::uint64_t{bit} < std::uint64_t{Words(set)} * kBitsPerWord;
}

std::uint32_t Mask(std::uint32_t bit) { return 1u << (bit % kBitsPerWord); }

}  // namespace

// A null set counts as not empty, as its users expect.
bool Yat_BitSet_IsEmpty(const std::uint32_t* set) {
  if (set == nullptr) return false;
  return std::all_of(set + 1, set + 1 + Words(set), [](std::uint32_t w) { return w == 0; });
}

bool Yat_BitSet_Test(const std::uint32_t* set, std::uint32_t bit) {
  return Holds(set, bit) && (set[1 + bit / kBitsPerWord] & Mask(bit)) != 0;
}

bool Yat_BitSet_FindFirst(const std::uint32_t* set, std::uint32_t* bit) {
  if (bit == nullptr) return false;
  for (std::uint32_t i = 0; i < Words(set); ++i) {
    if (set[1 + i] == 0) continue;
    *bit = i * kBitsPerWord + static_cast<std::uint32_t>(__builtin_ctz(set[1 + i]));
    return true;
  }
  return false;
}

void Yat_BitSet_Set(std::uint32_t* set, std::uint32_t bit) {
  if (Holds(set, bit)) set[1 + bit / kBitsPerWord] |= Mask(bit);
}

void Yat_BitSet_Clear(std::uint32_t* set, std::uint32_t bit) {
  if (Holds(set, bit)) set[1 + bit / kBitsPerWord] &= ~Mask(bit);
}

void Yat_BitSet_Fill(std::uint32_t* set) { std::fill_n(set == nullptr ? set : set + 1, Words(set), ~0u); }

void Yat_BitSet_Zero(std::uint32_t* set) { std::fill_n(set == nullptr ? set : set + 1, Words(set), 0u); }

// A full-width index, so a set of any size is copied whole.
void Yat_BitSet_Copy(std::uint32_t* destination, const std::uint32_t* source) {
  if (destination == nullptr || source == nullptr) return;
  std::copy_n(source, std::uint64_t{Words(source)} + 1, destination);
}

void Yat_BitSet_And(std::uint32_t* destination, const std::uint32_t* other) {
  const std::uint32_t n = std::min(Words(destination), Words(other));
  for (std::uint32_t i = 1; i <= n; ++i) destination[i] &= other[i];
}

void Yat_BitSet_Or(std::uint32_t* destination, const std::uint32_t* other) {
  const std::uint32_t n = std::min(Words(destination), Words(other));
  for (std::uint32_t i = 1; i <= n; ++i) destination[i] |= other[i];
}

void Yat_BitSet_Invert(std::uint32_t* set) {
  for (std::uint32_t i = 1; i <= Words(set); ++i) set[i] = ~set[i];
}
