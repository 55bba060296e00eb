// The rule families that the validator tables are made of. Internal to the
// validators and the geometry checks.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>

#include "source/QelAcq/AcqStatus.h"
#include "source/QelAcq/AcqValidationContext.h"

namespace acq_rules {

using Detail = std::uint32_t;

// Reads of one device: parameters from the blocks being set, capability
// words from the capability blocks. One index names both kinds (CAM below
// 2048); an index that names nothing reads 0.
class View {
 public:
  explicit View(AcqValidationContext* context) : context_(context) {}
  AcqValidationContext* context() const { return context_; }
  std::uint32_t prm(std::uint32_t index) const;
  const std::uint8_t* prmBytes(std::uint32_t index) const;
  std::uint32_t cap(std::uint32_t index) const;
  const std::uint32_t* capWords(std::uint32_t index) const;
  void clear(std::uint32_t index) const;
  void clear(std::span<const std::uint32_t> indexes) const;

 private:
  AcqValidationContext* context_;
};

// The parameter a validator checks. Its modified bit is cleared when the
// validator leaves, whatever it answers, unless the rule keeps it.
class OwnPrm : public View {
 public:
  OwnPrm(AcqValidationContext* context, std::uint32_t index) : View(context), index_(index) {}
  ~OwnPrm() {
    if (!keep_) clear(index_);
  }
  OwnPrm(const OwnPrm&) = delete;
  OwnPrm& operator=(const OwnPrm&) = delete;
  std::uint32_t index() const { return index_; }
  std::uint32_t v() const { return prm(index_); }
  Detail refuse(std::uint32_t kind) const { return QelStatusMake(index_, kind); }
  void keepBit() { keep_ = true; }

 private:
  std::uint32_t index_;
  bool keep_ = false;
};

inline Detail CapNotInitialised(std::uint32_t capIndex) { return QelStatusMake(capIndex, kAcqKindCapNotInitialised); }

// Rule families; each answers 0 or the parameter's refusal.
Detail Mask(const OwnPrm& p, std::uint32_t cap);
Detail StrictMask(const OwnPrm& p, std::uint32_t cap);
Detail GatedMask(const OwnPrm& p, bool gate, std::uint32_t cap);
Detail Range(const OwnPrm& p, std::uint32_t minimum, std::uint32_t maximum);
Detail SignedRange(const OwnPrm& p, std::uint32_t minimum, std::uint32_t maximum);
Detail Below(const OwnPrm& p, std::uint32_t limit);
Detail Available(const OwnPrm& p, std::uint32_t cap);
Detail Text(const OwnPrm& p);
Detail Ordered(const OwnPrm& p, std::uint32_t first, std::uint32_t second);

// A value against capabilities (minimum, maximum, step): out of range names
// `index` with 0x2A, not a multiple names it with 0x2B, a step of 0 names the
// step capability with 0x1E.
Detail RangeStep(const View& view, std::uint32_t index, std::uint64_t value, std::uint32_t minCap,
                 std::uint32_t maxCap, std::uint32_t stepCap);

// Feature enable: 0 accepted; otherwise the feature's capability must be
// non-zero (0x29) and no excluded feature enabled (0x2D), in the order the
// feature asks; then its parameters' validators run in order.
enum class Exclusions { afterCapability, first };
Detail Feature(const OwnPrm& p, std::uint32_t cap, std::initializer_list<std::uint32_t> excluded,
               Exclusions order, std::initializer_list<std::uint32_t> chain);

// Validators of the static tables, one index or several in order (stopping
// at the first refusal).
Detail Run(AcqValidationContext* context, std::uint32_t index);
Detail Run(AcqValidationContext* context, std::initializer_list<std::uint32_t> indexes);

// The capability word that CAM 5 selects: 1 vcap 2048, 2 vcap 2049, 4 vcap
// 2050, 8 vcap 2051; `selected` tells whether CAM 5 selects one at all.
std::uint32_t ModeLimit(const View& view, bool* selected);

using Gate = bool (*)(const View&);
inline bool Always(const View&) { return true; }
// A feature announced by its capability and enabled by its parameter.
template <std::uint32_t Cap, std::uint32_t Prm>
bool Enabled(const View& view) {
  return view.cap(Cap) != 0 && view.prm(Prm) != 0;
}
template <std::uint32_t Prm, std::uint32_t Value>
bool Equals(const View& view) {
  return view.prm(Prm) == Value;
}

// Table entries of the plain families.
template <std::uint32_t I>
Detail NoCheckOf(AcqValidationContext* context) {
  OwnPrm p(context, I);
  return 0;
}
template <std::uint32_t I, std::uint32_t Cap>
Detail MaskOf(AcqValidationContext* context) {
  OwnPrm p(context, I);
  return Mask(p, p.cap(Cap));
}
template <std::uint32_t I, std::uint32_t Cap>
Detail StrictMaskOf(AcqValidationContext* context) {
  OwnPrm p(context, I);
  return StrictMask(p, p.cap(Cap));
}
template <std::uint32_t I, std::uint32_t Cap, Gate G>
Detail GatedMaskOf(AcqValidationContext* context) {
  OwnPrm p(context, I);
  return GatedMask(p, G(p), p.cap(Cap));
}
template <std::uint32_t I, std::uint32_t MinCap, std::uint32_t MaxCap, Gate G>
Detail RangeOf(AcqValidationContext* context) {
  OwnPrm p(context, I);
  return G(p) ? Range(p, p.cap(MinCap), p.cap(MaxCap)) : 0;
}
template <std::uint32_t I, std::uint32_t MinCap, std::uint32_t MaxCap, Gate G>
Detail SignedRangeOf(AcqValidationContext* context) {
  OwnPrm p(context, I);
  return G(p) ? SignedRange(p, p.cap(MinCap), p.cap(MaxCap)) : 0;
}
template <std::uint32_t I, std::uint32_t MinCap, std::uint32_t MaxCap, std::uint32_t StepCap>
Detail RangeStepOf(AcqValidationContext* context) {
  OwnPrm p(context, I);
  return RangeStep(p, I, p.v(), MinCap, MaxCap, StepCap);
}
template <std::uint32_t I, std::uint32_t Cap, Gate G>
Detail BelowOf(AcqValidationContext* context) {
  OwnPrm p(context, I);
  return G(p) ? Below(p, p.cap(Cap)) : 0;
}
template <std::uint32_t I, std::uint32_t Cap>
Detail AvailableOf(AcqValidationContext* context) {
  OwnPrm p(context, I);
  return Available(p, p.cap(Cap));
}
template <std::uint32_t I>
Detail TextOf(AcqValidationContext* context) {
  OwnPrm p(context, I);
  return Text(p);
}
template <std::uint32_t I, std::uint32_t First, std::uint32_t Second>
Detail OrderedOf(AcqValidationContext* context) {
  OwnPrm p(context, I);
  return Ordered(p, p.prm(First), p.prm(Second));
}

}  // namespace acq_rules
