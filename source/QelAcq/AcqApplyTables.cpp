// The apply handlers of the CAM (120) and VIC (130) parameters, one per
// parameter index, of four kinds: store then apply, apply then store, store
// only, apply only (the applier stores). To store is to take the parameter:
// clear its modified bit in the block being set and copy its words into the
// current block. A handler answers its applier's status unchanged; a value
// stored before a refusal stays current, and the set road puts the old one
// back. An empty entry is a parameter without a hardware effect of its own.
#include "source/QelAcq/AcqApplyTables.h"

#include <algorithm>
#include <array>
#include <initializer_list>
#include <utility>

#include "source/QelAcq/AcqApply.h"
#include "source/QelAcq/AcqDeviceOps.h"
#include "source/QelAcq/AcqFeatureApply.h"
#include "source/QelAcq/AcqPrmAccess.h"

namespace {

constexpr QelStatus kMissingTable = 18006;

using Applier = QelStatus (*)(AcqValidationContext* context, std::uint32_t index);

QelStatus Geometry(AcqValidationContext* c, std::uint32_t index) { return AcqApplyPrmById(c, AcqPrmIdOf(index)); }
QelStatus Triggers(AcqValidationContext* c, std::uint32_t) { return AcqApplyTriggersNoId(c); }
QelStatus FrameTrigger(AcqValidationContext* c, std::uint32_t index) {
  return AcqApplyFrameTriggerAndTriggers(c, AcqPrmIdOf(index));
}
template <QelStatus (*F)(AcqValidationContext*)>
QelStatus Plain(AcqValidationContext* c, std::uint32_t) {
  return F(c);
}

template <std::uint32_t Index>
std::uint32_t Store(AcqValidationContext* c) {
  AcqTakePrm(c, Index);
  return 0;
}

template <std::uint32_t Index, Applier A>
std::uint32_t StoreThen(AcqValidationContext* c) {
  AcqTakePrm(c, Index);
  return A(c, Index);
}

template <std::uint32_t Index, Applier A>
std::uint32_t ThenStore(AcqValidationContext* c) {
  const QelStatus status = A(c, Index);
  AcqTakePrm(c, Index);
  return status;
}

// CAM 110: the frame trigger with its own id, and after it the plain trigger apply.
std::uint32_t FrameTriggerOfCam110(AcqValidationContext* c) {
  QelStatus status = FrameTrigger(c, 110);
  if (status == 0) status = AcqApplyTriggersNoId(c);
  AcqTakePrm(c, 110);
  return status;
}

// VIC 2151, reached only from VIC 2088's handler.
std::uint32_t BayerFlag(AcqValidationContext* c) {
  AcqTakePrm(c, 2151);
  return AcqApplyBayer(c);
}

// VIC 2088, the output format: geometry, Bayer, then the LUT, whose answer
// does not decide the format's.
std::uint32_t OutputFormat(AcqValidationContext* c) {
  AcqTakePrm(c, 2088);
  QelStatus status = Geometry(c, 2088);
  if (status == 0) status = BayerFlag(c);
  if (status == 0) AcqApplyLut(c);
  return status;
}

// VIC 2174, 2176 and 2177: the trigger group, then the board sync.
template <std::uint32_t Index>
std::uint32_t TriggersThenSync(AcqValidationContext* c) {
  AcqTakePrm(c, Index);
  QelStatus status = AcqApplyTriggersNoId(c);
  if (status == 0) status = AcqApplyBoardSync(c);
  return status;
}

enum class Kind {
  kEmpty,
  kStore,
  kStoreGeometry,
  kGeometryStore,
  kStoreFrequency,
  kFrequencyStore,
  kStorePixelClock,
  kTriggersStore,
  kStoreTriggers,
  kStoreFrameTrigger,
  kFrameTriggerStore,
  kCameraControlStore,
  kStoreCameraControl,
  kDataValidStore,
  kBayerStore,
  kStoreBayer,
  kStrobeStore,
  kStorePocl,
  kLutOnly,
  kCam110,
  kOutputFormat,
  kTriggersSync,
};

struct Row {
  Kind kind;
  std::initializer_list<std::pair<std::uint32_t, std::uint32_t>> ranges;  // first and last index
};

constexpr Kind KindIn(std::initializer_list<Row> rows, std::uint32_t index) {
  for (const Row& row : rows)
    for (const auto& [first, last] : row.ranges)
      if (index >= first && index <= last) return row.kind;
  return Kind::kEmpty;
}

constexpr Kind CamKind(std::uint32_t index) {
  return KindIn({{Kind::kStoreGeometry, {{0, 1}, {3, 3}, {5, 7}, {9, 10}, {12, 12}, {21, 21}, {23, 23}}},
                 {Kind::kGeometryStore, {{49, 58}, {60, 60}, {88, 88}, {100, 108}, {113, 113}}},
                 {Kind::kStoreFrequency, {{24, 24}}},
                 {Kind::kFrequencyStore, {{25, 25}}},
                 {Kind::kStorePixelClock, {{27, 27}, {59, 59}}},
                 {Kind::kTriggersStore, {{33, 40}, {42, 48}, {75, 80}}},
                 {Kind::kStoreTriggers, {{64, 64}, {70, 72}}},
                 {Kind::kCam110, {{110, 110}}},
                 {Kind::kCameraControlStore, {{61, 62}, {69, 69}, {73, 74}, {85, 87}}},
                 {Kind::kDataValidStore, {{95, 96}}},
                 {Kind::kBayerStore, {{109, 109}}},
                 {Kind::kStore,
                  {{11, 11}, {13, 13}, {20, 20}, {22, 22}, {29, 30}, {41, 41}, {63, 63}, {65, 66}, {89, 94}, {114, 118}}}},
                index);
}

constexpr Kind VicKind(std::uint32_t index) {
  return KindIn({{Kind::kStoreGeometry, {{2065, 2068}, {2135, 2135}}},
                 {Kind::kOutputFormat, {{2088, 2088}}},
                 {Kind::kLutOnly, {{2075, 2075}}},
                 {Kind::kStrobeStore, {{2077, 2081}, {2114, 2114}, {2133, 2133}}},
                 {Kind::kStoreTriggers,
                  {{2084, 2087}, {2101, 2103}, {2106, 2107}, {2109, 2110}, {2116, 2116}, {2122, 2123}, {2141, 2141},
                   {2144, 2147}}},
                 {Kind::kStoreFrameTrigger,
                  {{2092, 2092}, {2095, 2095}, {2104, 2105}, {2108, 2108}, {2113, 2113}, {2115, 2115}, {2124, 2126},
                   {2149, 2150}, {2161, 2161}}},
                 {Kind::kFrameTriggerStore, {{2137, 2140}, {2167, 2167}}},
                 {Kind::kTriggersSync, {{2174, 2174}, {2176, 2177}}},
                 {Kind::kStoreCameraControl, {{2111, 2111}}},
                 {Kind::kStoreBayer, {{2152, 2158}, {2168, 2171}}},
                 {Kind::kStorePocl, {{2172, 2172}}},
                 {Kind::kStore, {{2076, 2076}, {2093, 2093}, {2134, 2134}, {2173, 2173}}}},
                index);
}

template <std::uint32_t I, Kind K>
constexpr AcqPrmHandler HandlerOf() {
  if constexpr (K == Kind::kEmpty) return nullptr;
  else if constexpr (K == Kind::kStore) return Store<I>;
  else if constexpr (K == Kind::kStoreGeometry) return StoreThen<I, Geometry>;
  else if constexpr (K == Kind::kGeometryStore) return ThenStore<I, Geometry>;
  else if constexpr (K == Kind::kStoreFrequency) return StoreThen<I, Plain<AcqApplyPixelClockFrequency>>;
  else if constexpr (K == Kind::kFrequencyStore) return ThenStore<I, Plain<AcqApplyPixelClockFrequency>>;
  else if constexpr (K == Kind::kStorePixelClock) return StoreThen<I, Plain<AcqApplyPixelClock>>;
  else if constexpr (K == Kind::kTriggersStore) return ThenStore<I, Triggers>;
  else if constexpr (K == Kind::kStoreTriggers) return StoreThen<I, Triggers>;
  else if constexpr (K == Kind::kStoreFrameTrigger) return StoreThen<I, FrameTrigger>;
  else if constexpr (K == Kind::kFrameTriggerStore) return ThenStore<I, FrameTrigger>;
  else if constexpr (K == Kind::kCameraControlStore) return ThenStore<I, Plain<AcqApplyCameraControl>>;
  else if constexpr (K == Kind::kStoreCameraControl) return StoreThen<I, Plain<AcqApplyCameraControl>>;
  else if constexpr (K == Kind::kDataValidStore) return ThenStore<I, Plain<AcqApplyDataValid>>;
  else if constexpr (K == Kind::kBayerStore) return ThenStore<I, Plain<AcqApplyBayer>>;
  else if constexpr (K == Kind::kStoreBayer) return StoreThen<I, Plain<AcqApplyBayer>>;
  else if constexpr (K == Kind::kStrobeStore) return ThenStore<I, Plain<AcqApplyStrobe>>;
  else if constexpr (K == Kind::kStorePocl) return StoreThen<I, Plain<AcqApplyPoCL>>;
  else if constexpr (K == Kind::kLutOnly) return AcqApplyLut;
  else if constexpr (K == Kind::kCam110) return FrameTriggerOfCam110;
  else if constexpr (K == Kind::kOutputFormat) return OutputFormat;
  else return TriggersThenSync<I>;
}

template <std::size_t... I>
constexpr std::array<AcqPrmHandler, sizeof...(I)> CamTable(std::index_sequence<I...>) {
  return {HandlerOf<I, CamKind(I)>()...};
}

template <std::size_t... I>
constexpr std::array<AcqPrmHandler, sizeof...(I)> VicTable(std::index_sequence<I...>) {
  return {HandlerOf<kAcqVicPrmFirst + I, VicKind(kAcqVicPrmFirst + I)>()...};
}

constexpr std::array<AcqPrmHandler, kAcqCamPrmCount> kCamHandlers = CamTable(std::make_index_sequence<kAcqCamPrmCount>());
constexpr std::array<AcqPrmHandler, kAcqVicPrmCount> kVicHandlers = VicTable(std::make_index_sequence<kAcqVicPrmCount>());

}  // namespace

QelStatus InitVicPrmApplyTable(othStruct* table) {
  if (table == nullptr || table->vicApplyTable == nullptr) return kMissingTable;
  std::copy(kVicHandlers.begin(), kVicHandlers.end(), table->vicApplyTable);
  return 0;
}

QelStatus InitCamPrmApplyTable(othStruct* table) {
  if (table == nullptr || table->camApplyTable == nullptr) return kMissingTable;
  std::copy(kCamHandlers.begin(), kCamHandlers.end(), table->camApplyTable);
  return 0;
}
