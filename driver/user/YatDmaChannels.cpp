// The host and acquisition DMA channel owner tables of the shared board
// table. Processes share them without a lock, so every claim and every free
// of an owner word is a compare-and-swap from the value seen: a free never
// undoes a claim made meanwhile, and two processes never get one channel.
#include <atomic>
#include <cstddef>

#include "driver/user/YatLibrary.h"
#include "driver/user/YatRequestForm.h"
#include "driver/user/YatTransfer.h"
#include "qellib/QelLog.h"

namespace {

// The owner words sit in a packed record; their offsets keep them 4-byte aligned.
static_assert(offsetof(YatBoardEntry, hostDmaOwner) % 4 == 0 && offsetof(YatBoardEntry, acqDmaOwner) % 4 == 0);
static_assert(sizeof(YatBoardEntry) % 4 == 0 && offsetof(YatSharedData, boards) % 4 == 0);

std::atomic_ref<std::uint32_t> OwnerWord(YatBoardEntry* entry, std::size_t tableOffset, std::uint32_t index) {
  auto* bytes = reinterpret_cast<std::uint8_t*>(entry) + tableOffset + 4 * std::size_t{index};
  return std::atomic_ref<std::uint32_t>(*reinterpret_cast<std::uint32_t*>(bytes));
}

std::atomic_ref<std::uint32_t> HostWord(YatBoardEntry* entry, std::uint32_t index) {
  return OwnerWord(entry, offsetof(YatBoardEntry, hostDmaOwner), index);
}

std::atomic_ref<std::uint32_t> AcqWord(YatBoardEntry* entry, std::uint32_t index) {
  return OwnerWord(entry, offsetof(YatBoardEntry, acqDmaOwner), index);
}

std::uint32_t OwnWord(std::uint32_t camera) { return YatDmaOwnerWord(Yat_GetProcessSlot(), camera); }

bool Claim(std::atomic_ref<std::uint32_t> word, std::uint32_t owner) {
  std::uint32_t expected = YAT_DMA_OWNER_FREE;
  return word.compare_exchange_strong(expected, owner);
}

void Release(std::atomic_ref<std::uint32_t> word, std::uint32_t owner) {
  std::uint32_t expected = owner;
  word.compare_exchange_strong(expected, YAT_DMA_OWNER_FREE);
}

QelHwStatus NoneFree(const char* name, std::uint32_t board) {
  LogPutLog(kQelLogError, __FILE__, __LINE__, "%s, Board %d, %s status %x", kPardowLabel, static_cast<int>(board),
            name, 0u);
  return QELHW_ERROR_RESOURCE_IN_USE;
}

constexpr std::uint32_t kHostWords = YAT_HOST_DMA_GROUPS * YAT_HOST_DMA_PER_GROUP;

// The first word goes last, so the group is not claimed again half freed.
void ReleaseGroup(YatBoardEntry* entry, std::uint32_t group, std::uint32_t owner) {
  for (std::uint32_t k = YAT_HOST_DMA_PER_GROUP; k-- > 0;)
    Release(HostWord(entry, group * YAT_HOST_DMA_PER_GROUP + k), owner);
}

// Frees every word a predicate picks, by the value it was seen with; a host
// group goes by its first word.
template <typename Picks>
void FreeWhere(YatBoardEntry* entry, Picks picks) {
  for (std::uint32_t g = 0; g < YAT_HOST_DMA_GROUPS; ++g) {
    const std::uint32_t owner = HostWord(entry, g * YAT_HOST_DMA_PER_GROUP).load();
    if (owner != YAT_DMA_OWNER_FREE && picks(owner)) ReleaseGroup(entry, g, owner);
  }
  for (std::uint32_t i = 0; i < YAT_ACQ_DMA_CHANNELS; ++i) {
    const std::uint32_t owner = AcqWord(entry, i).load();
    if (owner != YAT_DMA_OWNER_FREE && picks(owner)) Release(AcqWord(entry, i), owner);
  }
}

}  // namespace

// A group is taken by claiming its first word; the other three follow, as
// no one claims them without the first.
QelHwStatus Yat_DMA_AllocHostDmaNumber(std::uint32_t board, std::uint32_t owner, std::uint32_t* out) {
  if (out == nullptr) return QELHW_ERROR_ARG_INVALID;
  YatBoardEntry* entry = Yat_GetBoardEntry(board);
  if (entry == nullptr) return YatArgumentInvalid("Yat_DMA_AllocHostDmaNumber", board);
  const std::uint32_t word = OwnWord(owner);
  for (std::uint32_t g = 0; g < YAT_HOST_DMA_GROUPS; ++g) {
    if (!Claim(HostWord(entry, g * YAT_HOST_DMA_PER_GROUP), word)) continue;
    for (std::uint32_t k = 1; k < YAT_HOST_DMA_PER_GROUP; ++k) HostWord(entry, g * YAT_HOST_DMA_PER_GROUP + k).store(word);
    for (std::uint32_t k = 0; k < YAT_HOST_DMA_PER_GROUP; ++k) out[k] = g + YAT_HOST_DMA_PER_GROUP * k;
    return QELHW_OK;
  }
  return NoneFree("Yat_DMA_AllocHostDmaNumber", board);
}

QelHwStatus Yat_FreeHostDmaNumber(std::uint32_t board, std::uint32_t owner) {
  YatBoardEntry* entry = Yat_GetBoardEntry(board);
  if (entry == nullptr) return QELHW_OK;
  const std::uint32_t word = OwnWord(owner);
  for (std::uint32_t i = 0; i < kHostWords; ++i) Release(HostWord(entry, i), word);
  return QELHW_OK;
}

void Yat_FreeHostDmaGroup(std::uint32_t board, std::uint32_t group, std::uint32_t owner) {
  YatBoardEntry* entry = Yat_GetBoardEntry(board);
  if (entry == nullptr || group >= YAT_HOST_DMA_GROUPS) return;
  const std::uint32_t word = OwnWord(owner);
  if (HostWord(entry, group * YAT_HOST_DMA_PER_GROUP).load() != word) return;
  ReleaseGroup(entry, group, word);
}

QelHwStatus Yat_AllocAcqDmaNumber(std::uint32_t board, std::uint32_t owner, std::uint32_t* out, std::int32_t first) {
  if (out == nullptr) return QELHW_ERROR_ARG_INVALID;
  YatBoardEntry* entry = Yat_GetBoardEntry(board);
  if (entry == nullptr) return YatArgumentInvalid("Yat_AllocAcqDmaNumber", board);
  const std::uint32_t word = OwnWord(owner);
  for (std::int32_t i = first < 0 ? 0 : first; i < static_cast<std::int32_t>(YAT_ACQ_DMA_CHANNELS); ++i) {
    if (!Claim(AcqWord(entry, static_cast<std::uint32_t>(i)), word)) continue;
    *out = static_cast<std::uint32_t>(i);
    return QELHW_OK;
  }
  return NoneFree("Yat_AllocAcqDmaNumber", board);
}

QelHwStatus Yat_FreeAcqDmaNumber(std::uint32_t board, std::uint32_t owner) {
  YatBoardEntry* entry = Yat_GetBoardEntry(board);
  if (entry == nullptr) return QELHW_OK;
  for (std::uint32_t i = 0; i < YAT_ACQ_DMA_CHANNELS; ++i) {
    const std::uint32_t seen = AcqWord(entry, i).load();
    if (seen != YAT_DMA_OWNER_FREE && YatDmaOwnerCamera(seen) == owner) Release(AcqWord(entry, i), seen);
  }
  return QELHW_OK;
}

QelHwStatus Yat_GetAcqDmaNumber(std::uint32_t board, std::uint32_t owner, std::uint32_t n, std::uint32_t* out) {
  if (out == nullptr) return QELHW_ERROR_ARG_INVALID;
  YatBoardEntry* entry = Yat_GetBoardEntry(board);
  if (entry == nullptr) return QELHW_ERROR_RESOURCE_IN_USE;
  std::uint32_t seen = 0;
  for (std::uint32_t i = 0; i < YAT_ACQ_DMA_CHANNELS; ++i) {
    const std::uint32_t word = AcqWord(entry, i).load();
    if (word == YAT_DMA_OWNER_FREE || YatDmaOwnerCamera(word) != owner) continue;
    if (seen++ == n) {
      *out = i;
      return QELHW_OK;
    }
  }
  return QELHW_ERROR_RESOURCE_IN_USE;
}

void Yat_DMA_FreeCameraOwners(std::uint32_t board, std::uint32_t camera) {
  YatBoardEntry* entry = Yat_GetBoardEntry(board);
  if (entry == nullptr) return;
  FreeWhere(entry, [camera](std::uint32_t owner) { return YatDmaOwnerCamera(owner) == camera; });
}

void Yat_DMA_FreeOwnersOfSlot(std::uint32_t slot) {
  for (std::uint32_t board = 0; board < YAT_MAX_BOARD; ++board)
    FreeWhere(Yat_GetBoardEntry(board), [slot](std::uint32_t owner) { return YatDmaOwnerSlot(owner) == slot; });
}
