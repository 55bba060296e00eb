// Counted bit sets: a u32 word count n followed by n u32 words; bit i lives
// in word i / 32 at position i % 32. Every operation tolerates a null set and
// ignores bits at or beyond n × 32.
#pragma once

#include <cstdint>

// A set is addressed by its count word; its words follow it in the caller's
// store (the acquisition records embed them at fixed offsets).
using BitSet = std::uint32_t;

// Words a set may hold; stores are sized by their users below this.
inline constexpr std::uint32_t kBitSetMaxWords = 254;

bool BitSetIsEmpty(const BitSet* set);
bool BitSetTest(std::uint32_t bit, const BitSet* set);
bool BitSetFindFirst(std::uint32_t* bit, const BitSet* set);
void BitSetSet(std::uint32_t bit, BitSet* set);
void BitSetClear(std::uint32_t bit, BitSet* set);
void BitSetSetAll(BitSet* set);
void BitSetClearAll(BitSet* set);
// The count word and the source's words; the destination must hold them.
void BitSetCopy(BitSet* destination, const BitSet* source);
// Over the smaller of the two counts; the destination changes.
void BitSetAnd(BitSet* destination, const BitSet* source);
void BitSetOr(BitSet* destination, const BitSet* source);
void BitSetInvert(BitSet* set);
