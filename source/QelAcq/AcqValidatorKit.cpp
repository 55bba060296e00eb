#include "source/QelAcq/AcqValidatorKit.h"

#include <cstring>

#include "source/QelAcq/AcqBlocks.h"
#include "source/QelAcq/AcqPrmAccess.h"
#include "source/QelAcq/AcqValidators.h"

namespace acq_rules {

std::uint32_t View::prm(std::uint32_t index) const { return AcqNewPrm(context_, index); }

const std::uint8_t* View::prmBytes(std::uint32_t index) const {
  return reinterpret_cast<const std::uint8_t*>(AcqNewPrmWords(context_, index));
}

const std::uint32_t* View::capWords(std::uint32_t index) const {
  if (context_ == nullptr) return nullptr;
  if (AcqIsCamCap(index)) return AcqCapWords(static_cast<const AcqCamCapBlock*>(context_->camCaps), index);
  return AcqCapWords(static_cast<const AcqVicCapBlock*>(context_->vicCaps), index);
}

std::uint32_t View::cap(std::uint32_t index) const {
  const std::uint32_t* words = capWords(index);
  return words == nullptr ? 0 : *words;
}

void View::clear(std::uint32_t index) const {
  if (context_ == nullptr) return;
  if (AcqIsCamPrm(index))
    AcqClearModified(context_->camNew, index);
  else
    AcqClearModified(context_->vicNew, index);
}

void View::clear(std::span<const std::uint32_t> indexes) const {
  for (std::uint32_t index : indexes) clear(index);
}

Detail Mask(const OwnPrm& p, std::uint32_t cap) {
  if (p.v() == 0 || cap == 0 || (p.v() & cap) != 0) return 0;
  return p.refuse(kAcqKindNotSupported);
}

Detail StrictMask(const OwnPrm& p, std::uint32_t cap) {
  if (p.v() == 0 || (p.v() & cap) != 0) return 0;
  return p.refuse(kAcqKindNotSupported);
}

Detail GatedMask(const OwnPrm& p, bool gate, std::uint32_t cap) {
  if (!gate || (p.v() & cap) != 0) return 0;
  return p.refuse(kAcqKindNotSupported);
}

Detail Range(const OwnPrm& p, std::uint32_t minimum, std::uint32_t maximum) {
  return p.v() >= minimum && p.v() <= maximum ? 0 : p.refuse(kQelKindOutOfRange);
}

Detail SignedRange(const OwnPrm& p, std::uint32_t minimum, std::uint32_t maximum) {
  const auto value = static_cast<std::int32_t>(p.v());
  const bool inside = value >= static_cast<std::int32_t>(minimum) && value <= static_cast<std::int32_t>(maximum);
  return inside ? 0 : p.refuse(kQelKindOutOfRange);
}

Detail Below(const OwnPrm& p, std::uint32_t limit) { return p.v() < limit ? 0 : p.refuse(kQelKindOutOfRange); }

Detail Available(const OwnPrm& p, std::uint32_t cap) {
  return p.v() != 0 && cap == 0 ? p.refuse(kAcqKindNotAvailable) : 0;
}

Detail Text(const OwnPrm& p) {
  const std::uint8_t* bytes = p.prmBytes(p.index());
  const std::size_t size = 4 * AcqPrmSpanWords(p.index());
  if (bytes == nullptr || std::memchr(bytes, 0, size) != nullptr) return 0;
  return p.refuse(kAcqKindNotSupported);
}

Detail Ordered(const OwnPrm& p, std::uint32_t first, std::uint32_t second) {
  return first <= second ? 0 : p.refuse(kQelKindOutOfRange);
}

Detail RangeStep(const View& view, std::uint32_t index, std::uint64_t value, std::uint32_t minCap,
                 std::uint32_t maxCap, std::uint32_t stepCap) {
  if (value < view.cap(minCap) || value > view.cap(maxCap)) return QelStatusMake(index, kQelKindOutOfRange);
  const std::uint32_t step = view.cap(stepCap);
  if (step == 0) return CapNotInitialised(stepCap);
  return value % step == 0 ? 0 : QelStatusMake(index, kAcqKindNotSupported);
}

namespace {

bool AnyEnabled(const View& view, std::initializer_list<std::uint32_t> indexes) {
  for (std::uint32_t index : indexes)
    if (view.prm(index) != 0) return true;
  return false;
}

}  // namespace

Detail Feature(const OwnPrm& p, std::uint32_t cap, std::initializer_list<std::uint32_t> excluded,
               Exclusions order, std::initializer_list<std::uint32_t> chain) {
  if (p.v() == 0) return 0;
  const bool conflict = AnyEnabled(p, excluded);
  if (order == Exclusions::first && conflict) return p.refuse(kAcqKindConflict);
  if (cap == 0) return p.refuse(kAcqKindNotAvailable);
  if (conflict) return p.refuse(kAcqKindConflict);
  return Run(p.context(), chain);
}

Detail Run(AcqValidationContext* context, std::uint32_t index) { return AcqRunValidator(context, index); }

Detail Run(AcqValidationContext* context, std::initializer_list<std::uint32_t> indexes) {
  for (std::uint32_t index : indexes) {
    const Detail detail = Run(context, index);
    if (detail != 0) return detail;
  }
  return 0;
}

std::uint32_t ModeLimit(const View& view, bool* selected) {
  std::uint32_t cap = 0;
  switch (view.prm(5)) {
    case 1: cap = 2048; break;
    case 2: cap = 2049; break;
    case 4: cap = 2050; break;
    case 8: cap = 2051; break;
    default: break;
  }
  if (selected != nullptr) *selected = cap != 0;
  return cap == 0 ? 0 : view.cap(cap);
}

}  // namespace acq_rules
