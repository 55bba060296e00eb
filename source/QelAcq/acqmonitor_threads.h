// The monitor's two threads in each process and its message channel: the
// message thread serves the requests that monitors address to this process;
// the event thread delivers the events of the devices this process monitors.
#pragma once

#include <cstdint>

#include "source/QelAPI/QelHandle.h"
#include "source/QelAPI/QelStatus.h"

// Start and stop of both threads (counted) and of this process's channel.
QelStatus AcqMonitorStartThreads();
QelStatus AcqMonitorStopThreads();
QelStatus AcqMonitorInitHandles();
void AcqMonitorFreeHandles();
// This process's monitor handle of the slot; null outside its start and end.
QelHandle* AcqMonitorHandleOf(std::uint32_t board, std::uint32_t device);

// A message to the acquiring process of (board, device): its status, the
// output copied out (at most 1024 bytes each way). 0x600071 when no process
// has the device open, 0x400032 when that process died.
QelStatus AcqMonitorSendMessage(std::uint32_t board, std::uint32_t device, std::uint32_t type, const void* input,
                                std::uint32_t inputSize, void* output, std::uint32_t outputSize);
// The event thread rebuilds its list of devices; `wait` waits (up to 2000 ms,
// API lock released) until it has.
void AcqMonitorRefreshEventThread(bool wait);
