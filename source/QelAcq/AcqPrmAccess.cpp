#include "source/QelAcq/AcqPrmAccess.h"

#include <algorithm>

#include "source/QelAcq/AcqBlocks.h"

namespace {

template <typename Block>
std::uint32_t Take(Block* from, Block* to, std::uint32_t index) {
  const std::uint32_t* source = AcqPrmWords(from, index);
  if (source == nullptr) return 0;
  AcqClearModified(from, index);
  std::uint32_t* destination = AcqPrmWords(to, index);
  if (destination != nullptr && destination != source)
    std::copy_n(source, AcqPrmSpanWords(index), destination);
  return *source;
}

}  // namespace

AcqValidationContext AcqRecordContext(AcqDeviceRecord* record) {
  if (record == nullptr) return AcqValidationContext{};
  return AcqValidationContext{&record->levelCaps, &record->vicCaps, &record->camCaps, &record->vic,
                              &record->cam,       &record->vic,     &record->cam,     record};
}

const std::uint32_t* AcqNewPrmWords(const AcqValidationContext* context, std::uint32_t index) {
  if (context == nullptr) return nullptr;
  if (AcqIsCamPrm(index)) return AcqPrmWords(static_cast<const CamPrmBlock*>(context->camNew), index);
  return AcqPrmWords(static_cast<const VicPrmBlock*>(context->vicNew), index);
}

std::uint32_t AcqNewPrm(const AcqValidationContext* context, std::uint32_t index) {
  const std::uint32_t* words = AcqNewPrmWords(context, index);
  return words == nullptr ? 0 : *words;
}

std::uint32_t AcqTakePrm(AcqValidationContext* context, std::uint32_t index) {
  if (context == nullptr) return 0;
  if (AcqIsCamPrm(index)) return Take(context->camNew, context->camCurrent, index);
  return Take(context->vicNew, context->vicCurrent, index);
}
