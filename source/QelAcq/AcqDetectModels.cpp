// The device types a board model offers, by its model code and its firmware's
// option bits. Each row starts from its base list; then its tests run in
// order, each passing test replacing the whole list, so the last one that
// passes decides.
#include <cstring>
#include <initializer_list>

#include "source/QelAcq/AcqBoardInputs.h"
#include "source/QelAcq/AcqDetect.h"

namespace {

constexpr std::uint32_t kModelOffset = 38;
constexpr std::uint32_t kExtensionOffset = 12;
constexpr std::uint32_t kDrawingOffset = 2;
constexpr std::uint8_t kSingleConnector = 0x01;
constexpr std::uint16_t kSingleTypeDrawing = 0x816;
// Model codes made of bits 0, 1 and 3 alone (but 1 and 2) name no board of this family.
constexpr std::uint16_t kFamilyBits = 0xFFF4;

bool Bit(std::uint16_t word, unsigned bit) { return ((word >> bit) & 1u) != 0; }

bool OneOf(std::uint16_t code, std::initializer_list<std::uint16_t> codes) {
  for (std::uint16_t c : codes)
    if (c == code) return true;
  return false;
}

class List {
 public:
  explicit List(AcqCandidates* out) : out_(out) {}
  void set(std::initializer_list<std::uint32_t> types) {
    out_->types.fill(0);
    std::uint32_t k = 0;
    for (std::uint32_t type : types) out_->types[k++] = type;
  }

 private:
  AcqCandidates* out_;
};

// The rows whose model code carries the family's dual-connector models.
void DualRows(std::uint16_t f, List& list) {
  list.set({2, 3, 4, 5});
  if (Bit(f, 9)) list.set({10, 6});
  if (Bit(f, 7)) list.set({9});
}

void ConnectorOptionRows(std::uint16_t f, bool single, List& list) {
  if (single) list.set({2, 4}); else list.set({2, 3, 4, 5});
  if (Bit(f, 9)) { if (single) list.set({2, 4}); else list.set({10, 6}); }
  if (Bit(f, 7)) list.set({9, 11});
  if (Bit(f, 7) && Bit(f, 9)) list.set({9});
}

void SingleConnectorRows(std::uint16_t f, bool single, std::uint16_t drawing, List& list) {
  list.set({1, 6});
  if (single) list.set({2, 4});
  if (drawing == kSingleTypeDrawing) list.set({2});
  if (Bit(f, 0) || Bit(f, 1)) list.set({7});
  if (Bit(f, 7)) list.set({9});
  if (Bit(f, 14)) list.set({13});
}

}  // namespace

AcqCandidates AcqChooseCandidates(const std::uint8_t* eeprom, std::uint16_t f) {
  AcqCandidates result;
  const std::uint16_t model = AcqField16(eeprom, kModelOffset);
  if (model > 2 && (model & kFamilyBits) == 0) return result;
  result.verdict = AcqModelVerdict::kAccepted;
  const bool single = (eeprom[kExtensionOffset] & kSingleConnector) != 0;
  List list(&result);
  const std::uint16_t code = model & 0xFFF7;
  if (code == 0) {
    list.set({1, 2, 3, 4, 5});
  } else if (OneOf(code, {2, 130})) {
    list.set({2, 3, 4, 5});
    if (Bit(f, 0)) list.set({1, 4});
    if (Bit(f, 7)) list.set({9});
    if (Bit(f, 9)) list.set({10, 6});
  } else if (OneOf(code, {4, 5})) {
    list.set({1, 6});
    if (Bit(f, 0)) list.set({8});
    if (Bit(f, 2) || Bit(f, 3)) list.set({7});
    if (Bit(f, 1)) list.set({2, 3, 4, 5});
  } else if (code == 6) {
    list.set({2, 3, 4, 5});
  } else if (code == 17) {
    list.set({12});
  } else if (code == 65) {
    list.set({2, 4});
  } else if (OneOf(code, {258, 514, 2050})) {
    DualRows(f, list);
  } else if (OneOf(code, {4098, 8194, 16386})) {
    ConnectorOptionRows(f, single, list);
  } else if (OneOf(code, {1, 32, 33, 129, 257, 513, 1025, 2049, 4097, 8193, 16385, 32769})) {
    SingleConnectorRows(f, single, AcqField16(eeprom, kDrawingOffset), list);
  } else {
    result.verdict = AcqModelVerdict::kUnknown;
  }
  return result;
}
