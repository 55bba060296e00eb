#include "source/QelAPI/QelBitSet.h"

#include <algorithm>
#include <bit>
#include <span>

namespace {

// The words after the count word.
std::span<std::uint32_t> WordsOf(BitSet* set) { return {set + 1, *set}; }
std::span<const std::uint32_t> WordsOf(const BitSet* set) { return {set + 1, *set}; }

bool Holds(const BitSet* set, std::uint32_t bit) { return set != nullptr && bit / 32 < *set; }

}  // namespace

bool BitSetIsEmpty(const BitSet* set) {
  if (set == nullptr) return false;
  return std::ranges::all_of(WordsOf(set), [](std::uint32_t word) { return word == 0; });
}

bool BitSetTest(std::uint32_t bit, const BitSet* set) {
  return Holds(set, bit) && (WordsOf(set)[bit / 32] >> (bit % 32) & 1u) != 0;
}

bool BitSetFindFirst(std::uint32_t* bit, const BitSet* set) {
  if (bit == nullptr || set == nullptr) return false;
  const auto words = WordsOf(set);
  for (std::uint32_t index = 0; index < words.size(); ++index) {
    if (words[index] == 0) continue;
    *bit = index * 32 + static_cast<std::uint32_t>(std::countr_zero(words[index]));
    return true;
  }
  return false;
}

void BitSetSet(std::uint32_t bit, BitSet* set) {
  if (Holds(set, bit)) WordsOf(set)[bit / 32] |= 1u << (bit % 32);
}

void BitSetClear(std::uint32_t bit, BitSet* set) {
  if (Holds(set, bit)) WordsOf(set)[bit / 32] &= ~(1u << (bit % 32));
}

void BitSetSetAll(BitSet* set) {
  if (set != nullptr) std::ranges::fill(WordsOf(set), 0xFFFFFFFFu);
}

void BitSetClearAll(BitSet* set) {
  if (set != nullptr) std::ranges::fill(WordsOf(set), 0u);
}

void BitSetCopy(BitSet* destination, const BitSet* source) {
  if (destination == nullptr || source == nullptr || destination == source) return;
  *destination = *source;
  std::ranges::copy(WordsOf(source), WordsOf(destination).begin());
}

void BitSetAnd(BitSet* destination, const BitSet* source) {
  if (destination == nullptr || source == nullptr) return;
  const auto to = WordsOf(destination);
  const auto from = WordsOf(source);
  for (std::size_t index = 0; index < std::min(to.size(), from.size()); ++index) to[index] &= from[index];
}

void BitSetOr(BitSet* destination, const BitSet* source) {
  if (destination == nullptr || source == nullptr) return;
  const auto to = WordsOf(destination);
  const auto from = WordsOf(source);
  for (std::size_t index = 0; index < std::min(to.size(), from.size()); ++index) to[index] |= from[index];
}

void BitSetInvert(BitSet* set) {
  if (set == nullptr) return;
  for (std::uint32_t& word : WordsOf(set)) word = ~word;
}
