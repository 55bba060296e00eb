// The client side of the SDK's buffer commands 9000-9037: each stub turns a
// call on a buffer handle (or, for the creating stubs, a server handle) into a
// request to the server that owns the handle, waits for the answer through
// the client exchange (QelCapiExchange.h, with the busy retry) and unpacks it.
//
// Handles: a buffer handle is accepted when it is readable for 32 bytes, its
// tag is 0xcccc0101 and its record is not null (else 0x800201); a server
// handle when its tag is 0xcccc0040 (else 0x801501). The creating stubs give
// out a client block, a zero-filled heap block of three handles (the buffer's,
// its parent's and its root's, the last two filled by QelBufferGetPrm), freed
// by a successful QelBufferFree.
//
// Pointer arguments are checked before anything is sent: null gives kind
// 0x36, an unreadable or unwritable range 0x35 (0x32 for a single value), the
// argument's 1-based position in the detail. Every refusal is logged.
#pragma once

#include <cstdint>

#include "source/QelAPI/QelHandle.h"
#include "source/QelAPI/QelStatus.h"

inline constexpr QelStatus kQelCapiBadBuffer = 0x800201;
inline constexpr QelStatus kQelCapiBadServer = 0x801501;
inline constexpr std::uint32_t kQelCapiNameField = 256;

// The client block of a created buffer.
struct QelBufferClientBlock {
  QelHandle buffer;
  QelHandle parent;
  QelHandle root;
};
static_assert(sizeof(QelBufferClientBlock) == 96);

// ---- Creation and release ---------------------------------------------------------
QelStatus QelBufferFree(QelHandle* buffer);                                               // 9000
QelStatus QelBufferNew(const QelHandle* server, std::uint32_t width, std::uint32_t height, std::uint32_t format,
                       std::uint32_t type, QelHandle** buffer);                            // 9001
QelStatus QelBufferNew1D(const QelHandle* server, std::uint32_t width, std::uint32_t format, std::uint32_t type,
                         QelHandle** buffer);
QelStatus QelBufferNew2D(const QelHandle* server, std::uint32_t width, std::uint32_t height, std::uint32_t format,
                         std::uint32_t type, QelHandle** buffer);
QelStatus QelBufferNewEx(const QelHandle* server, std::uint32_t width, std::uint32_t height, std::uint32_t format,
                         std::uint32_t type, std::uint64_t physical, std::uint64_t address,
                         QelHandle** buffer);                                              // 9002
QelStatus QelBufferNewChild(const QelHandle* parent, std::uint32_t x, std::uint32_t y, std::uint32_t width,
                            std::uint32_t height, QelHandle** child);                      // 9003
QelStatus QelBufferNewChild1D(const QelHandle* parent, std::uint32_t x, std::uint32_t width, QelHandle** child);
QelStatus QelBufferNewChild2D(const QelHandle* parent, std::uint32_t x, std::uint32_t y, std::uint32_t width,
                              std::uint32_t height, QelHandle** child);
QelStatus QelBufferNewByName(const QelHandle* server, std::uint32_t type, const char* fileName,
                             QelHandle** buffer);                                          // 9004
QelStatus QelBufferNewShared(const QelHandle* server, std::uint32_t width, std::uint32_t height,
                             std::uint32_t format, std::uint32_t type, const char* name,
                             QelHandle** buffer);                                          // 9035
QelStatus QelBufferAttachShared(const QelHandle* server, std::uint32_t type, const char* name,
                                QelHandle** buffer);                                       // 9036

// ---- Parameters ------------------------------------------------------------------
// 0xA0020 and 0xB0020 give the address of the root or parent handle kept in
// the client block (value is a QelHandle**); other ids copy id & 0xFFFF bytes.
QelStatus QelBufferGetPrm(QelHandle* buffer, std::uint32_t id, void* value);              // 9005
QelStatus QelBufferSetPrmEx(const QelHandle* buffer, std::uint32_t id, const void* value); // 9006
// The by-value form of 9006: ids of at most 4 bytes (else 0x800235, nothing sent).
QelStatus QelBufferSetPrm(const QelHandle* buffer, std::uint32_t id, std::uint32_t value);
QelStatus QelBufferGetCap(const QelHandle* buffer, std::uint32_t id, void* value);        // 9007

// ---- Data ------------------------------------------------------------------------
QelStatus QelBufferRead(QelHandle* buffer, std::uint64_t offset, std::uint32_t size, void* data);        // 9008
QelStatus QelBufferWrite(QelHandle* buffer, std::uint64_t offset, std::uint32_t size, const void* data); // 9009
QelStatus QelBufferReadDots(const QelHandle* buffer, std::uint32_t x, std::uint32_t y, std::uint32_t count,
                            const std::uint8_t* codes, std::uint32_t size, void* data);                  // 9010
QelStatus QelBufferWriteDots(const QelHandle* buffer, std::uint32_t x, std::uint32_t y, std::uint32_t count,
                             const std::uint8_t* codes, std::uint32_t size, const void* data);           // 9011
QelStatus QelBufferReadElement(const QelHandle* buffer, std::uint32_t x, std::uint32_t y, std::uint32_t size,
                               void* element);                                                           // 9012
QelStatus QelBufferWriteElement(const QelHandle* buffer, std::uint32_t x, std::uint32_t y, std::uint32_t size,
                                const void* element);                                                    // 9013
QelStatus QelBufferReadElementValue(const QelHandle* buffer, std::uint32_t x, std::uint32_t y,
                                    void* value /* 12 bytes */);                                         // 9014
QelStatus QelBufferWriteElementValue(const QelHandle* buffer, std::uint32_t x, std::uint32_t y,
                                     const void* value /* 12 bytes */);                                  // 9015
QelStatus QelBufferReadLine(const QelHandle* buffer, std::int32_t x1, std::int32_t y1, std::int32_t x2,
                            std::int32_t y2, std::uint32_t* count, std::uint32_t size, void* data);      // 9016
QelStatus QelBufferWriteLine(const QelHandle* buffer, std::int32_t x1, std::int32_t y1, std::int32_t x2,
                             std::int32_t y2, std::uint32_t* count, std::uint32_t size, const void* data); // 9017
QelStatus QelBufferReadRect(const QelHandle* buffer, std::uint32_t x, std::uint32_t y, std::uint32_t width,
                            std::uint32_t height, std::uint32_t size, void* data);                       // 9018
QelStatus QelBufferWriteRect(const QelHandle* buffer, std::uint32_t x, std::uint32_t y, std::uint32_t width,
                             std::uint32_t height, std::uint32_t size, const void* data);                // 9019
QelStatus QelBufferClear(const QelHandle* buffer, std::uint32_t value);                                  // 9020
QelStatus QelBufferClearEx(const QelHandle* buffer, std::uint32_t size, const void* value);              // 9021
QelStatus QelBufferCopy(QelHandle* source, std::uint32_t x, std::uint32_t y, QelHandle* destination);    // 9022
QelStatus QelBufferCopyRect(QelHandle* source, std::uint32_t x, std::uint32_t y, std::uint32_t width,
                            std::uint32_t height, QelHandle* destination, std::uint32_t dx,
                            std::uint32_t dy);                                                           // 9023
QelStatus QelBufferLoad(const QelHandle* buffer, std::uint32_t kind, const char* fileName);             // 9024
QelStatus QelBufferSave(const QelHandle* buffer, std::uint32_t kind, const char* fileName);             // 9025
QelStatus QelBufferClearBlack(const QelHandle* buffer);                                                  // 9026
QelStatus QelBufferDecodeBayer(const QelHandle* source, const QelHandle* destination, std::uint32_t method,
                               const void* gains /* 12 bytes */, const QelHandle* lut);                  // 9027
QelStatus QelBufferComputeWhiteBalance(const QelHandle* buffer, std::uint32_t method,
                                       void* gains /* 12 bytes */);                                      // 9028
QelStatus QelBufferConvertFormat(const QelHandle* source, const QelHandle* destination,
                                 std::uint32_t method);                                                  // 9029
QelStatus QelBufferSplitPlanes(const QelHandle* source, const QelHandle* plane0, const QelHandle* plane1,
                               const QelHandle* plane2, std::uint32_t method);                           // 9030
QelStatus QelBufferMergePlanes(const QelHandle* plane0, const QelHandle* plane1, const QelHandle* plane2,
                               const QelHandle* destination, std::uint32_t method);                      // 9031
