#include "driver/kernel/BlockList.h"

#include <cstring>
#include <limits>

#include "driver/kernel/StavroGlobals.h"
#include "platform/kernel/memory.h"

using namespace plat::kernel;

namespace {

constexpr std::uint32_t kTagBlockList = StavroPoolTag('L');

void* PayloadOf(YatListBlock* block) { return block + 1; }
const void* PayloadOf(const YatListBlock* block) { return block + 1; }

YatListBlock* NewBlock(std::size_t payloadSize) {
  if (payloadSize > std::numeric_limits<std::size_t>::max() / 2) return nullptr;
  const std::size_t total = sizeof(YatListBlock) + payloadSize;
  auto* block = static_cast<YatListBlock*>(allocate_pool(PoolType::kPaged, total, kTagBlockList));
  if (block == nullptr) return nullptr;
  std::memset(block, 0, total);
  return block;
}

// Links `block` at the tail; answers its position.
std::int32_t Append(YatListBlock* block, YatBlockList* list) {
  std::int32_t position = 0;
  YatListBlock** link = &list->first;
  while (*link != nullptr) {
    link = &(*link)->next;
    ++position;
  }
  *link = block;
  return position;
}

}  // namespace

std::int32_t BlockListAllocate(std::size_t payloadSize, YatBlockList* list) {
  if (list == nullptr) return kYatNoBlock;
  YatListBlock* block = NewBlock(payloadSize);
  if (block == nullptr) return kYatNoBlock;
  return Append(block, list);
}

void* TwoNodeListAllocate(std::size_t payloadSize, YatBlockList* list) {
  if (list == nullptr || payloadSize > kYatTwoNodeSize - sizeof(YatListBlock)) return nullptr;
  if (BlockListCount(list) >= 2) return nullptr;
  YatListBlock* block = NewBlock(kYatTwoNodeSize - sizeof(YatListBlock));
  if (block == nullptr) return nullptr;
  Append(block, list);
  return PayloadOf(block);
}

void* ListGetAt(std::int32_t position, const YatBlockList* list) {
  if (list == nullptr || position < 0) return nullptr;
  YatListBlock* block = list->first;
  for (std::int32_t i = 0; block != nullptr && i < position; ++i) block = block->next;
  return block ? PayloadOf(block) : nullptr;
}

std::int32_t BlockListCheckHandle(const void* payload, const YatBlockList* list) {
  if (list == nullptr || payload == nullptr) return kYatNoBlock;
  std::int32_t position = 0;
  for (const YatListBlock* block = list->first; block != nullptr; block = block->next, ++position) {
    if (PayloadOf(block) == payload) return position;
  }
  return kYatNoBlock;
}

std::uint32_t BlockListCount(const YatBlockList* list) {
  std::uint32_t count = 0;
  if (list == nullptr) return 0;
  for (const YatListBlock* block = list->first; block != nullptr; block = block->next) ++count;
  return count;
}

void BlockListFree(std::int32_t position, YatBlockList* list) {
  if (list == nullptr || position < 0) return;
  YatListBlock** link = &list->first;
  for (std::int32_t i = 0; *link != nullptr && i < position; ++i) link = &(*link)->next;
  YatListBlock* block = *link;
  if (block == nullptr) return;
  *link = block->next;
  free_pool_with_tag(block, kTagBlockList);
}

void ListFree(YatBlockList* list) {
  if (list == nullptr) return;
  YatListBlock* block = list->first;
  list->first = nullptr;
  while (block != nullptr) {
    YatListBlock* next = block->next;
    free_pool_with_tag(block, kTagBlockList);
    block = next;
  }
}

bool BlockListMove(const void* payload, YatBlockList* from, YatBlockList* to) {
  if (from == nullptr || to == nullptr || payload == nullptr) return false;
  for (YatListBlock** link = &from->first; *link != nullptr; link = &(*link)->next) {
    YatListBlock* block = *link;
    if (PayloadOf(block) != payload) continue;
    *link = block->next;
    block->next = nullptr;
    Append(block, to);
    return true;
  }
  return false;
}
