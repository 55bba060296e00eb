// The validation pass over the marked parameters of a device's new blocks.
#include <algorithm>

#include "source/QelAcq/AcqBlocks.h"
#include "source/QelAcq/AcqValidators.h"

namespace {

void Note(AcqValidationTrace* trace, std::uint32_t index) {
  if (trace != nullptr && trace->count < trace->indexes.size())
    trace->indexes[trace->count++] = static_cast<std::uint16_t>(index);
}

template <typename Block>
std::uint32_t ValidateMarked(AcqValidationContext* context, const Block* block, const AcqValidator* table,
                             std::uint32_t first, std::uint32_t count, AcqValidationTrace* trace) {
  if (table == nullptr) return 0;
  for (std::uint32_t entry = 0; entry < count; ++entry) {
    // Read the bit now: an earlier group or feature may have taken it.
    if (!AcqIsModified(block, first + entry) || table[entry] == nullptr) continue;
    Note(trace, first + entry);
    const std::uint32_t detail = table[entry](context);
    if (detail != 0) return detail;
  }
  return 0;
}

bool Usable(const AcqValidationContext* context) {
  return context != nullptr && context->vicCaps != nullptr && context->camCaps != nullptr &&
         context->vicNew != nullptr && context->camNew != nullptr;
}

}  // namespace

std::uint32_t AcqRunValidator(AcqValidationContext* context, std::uint32_t index) {
  if (!Usable(context)) return 0;
  AcqValidator validator = nullptr;
  if (AcqIsCamPrm(index)) validator = CamPrmValidatorTable[index];
  if (AcqIsVicPrm(index)) validator = VicPrmValidatorTable[index - kAcqVicPrmFirst];
  return validator == nullptr ? 0 : validator(context);
}

std::uint32_t AcqValidateMarkedPrms(AcqValidationContext* context, const AcqValidator* camTable,
                                    const AcqValidator* vicTable, AcqValidationTrace* trace) {
  if (!Usable(context)) return QelStatusMake(1, 0x36);
  const std::uint32_t detail = ValidateMarked(context, context->camNew, camTable, 0, kAcqCamPrmCount, trace);
  if (detail != 0) return detail;
  return ValidateMarked(context, context->vicNew, vicTable, kAcqVicPrmFirst, kAcqVicPrmCount, trace);
}

std::uint32_t AcqValidatePrmSet(AcqValidationContext* context, AcqValidationTrace* trace) {
  if (!Usable(context)) return QelStatusMake(1, 0x36);
  const AcqModifiedSet cam = context->camNew->modified, vic = context->vicNew->modified;
  const std::uint32_t detail =
      AcqValidateMarkedPrms(context, CamPrmValidatorTable.data(), VicPrmValidatorTable.data(), trace);
  context->camNew->modified = cam;
  context->vicNew->modified = vic;
  return detail;
}
