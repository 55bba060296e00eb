// The manager's answers to the back end about a transfer's sources.
#pragma once

#include <cstdint>

#include "source/QelAPI/QelHandle.h"
#include "source/QelAPI/QelStatus.h"
#include "source/QelXfer/XferRecords.h"

// The acquisition handle behind a source: the handle itself for an
// acquisition source, else the first acquisition source with a pair to the
// same object; null when there is none.
const QelHandle* XferResolveSource(XferObject* xfer, const QelHandle* handle);
// Its connector: 0x4C00056 for a null out, 0x4C0005B without an acquisition.
QelStatus XferGetSourceConnector(XferObject* xfer, const QelHandle* handle, std::uint32_t* connector);
// The width and height of the image the acquisition delivers, the width
// widened to the device's line alignment.
std::uint32_t XferGetDstWidth(const QelHandle* source);
std::uint32_t XferGetDstHeight(const QelHandle* source);
