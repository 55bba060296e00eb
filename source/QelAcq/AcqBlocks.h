// The parameter blocks and capability blocks of an acquisition device. The
// same parameter block layout serves the shared device record and the SDK's
// CAM and VIC objects, so that blocks are copied whole between them, their
// modified-bit sets with them. All words are little-endian.
#pragma once

#include <cstddef>
#include <cstdint>

#include "source/QelAcq/AcqPrmId.h"

inline constexpr std::uint32_t kAcqModifiedSetWords = 64;
inline constexpr std::uint32_t kVicPrmBlockSize = 960;
inline constexpr std::uint32_t kCamPrmBlockSize = 2136;
inline constexpr std::uint32_t kAcqVicCapBlockSize = 1124;
inline constexpr std::uint32_t kAcqCamCapBlockSize = 1112;

// Modified bits: a bit set (count word, then 64 words); bit n is CAM
// parameter n, or VIC parameter 2048 + n.
struct AcqModifiedSet {
  std::uint32_t count;
  std::uint32_t words[kAcqModifiedSetWords];
};
static_assert(sizeof(AcqModifiedSet) == 260);

struct VicPrmBlock {
  std::uint32_t kind;  // 0 in a device record, 1 in an object
  std::uint32_t size;  // 960
  AcqModifiedSet modified;
  std::uint32_t values[kAcqVicPrmWords];
};
static_assert(sizeof(VicPrmBlock) == kVicPrmBlockSize);
static_assert(offsetof(VicPrmBlock, size) == 4);
static_assert(offsetof(VicPrmBlock, modified) == 8);
static_assert(offsetof(VicPrmBlock, values) == 268);

struct CamPrmBlock {
  std::uint32_t kind;  // 0 in a device record, 1 in an object
  std::uint32_t size;  // 2136
  AcqModifiedSet modified;
  std::uint32_t values[kAcqCamPrmWords];
};
static_assert(sizeof(CamPrmBlock) == kCamPrmBlockSize);
static_assert(offsetof(CamPrmBlock, modified) == 8);
static_assert(offsetof(CamPrmBlock, values) == 268);

// Acquisition-level capabilities 0x700-0x70f, one word each.
struct AcqCapHeaderBlock {
  std::uint32_t header[2];
  std::uint32_t caps[kAcqLevelCapCount];
};
static_assert(sizeof(AcqCapHeaderBlock) == 72);
static_assert(offsetof(AcqCapHeaderBlock, caps) == 8);

struct AcqVicCapBlock {
  std::uint32_t zero;
  std::uint32_t size;  // 1124
  std::uint32_t caps[kAcqVicCapWords];
};
static_assert(sizeof(AcqVicCapBlock) == kAcqVicCapBlockSize);
static_assert(offsetof(AcqVicCapBlock, caps) == 8);

struct AcqCamCapBlock {
  std::uint32_t zero;
  std::uint32_t size;  // 1112
  std::uint32_t caps[kAcqCamCapWords];
};
static_assert(sizeof(AcqCamCapBlock) == kAcqCamCapBlockSize);
static_assert(offsetof(AcqCamCapBlock, caps) == 8);

// Writes the header of a record's block: kind 0, its size, the set's count.
void AcqInitRecordBlock(VicPrmBlock* block);
void AcqInitRecordBlock(CamPrmBlock* block);
void AcqInitCapBlock(AcqVicCapBlock* block);
void AcqInitCapBlock(AcqCamCapBlock* block);

// The first word of a parameter's value in its block; null for an index that
// names no parameter of the block's kind.
std::uint32_t* AcqPrmWords(VicPrmBlock* block, std::uint32_t index);
const std::uint32_t* AcqPrmWords(const VicPrmBlock* block, std::uint32_t index);
std::uint32_t* AcqPrmWords(CamPrmBlock* block, std::uint32_t index);
const std::uint32_t* AcqPrmWords(const CamPrmBlock* block, std::uint32_t index);

// The first word of a capability; null for an index outside the block.
std::uint32_t* AcqCapWords(AcqVicCapBlock* block, std::uint32_t index);
const std::uint32_t* AcqCapWords(const AcqVicCapBlock* block, std::uint32_t index);
std::uint32_t* AcqCapWords(AcqCamCapBlock* block, std::uint32_t index);
const std::uint32_t* AcqCapWords(const AcqCamCapBlock* block, std::uint32_t index);

// Modified bits by parameter index (CAM n, or VIC 2048 + n).
bool AcqIsModified(const VicPrmBlock* block, std::uint32_t index);
bool AcqIsModified(const CamPrmBlock* block, std::uint32_t index);
void AcqMarkModified(VicPrmBlock* block, std::uint32_t index);
void AcqMarkModified(CamPrmBlock* block, std::uint32_t index);
void AcqClearModified(VicPrmBlock* block, std::uint32_t index);
void AcqClearModified(CamPrmBlock* block, std::uint32_t index);
// Marks every parameter of the block.
void AcqMarkAllModified(VicPrmBlock* block);
void AcqMarkAllModified(CamPrmBlock* block);
