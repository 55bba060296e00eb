// A measurement point of the transfer worker, for speed measurements only
// (bench/xfer_grab_bench.cpp times the road from a board's end-of-frame
// message to the client's callback with it).
//
// No deliverable defines XferWorkerMessageTaken: the worker refers to it
// weakly, so in a shipped process the reference is null and the worker's
// only cost is one test of that address per message. A program that wants
// the measurement defines the function and exports it from its executable
// (-Wl,--export-dynamic-symbol=XferWorkerMessageTaken); the server driver,
// once loaded, then calls it on the worker thread with the ten words of
// every transfer message the moment the board library hands the message
// over, before the message is handled. It must return at once and touch
// nothing of the driver's.
#pragma once

#include <cstdint>

extern "C" __attribute__((visibility("default"))) void XferWorkerMessageTaken(const std::uint32_t* words);
