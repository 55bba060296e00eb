#include "platform/kernel/physical_memory_internal.h"

namespace plat::kernel::physmem_detail {

bool take_range(FreeRanges& ranges, std::uint64_t length, std::uint64_t limit,
                std::uint64_t* start) {
  for (auto it = ranges.begin(); it != ranges.end(); ++it) {
    auto [first, count] = *it;
    if (first >= limit || limit - first < length) return false;  // later ranges start higher
    if (count < length) continue;
    ranges.erase(it);
    if (count > length) ranges[first + length] = count - length;
    *start = first;
    return true;
  }
  return false;
}

void give_back_range(FreeRanges& ranges, std::uint64_t start, std::uint64_t length) {
  auto next = ranges.lower_bound(start);
  if (next != ranges.end() && start + length == next->first) {
    length += next->second;
    next = ranges.erase(next);
  }
  if (next != ranges.begin()) {
    auto previous = std::prev(next);
    if (previous->first + previous->second == start) {
      previous->second += length;
      return;
    }
  }
  ranges[start] = length;
}

}  // namespace plat::kernel::physmem_detail
