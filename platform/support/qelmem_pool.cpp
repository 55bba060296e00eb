#include "platform/support/qelmem_pool.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/win/objects.h"
#include "platform/win/process.h"
#include "platform/win/sections.h"

namespace qelmem::pool {

namespace {

constexpr std::uint32_t kPoolMagic = 0x4C4F4F50;   // "POOL"
constexpr std::uint32_t kUsedMagic = 0x44455355;   // "USED"
constexpr std::uint32_t kFreeMagic = 0x45455246;   // "FREE"

struct PoolHeader {
  std::uint32_t magic;
  std::uint32_t blocks_in_use;
  std::uint64_t used_bytes;
  std::uint64_t free_head[kMaxOrder + 1];  // offsets of free blocks, 0 = none
};
static_assert(sizeof(PoolHeader) <= kHeaderBytes);

struct BlockHeader {
  std::uint32_t magic;
  std::uint32_t order;
  std::int32_t owner_pid;
  std::uint32_t requested;
  std::uint64_t owner_start_time;
  std::uint64_t next_free;  // free blocks: next in the list
};
static_assert(sizeof(BlockHeader) == kBlockHeaderBytes);

struct Mapping {
  std::once_flag once;
  std::byte* view = nullptr;
  plat::Handle lock = plat::kNullHandle;
};

Mapping& mapping() {
  static Mapping* instance = new Mapping;  // kept until the process ends
  return *instance;
}

PoolHeader* header(std::byte* v) { return reinterpret_cast<PoolHeader*>(v); }
BlockHeader* block(std::byte* v, std::uint64_t offset) { return reinterpret_cast<BlockHeader*>(v + offset); }
std::uint64_t& prev_free(std::byte* v, std::uint64_t offset) {
  return *reinterpret_cast<std::uint64_t*>(v + offset + kBlockHeaderBytes);
}

// Holds the pool's machine-wide lock; a holder that died leaves it to us.
class Guard {
 public:
  explicit Guard(plat::Handle lock) : lock_(lock) {
    std::uint32_t r = plat::wait_for_object(lock_, plat::kInfinite);
    held_ = r == plat::kWaitObject0 || r == plat::kWaitAbandoned0;
  }
  ~Guard() {
    if (held_) plat::release_mutex(lock_);
  }
  Guard(const Guard&) = delete;
  Guard& operator=(const Guard&) = delete;
  bool held() const { return held_; }

 private:
  plat::Handle lock_;
  bool held_ = false;
};

void push_free(std::byte* v, std::uint64_t offset, unsigned order) {
  PoolHeader* h = header(v);
  BlockHeader* b = block(v, offset);
  *b = BlockHeader{kFreeMagic, order, 0, 0, 0, h->free_head[order]};
  prev_free(v, offset) = 0;
  if (h->free_head[order] != 0) prev_free(v, h->free_head[order]) = offset;
  h->free_head[order] = offset;
}

void unlink_free(std::byte* v, std::uint64_t offset, unsigned order) {
  PoolHeader* h = header(v);
  BlockHeader* b = block(v, offset);
  std::uint64_t prev = prev_free(v, offset);
  if (prev != 0) block(v, prev)->next_free = b->next_free;
  else h->free_head[order] = b->next_free;
  if (b->next_free != 0) prev_free(v, b->next_free) = prev;
}

void initialise(std::byte* v) {
  PoolHeader* h = header(v);
  if (h->magic == kPoolMagic) return;
  std::memset(h, 0, sizeof *h);
  push_free(v, kHeaderBytes, kMaxOrder);
  h->magic = kPoolMagic;
}

bool valid_block_offset(std::uint64_t offset) {
  return offset >= kHeaderBytes && offset < kSectionBytes &&
         (offset - kHeaderBytes) % (std::uint64_t{1} << kMinOrder) == 0;
}

// The block whose payload starts at `payload`, when there is one.
BlockHeader* block_of_payload(std::byte* v, std::uint64_t payload, std::uint32_t magic) {
  if (payload < kBlockHeaderBytes || !valid_block_offset(payload - kBlockHeaderBytes)) return nullptr;
  BlockHeader* b = block(v, payload - kBlockHeaderBytes);
  if (b->magic != magic || b->order < kMinOrder || b->order > kMaxOrder) return nullptr;
  if ((payload - kBlockHeaderBytes - kHeaderBytes) % (std::uint64_t{1} << b->order) != 0) return nullptr;
  return b;
}

std::uint64_t take_block(std::byte* v, unsigned order) {
  PoolHeader* h = header(v);
  unsigned found = order;
  while (found <= kMaxOrder && h->free_head[found] == 0) ++found;
  if (found > kMaxOrder) return 0;
  std::uint64_t offset = h->free_head[found];
  unlink_free(v, offset, found);
  while (found > order) {
    --found;
    push_free(v, offset + (std::uint64_t{1} << found), found);
  }
  return offset;
}

void give_back_block(std::byte* v, std::uint64_t offset, unsigned order) {
  while (order < kMaxOrder) {
    std::uint64_t buddy = kHeaderBytes + ((offset - kHeaderBytes) ^ (std::uint64_t{1} << order));
    BlockHeader* b = block(v, buddy);
    if (b->magic != kFreeMagic || b->order != order) break;
    unlink_free(v, buddy, order);
    // The upper half's header is payload now: no stale reference may match it.
    block(v, std::max(offset, buddy))->magic = 0;
    offset = std::min(offset, buddy);
    ++order;
  }
  push_free(v, offset, order);
}

void free_locked(std::byte* v, BlockHeader* b, std::uint64_t offset) {
  PoolHeader* h = header(v);
  h->used_bytes -= std::uint64_t{1} << b->order;
  --h->blocks_in_use;
  give_back_block(v, offset, b->order);
}

std::uint32_t reclaim_locked(std::byte* v) {
  std::vector<std::uint64_t> dead;
  std::vector<plat::ProcessIdentity> alive_cache;
  for (std::uint64_t at = kHeaderBytes; at < kSectionBytes;) {
    BlockHeader* b = block(v, at);
    if (b->order < kMinOrder || b->order > kMaxOrder) break;  // never happens in a sound pool
    if (b->magic == kUsedMagic) {
      plat::ProcessIdentity owner{b->owner_pid, 0, b->owner_start_time};
      bool known = false;
      for (const auto& p : alive_cache) known |= p.pid == owner.pid && p.start_time == owner.start_time;
      if (!known) {
        if (plat::is_process_alive(owner)) alive_cache.push_back(owner);
        else dead.push_back(at);
      }
    }
    at += std::uint64_t{1} << b->order;
  }
  for (std::uint64_t at : dead) free_locked(v, block(v, at), at);
  return static_cast<std::uint32_t>(dead.size());
}

void map_once() {
  Mapping& m = mapping();
  std::call_once(m.once, [&m] {
    m.lock = plat::create_mutex(nullptr, false, kLockName);
    plat::Handle section = plat::create_file_mapping(nullptr, kSectionBytes, kSectionName);
    if (m.lock == plat::kNullHandle || section == plat::kNullHandle) return;
    auto* v = static_cast<std::byte*>(plat::map_view_of_file(section, 0));
    if (v == nullptr) return;
    Guard guard(m.lock);
    if (!guard.held()) return;
    initialise(v);
    reclaim_locked(v);
    m.view = v;
  });
}

unsigned order_for(std::uint64_t bytes) {
  unsigned order = kMinOrder;
  while ((std::uint64_t{1} << order) < bytes) ++order;
  return order;
}

}  // namespace

std::byte* view() {
  map_once();
  return mapping().view;
}

std::uint64_t allocate(std::uint32_t size, bool zero_fill) {
  std::byte* v = view();
  std::uint64_t needed = std::uint64_t{size} + kBlockHeaderBytes;
  if (v == nullptr || size == 0 || needed > (std::uint64_t{1} << kMaxOrder)) return 0;
  unsigned order = order_for(needed);
  Guard guard(mapping().lock);
  if (!guard.held()) return 0;
  std::uint64_t offset = take_block(v, order);
  if (offset == 0 && reclaim_locked(v) != 0) offset = take_block(v, order);
  if (offset == 0) return 0;
  plat::ProcessIdentity me = plat::current_process();
  *block(v, offset) = BlockHeader{kUsedMagic, order, me.pid, size, me.start_time, 0};
  header(v)->used_bytes += std::uint64_t{1} << order;
  ++header(v)->blocks_in_use;
  if (zero_fill) std::memset(v + offset + kBlockHeaderBytes, 0, size);
  return offset + kBlockHeaderBytes;
}

bool release(std::uint64_t offset) {
  std::byte* v = view();
  if (v == nullptr) return false;
  Guard guard(mapping().lock);
  BlockHeader* b = guard.held() ? block_of_payload(v, offset, kUsedMagic) : nullptr;
  if (b == nullptr) return false;
  free_locked(v, b, offset - kBlockHeaderBytes);
  return true;
}

bool adopt(std::uint64_t offset) {
  std::byte* v = view();
  if (v == nullptr) return false;
  Guard guard(mapping().lock);
  BlockHeader* b = guard.held() ? block_of_payload(v, offset, kUsedMagic) : nullptr;
  if (b == nullptr) return false;
  plat::ProcessIdentity me = plat::current_process();
  b->owner_pid = me.pid;
  b->owner_start_time = me.start_time;
  return true;
}

std::uint32_t reclaim_dead_owners() {
  std::byte* v = view();
  if (v == nullptr) return 0;
  Guard guard(mapping().lock);
  return guard.held() ? reclaim_locked(v) : 0;
}

Status status() {
  std::byte* v = view();
  if (v == nullptr) return {};
  Guard guard(mapping().lock);
  if (!guard.held()) return {};
  return Status{std::uint64_t{1} << kMaxOrder, header(v)->used_bytes, header(v)->blocks_in_use};
}

}  // namespace qelmem::pool
