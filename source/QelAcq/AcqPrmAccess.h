// Reading and taking parameters through a device's context. The index tells
// the block: below 2048 a CAM parameter, from 2048 a VIC parameter.
#pragma once

#include <cstdint>

#include "source/QelAcq/AcqValidationContext.h"

// A parameter's words in the blocks being set; null for an index that names
// no parameter or a context without the block.
const std::uint32_t* AcqNewPrmWords(const AcqValidationContext* context, std::uint32_t index);
// Its first word; 0 where the words above are null.
std::uint32_t AcqNewPrm(const AcqValidationContext* context, std::uint32_t index);

// Takes a parameter: clears its modified bit in the block being set and
// copies its words from that block into the current block. Answers the first
// word of its new value. Nothing happens for an index that names no parameter.
std::uint32_t AcqTakePrm(AcqValidationContext* context, std::uint32_t index);
