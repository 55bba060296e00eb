// The request fuzzer's seeds: the requests the driver's own tests send,
// written as programs (RequestProgram.h).
#pragma once

#include <vector>

#include "robustness/fuzz/FuzzSupport.h"

std::vector<fuzz_support::SeedFile> RequestSeeds();
