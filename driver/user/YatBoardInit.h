// The first-time initialisation of one board, run by the first opener of all.
#pragma once

#include <cstdint>

#include "driver/user/QelHwStatus.h"

// Initialises the board's entry of the shared table; on success the entry's
// DMA owners are free and it is marked initialised, otherwise the status is
// kept as the entry's init error. Returns the status.
QelHwStatus Yat_InitBoardOnce(std::uint32_t board);

