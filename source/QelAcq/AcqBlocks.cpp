#include "source/QelAcq/AcqBlocks.h"

#include <array>
#include <cstddef>

#include "source/QelAPI/QelBitSet.h"
#include "source/QelAcq/AcqStatus.h"

namespace {

template <typename Block>
void InitRecordBlock(Block* block, std::uint32_t size) {
  if (block == nullptr) return;
  block->kind = 0;
  block->size = size;
  block->modified.count = kAcqModifiedSetWords;
}

// Word offset of an entry of a layout table; false for an index outside it.
template <std::size_t N>
bool EntryWord(const std::array<std::uint32_t, N>& table, std::uint32_t first, std::uint32_t index,
               std::uint32_t* word) {
  if (index < first || index - first >= N - 1) return false;
  *word = table[index - first];
  return true;
}

template <typename Word, std::size_t N>
Word* At(Word* words, const std::array<std::uint32_t, N>& table, std::uint32_t first, std::uint32_t index) {
  std::uint32_t word = 0;
  if (words == nullptr || !EntryWord(table, first, index, &word)) return nullptr;
  return words + word;
}

std::uint32_t* Set(AcqModifiedSet& set) { return &set.count; }
const std::uint32_t* Set(const AcqModifiedSet& set) { return &set.count; }

}  // namespace

void AcqInitRecordBlock(VicPrmBlock* block) { InitRecordBlock(block, kVicPrmBlockSize); }
void AcqInitRecordBlock(CamPrmBlock* block) { InitRecordBlock(block, kCamPrmBlockSize); }

void AcqInitCapBlock(AcqVicCapBlock* block) {
  if (block == nullptr) return;
  block->zero = 0;
  block->size = kAcqVicCapBlockSize;
}
void AcqInitCapBlock(AcqCamCapBlock* block) {
  if (block == nullptr) return;
  block->zero = 0;
  block->size = kAcqCamCapBlockSize;
}

std::uint32_t* AcqPrmWords(VicPrmBlock* block, std::uint32_t index) {
  return At(block ? block->values : nullptr, VicPrmOffsetTable, kAcqVicPrmFirst, index);
}
const std::uint32_t* AcqPrmWords(const VicPrmBlock* block, std::uint32_t index) {
  return At(block ? block->values : nullptr, VicPrmOffsetTable, kAcqVicPrmFirst, index);
}
std::uint32_t* AcqPrmWords(CamPrmBlock* block, std::uint32_t index) {
  return At(block ? block->values : nullptr, CamPrmOffsetTable, 0, index);
}
const std::uint32_t* AcqPrmWords(const CamPrmBlock* block, std::uint32_t index) {
  return At(block ? block->values : nullptr, CamPrmOffsetTable, 0, index);
}

std::uint32_t* AcqCapWords(AcqVicCapBlock* block, std::uint32_t index) {
  return At(block ? block->caps : nullptr, VicCapOffsetTable, kAcqVicCapFirst, index);
}
const std::uint32_t* AcqCapWords(const AcqVicCapBlock* block, std::uint32_t index) {
  return At(block ? block->caps : nullptr, VicCapOffsetTable, kAcqVicCapFirst, index);
}
std::uint32_t* AcqCapWords(AcqCamCapBlock* block, std::uint32_t index) {
  return At(block ? block->caps : nullptr, CamCapOffsetTable, 0, index);
}
const std::uint32_t* AcqCapWords(const AcqCamCapBlock* block, std::uint32_t index) {
  return At(block ? block->caps : nullptr, CamCapOffsetTable, 0, index);
}

bool AcqIsModified(const VicPrmBlock* block, std::uint32_t index) {
  return block != nullptr && AcqIsVicPrm(index) && BitSetTest(index - kAcqVicPrmFirst, Set(block->modified));
}
bool AcqIsModified(const CamPrmBlock* block, std::uint32_t index) {
  return block != nullptr && AcqIsCamPrm(index) && BitSetTest(index, Set(block->modified));
}
void AcqMarkModified(VicPrmBlock* block, std::uint32_t index) {
  if (block != nullptr && AcqIsVicPrm(index)) BitSetSet(index - kAcqVicPrmFirst, Set(block->modified));
}
void AcqMarkModified(CamPrmBlock* block, std::uint32_t index) {
  if (block != nullptr && AcqIsCamPrm(index)) BitSetSet(index, Set(block->modified));
}
void AcqClearModified(VicPrmBlock* block, std::uint32_t index) {
  if (block != nullptr && AcqIsVicPrm(index)) BitSetClear(index - kAcqVicPrmFirst, Set(block->modified));
}
void AcqClearModified(CamPrmBlock* block, std::uint32_t index) {
  if (block != nullptr && AcqIsCamPrm(index)) BitSetClear(index, Set(block->modified));
}
void AcqMarkAllModified(VicPrmBlock* block) {
  for (std::uint32_t i = 0; i < kAcqVicPrmCount; ++i) AcqMarkModified(block, kAcqVicPrmFirst + i);
}
void AcqMarkAllModified(CamPrmBlock* block) {
  for (std::uint32_t i = 0; i < kAcqCamPrmCount; ++i) AcqMarkModified(block, i);
}
