// Firmware header operations: recognise and read the 186-byte header and the
// 92-byte record field by field, convert a record into a header, read a
// header from a firmware file, turn it into display text, keep it as keyed
// text in the configuration store, add up firmware and compare headers.
// No operation keeps state; buffers are (address, size in bytes).
#pragma once

#include <cstdint>

#include "driver/user/CbhRecords.h"
#include "driver/user/QelHwStatus.h"

// --- Recognition (CbhFields.cpp) ---
bool Cbh_IsValid(const void* buffer, std::uint32_t size);
QelHwStatus Cbh_Check(const void* header, std::uint32_t size, std::uint32_t* out);
// A valid record at offset 0, else at size - 92; its address is stored when
// `record` is not null.
bool Cbh_IsValidFlashRecord(const void* buffer, std::uint32_t size, const void** record);
QelHwStatus Cbh_GetForm(const void* buffer, std::uint32_t size, std::uint32_t* form,
                        std::uint32_t* formSize);
QelHwStatus Cbh_Locate(const void* buffer, std::uint32_t size, const void** address,
                       std::uint32_t* foundSize, std::uint32_t* form);
QelHwStatus Cbh_GetField(const void* buffer, std::uint32_t size, std::uint32_t id, void* destination,
                         std::uint32_t destinationSize);
QelHwStatus Cbh_BuildFromFlashRecord(const void* record, void* header);

// --- Header field readers: null pointer -2, wrong magic (or a header shorter
// than the field) -5007 ---
QelHwStatus Cbh_GetHeaderSize(const void* header, std::uint32_t size, std::uint32_t* out);
QelHwStatus Cbh_GetComment(const void* header, std::uint32_t size, char* out, std::uint32_t outSize);
QelHwStatus Cbh_GetChecksum(const void* header, std::uint32_t size, std::uint32_t* out);
QelHwStatus Cbh_GetVersion(const void* header, std::uint32_t size, void* out, std::uint32_t outSize);
QelHwStatus Cbh_GetCreationDate(const void* header, std::uint32_t size, void* out,
                                std::uint32_t outSize);
QelHwStatus Cbh_GetFirmwareSize(const void* header, std::uint32_t size, std::uint32_t* out);
QelHwStatus Cbh_GetModifyDate(const void* header, std::uint32_t size, void* out,
                              std::uint32_t outSize);
QelHwStatus Cbh_GetOptionBits(const void* header, std::uint32_t size, std::uint32_t* out);
QelHwStatus Cbh_GetFirmwareId(const void* header, std::uint32_t size, std::uint32_t* out);
QelHwStatus Cbh_GetCompatibilityVersion(const void* header, std::uint32_t size, std::uint32_t* out);
QelHwStatus Cbh_GetComponentId(const void* header, std::uint32_t size, std::uint32_t* out);
QelHwStatus Cbh_GetProductId(const void* header, std::uint32_t size, std::uint32_t* out);
QelHwStatus Cbh_GetHeaderVersion(const void* header, std::uint32_t size, std::uint32_t* out);
QelHwStatus Cbh_GetRecordWord1(const void* header, std::uint32_t size, std::uint32_t* out);

// --- Record field readers: null pointer -2, no valid record -5007 ---
QelHwStatus Cbh_Record_GetHeaderSize(const void* buffer, std::uint32_t size, std::uint32_t* out);
QelHwStatus Cbh_Record_GetRecordWord1(const void* buffer, std::uint32_t size, std::uint32_t* out);
QelHwStatus Cbh_Record_GetFirmwareSize(const void* buffer, std::uint32_t size, std::uint32_t* out);
QelHwStatus Cbh_Record_GetChecksum(const void* buffer, std::uint32_t size, std::uint32_t* out);
QelHwStatus Cbh_Record_GetComment(const void* buffer, std::uint32_t size, char* out,
                                  std::uint32_t outSize);
QelHwStatus Cbh_Record_GetOptionBits(const void* buffer, std::uint32_t size, std::uint32_t* out);
QelHwStatus Cbh_Record_GetVersion(const void* buffer, std::uint32_t size, void* out,
                                  std::uint32_t outSize);
QelHwStatus Cbh_Record_GetHeaderVersion(const void* buffer, std::uint32_t size, std::uint32_t* out);
QelHwStatus Cbh_Record_GetCreationDate(const void* buffer, std::uint32_t size, void* out,
                                       std::uint32_t outSize);
QelHwStatus Cbh_Record_GetFirmwareId(const void* buffer, std::uint32_t size, std::uint32_t* out);
QelHwStatus Cbh_Record_GetModifyDate(const void* buffer, std::uint32_t size, void* out,
                                     std::uint32_t outSize);
QelHwStatus Cbh_Record_GetCompatibilityVersion(const void* buffer, std::uint32_t size,
                                               std::uint32_t* out);

// --- Sums and comparisons (CbhChecksum.cpp) ---
QelHwStatus Cbh_ByteSum(const void* data, std::uint32_t length, std::uint32_t* sum);
QelHwStatus Cbh_WordSum(const void* data, std::uint32_t length, std::uint32_t* sum);
QelHwStatus Cbh_ComputeChecksum(const void* buffer, std::uint32_t size, std::uint32_t* sum);
// 64 when a is older than b, 128 when newer, 0 when they are the same minute.
std::uint32_t Cbh_CompareDates(const void* a, const void* b);
// 0 for the same header; 8 other bytes, 16/24 another date, +16 another
// firmware checksum or size. A null header gives -2.
std::int32_t Cbh_CompareHeaders(const void* a, std::uint32_t sizeA, const void* b,
                                std::uint32_t sizeB);

// --- Files (CbhFile.cpp) ---
QelHwStatus Cbh_ReadFromFile(const char* path, void* buffer, std::uint32_t bufferSize,
                             std::uint32_t* size, std::uint32_t* form);
QelHwStatus Cbh_ReadHeaderFromFile(const char* path, void* header);
QelHwStatus Cbh_ReadHeaderFromFileEx(const char* path, void* header, std::uint32_t outSize);
QelHwStatus Cbh_FormatFileVersionInfo(const char* path, char* text, std::uint32_t textSize);

// --- Display text (CbhFormat.cpp); `buffer` holds 256 bytes ---
QelHwStatus Cbh_FormatVersionInfo(const void* buffer, char* text, std::uint32_t textSize);

// --- Keyed text in the configuration store (CbhKeyedText.cpp) ---
QelHwStatus Cbh_ReadHeaderInfo(const char* key, void* header, char* fileName,
                               std::uint32_t fileNameSize);
QelHwStatus Cbh_WriteHeaderInfo(const char* key, const void* header);
QelHwStatus Cbh_StoreFileHeader(const char* key, const char* filePath);
