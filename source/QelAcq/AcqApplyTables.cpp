// No parameter has a hardware apply handler yet: every entry stays empty, so
// applying a set only takes its values.
#include "source/QelAcq/AcqApplyTables.h"

#include <algorithm>

namespace {

constexpr QelStatus kMissingTable = 18006;

}  // namespace

QelStatus InitVicPrmApplyTable(othStruct* table) {
  if (table == nullptr || table->vicApplyTable == nullptr) return kMissingTable;
  std::fill_n(table->vicApplyTable, kAcqVicPrmCount, nullptr);
  return 0;
}

QelStatus InitCamPrmApplyTable(othStruct* table) {
  if (table == nullptr || table->camApplyTable == nullptr) return kMissingTable;
  std::fill_n(table->camApplyTable, kAcqCamPrmCount, nullptr);
  return 0;
}
