#include "firmware/win32/QuilletShared.h"

#include <memory>

#include "platform/win/sections.h"
#include "source/QelHost/QelHostInternal.h"

namespace {

QuilletSharedData* MapShared() {
  auto* shared = static_cast<QuilletSharedData*>(
      plat::map_module_shared_data(kQuilletSharedDataName, sizeof(QuilletSharedData)));
  if (shared != nullptr) return shared;
  // Outside a machine nothing is shared; the process still gets zeroed tables.
  static auto fallback = std::make_unique<QuilletSharedData>();
  return fallback.get();
}

}  // namespace

QuilletSharedData* QuilletGetSharedData() {
  static QuilletSharedData* const shared = MapShared();
  return shared;
}

HostSharedTables* HostGetSharedTables() { return &QuilletGetSharedData()->host; }
