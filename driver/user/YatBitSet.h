// Bit sets over count-prefixed arrays of 32-bit words: word 0 holds the
// number n of words that follow; bit b lives in word 1 + b / 32.
#pragma once

#include <cstdint>

bool Yat_BitSet_IsEmpty(const std::uint32_t* set);
bool Yat_BitSet_Test(const std::uint32_t* set, std::uint32_t bit);
bool Yat_BitSet_FindFirst(const std::uint32_t* set, std::uint32_t* bit);
void Yat_BitSet_Set(std::uint32_t* set, std::uint32_t bit);
void Yat_BitSet_Clear(std::uint32_t* set, std::uint32_t bit);
void Yat_BitSet_Fill(std::uint32_t* set);
void Yat_BitSet_Zero(std::uint32_t* set);
// Copies the count word and the source's words; the destination must hold them.
void Yat_BitSet_Copy(std::uint32_t* destination, const std::uint32_t* source);
// Over the shorter of the two word counts; the destination changes.
void Yat_BitSet_And(std::uint32_t* destination, const std::uint32_t* other);
void Yat_BitSet_Or(std::uint32_t* destination, const std::uint32_t* other);
void Yat_BitSet_Invert(std::uint32_t* set);
