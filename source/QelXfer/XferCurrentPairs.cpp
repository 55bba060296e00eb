// The current-pair table of this process: per server, 32 places that
// remember which pair of a group the back end works on between its calls.
#include <array>
#include <mutex>

#include "source/QelXfer/XferCurrentPairs.h"
#include "source/QelXfer/XferInternal.h"
#include "source/QelXfer/XferStatus.h"

namespace {

constexpr std::uint32_t kServers = 16;
constexpr std::uint32_t kPlaces = 32;

struct CurrentPair {
  const XferObject* xfer;
  const XferSource* source;
  const XferDestinationGroup* group;
  XferPair* pair;
};

struct Table {
  std::mutex guard;
  std::array<std::array<CurrentPair, kPlaces>, kServers> places{};
};

Table& Pairs() {
  static Table table;
  return table;
}

std::uint32_t ServerOf(const XferObject* xfer) {
  const QelHandle& handle = xfer->handle;
  if (HandleIsHostServer(&handle) || HandleIsServerF8(&handle)) return 0;
  const std::uint32_t index = ((handle.server >> 8) & 0xFFu);
  return index == 0 ? 0 : (index - 1) % kServers;
}

}  // namespace

QelStatus XferRememberCurrentPair(const XferObject* xfer, const XferSource* source, const XferDestinationGroup* group,
                                  XferPair* pair) {
  Table& table = Pairs();
  std::lock_guard lock(table.guard);
  for (auto& server : table.places)
    for (CurrentPair& place : server)
      if (place.xfer == xfer && place.source == source && place.group == group) {
        place.pair = pair;
        return QEL_OK;
      }
  for (CurrentPair& place : table.places[ServerOf(xfer)])
    if (place.xfer == nullptr) {
      place = CurrentPair{xfer, source, group, pair};
      return QEL_OK;
    }
  return kXferNoMemory;
}

XferPair* XferTakeCurrentPair(const XferObject* xfer, const XferSource* source, const XferDestinationGroup* group,
                              std::uint32_t* ordinal) {
  Table& table = Pairs();
  std::lock_guard lock(table.guard);
  for (auto& server : table.places)
    for (CurrentPair& place : server) {
      if (place.xfer != xfer || place.source != source || place.group != group) continue;
      XferPair* pair = place.pair;
      std::uint32_t n = 0;
      for (const XferPair* p = group->first; p != nullptr && p != pair; p = p->next) ++n;
      if (ordinal != nullptr) *ordinal = n;
      place = CurrentPair{};
      return pair;
    }
  if (ordinal != nullptr) *ordinal = 0;
  return nullptr;
}

void XferForgetCurrentPairs(const XferObject* xfer) {
  Table& table = Pairs();
  std::lock_guard lock(table.guard);
  for (auto& server : table.places)
    for (CurrentPair& place : server)
      if (xfer == nullptr || place.xfer == xfer) place = CurrentPair{};
}
