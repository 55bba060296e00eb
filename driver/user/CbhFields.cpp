// Recognition of the header and the record, and their fields one by one.
#include <algorithm>
#include <array>
#include <cstring>

#include "driver/user/Cbh.h"
#include "driver/user/CbhBytes.h"

using namespace cbh_detail;

namespace {

struct FieldRule {
  std::uint32_t id;
  std::uint32_t minimumSize;
};

constexpr std::array<FieldRule, 11> kFieldRules{{
    {kCbhFieldRecordWord1, 4},
    {kCbhFieldFirmwareSize, 4},
    {kCbhFieldChecksum, 4},
    {kCbhFieldComment, kCbhCommentSize},
    {kCbhFieldOptionBits, 4},
    {kCbhFieldProductVersion, sizeof(CbhVersion)},
    {kCbhFieldHeaderVersion, 4},
    {kCbhFieldCreationDate, sizeof(CbhDate)},
    {kCbhFieldFirmwareId, 4},
    {kCbhFieldModifyDate, sizeof(CbhDate)},
    {kCbhFieldCompatibilityVersion, 4},
}};

const FieldRule* find_rule(std::uint32_t id) {
  for (const FieldRule& rule : kFieldRules)
    if (rule.id == id) return &rule;
  return nullptr;
}

const std::uint8_t* bytes(const void* p) { return static_cast<const std::uint8_t*>(p); }

bool record_is_valid(const std::uint8_t* r) {
  const std::uint16_t headerVersion = load_u16(r + offsetof(CbhFlashRecord, headerVersion));
  const std::uint16_t year = load_u16(r + offsetof(CbhFlashRecord, year));
  return headerVersion >= 1 && headerVersion <= 610 && year >= 1960 && year <= 2100 &&
         r[offsetof(CbhFlashRecord, month)] < 13 && r[offsetof(CbhFlashRecord, day)] < 33 &&
         r[offsetof(CbhFlashRecord, hour)] < 25 && r[offsetof(CbhFlashRecord, minute)] < 61;
}

const std::uint8_t* find_record(const void* buffer, std::uint32_t size) {
  if (buffer == nullptr || size < kCbhFlashRecordSize) return nullptr;
  const std::uint8_t* first = bytes(buffer);
  if (record_is_valid(first)) return first;
  const std::uint8_t* last = first + (size - kCbhFlashRecordSize);
  return record_is_valid(last) ? last : nullptr;
}

// Extent of a header field: a header shorter than the field does not have it.
struct Extent {
  std::uint32_t offset;
  std::uint32_t width;
};

Extent header_extent(std::uint32_t id) {
  switch (id) {
    case kCbhFieldFirmwareSize: return {offsetof(CbhHeader, firmwareSize), 4};
    case kCbhFieldChecksum: return {offsetof(CbhHeader, firmwareChecksum), 4};
    case kCbhFieldComment: return {offsetof(CbhHeader, comment), 1};
    case kCbhFieldOptionBits: return {offsetof(CbhHeader, optionBits), 4};
    case kCbhFieldProductVersion: return {offsetof(CbhHeader, productVersion), sizeof(CbhVersion)};
    case kCbhFieldHeaderVersion: return {offsetof(CbhHeader, headerVersion), 1};
    case kCbhFieldCreationDate: return {offsetof(CbhHeader, creationDate), sizeof(CbhDate)};
    case kCbhFieldFirmwareId: return {offsetof(CbhHeader, firmwareId), 4};
    case kCbhFieldModifyDate: return {offsetof(CbhHeader, modifyDate), sizeof(CbhDate)};
    case kCbhFieldCompatibilityVersion: return {offsetof(CbhHeader, compatibilityVersion), 4};
    default: return {0, 0};
  }
}

// Reads a field of a header into a cleared destination of at least the
// field's minimum size.
QelHwStatus header_field(const std::uint8_t* h, std::uint32_t size, std::uint32_t id,
                         std::uint8_t* destination) {
  if (id == kCbhFieldRecordWord1) return QELHW_ERROR_NOT_IMPLEMENTED;
  const Extent extent = header_extent(id);
  if (extent.width == 0) return QELHW_ERROR_NOT_IMPLEMENTED;
  if (size < extent.offset + extent.width) return QELHW_ERROR_DATA_INVALID_HEADER;
  const std::uint8_t* field = h + extent.offset;
  switch (id) {
    case kCbhFieldComment:
      copy_text(reinterpret_cast<char*>(destination), kCbhCommentSize,
                reinterpret_cast<const char*>(field),
                std::min(kCbhCommentSize, size - extent.offset));
      return QELHW_OK;
    case kCbhFieldHeaderVersion:
      store_u32(destination, field[0]);
      return QELHW_OK;
    default:
      std::memcpy(destination, field, extent.width);
      return QELHW_OK;
  }
}

CbhVersion version_of_record_word(std::uint16_t v) {
  CbhVersion version{};
  version.third = static_cast<std::uint8_t>(v % 10);
  version.build = 0;
  version.minor = static_cast<std::uint8_t>((v / 10) % 100);
  version.major = static_cast<std::uint8_t>(v / 1000);
  return version;
}

CbhDate date_of_record(const std::uint8_t* r) {
  CbhDate date{};
  date.minute = r[offsetof(CbhFlashRecord, minute)];
  date.hour = r[offsetof(CbhFlashRecord, hour)];
  date.day = r[offsetof(CbhFlashRecord, day)];
  date.month = r[offsetof(CbhFlashRecord, month)];
  date.year = load_u16(r + offsetof(CbhFlashRecord, year));
  return date;
}

// Reads a field of a valid 92-byte record into a cleared destination.
QelHwStatus record_field(const std::uint8_t* r, std::uint32_t id, std::uint8_t* destination) {
  switch (id) {
    case kCbhFieldRecordWord1:
      std::memcpy(destination, r + offsetof(CbhFlashRecord, word1), 4);
      return QELHW_OK;
    case kCbhFieldFirmwareSize:
      std::memcpy(destination, r + offsetof(CbhFlashRecord, firmwareSize), 4);
      return QELHW_OK;
    case kCbhFieldChecksum:
      std::memcpy(destination, r + offsetof(CbhFlashRecord, firmwareChecksum), 4);
      return QELHW_OK;
    case kCbhFieldComment:
      copy_text(reinterpret_cast<char*>(destination), kCbhCommentSize,
                reinterpret_cast<const char*>(r + offsetof(CbhFlashRecord, comment)),
                kCbhRecordCommentSize);
      return QELHW_OK;
    case kCbhFieldOptionBits:
      store_u32(destination, load_u16(r + offsetof(CbhFlashRecord, optionBits)));
      return QELHW_OK;
    case kCbhFieldProductVersion: {
      const CbhVersion version = version_of_record_word(load_u16(r + offsetof(CbhFlashRecord, version)));
      std::memcpy(destination, &version, sizeof version);
      return QELHW_OK;
    }
    case kCbhFieldHeaderVersion:
      store_u32(destination, load_u16(r + offsetof(CbhFlashRecord, headerVersion)));
      return QELHW_OK;
    case kCbhFieldCreationDate: {
      const CbhDate date = date_of_record(r);
      std::memcpy(destination, &date, sizeof date);
      return QELHW_OK;
    }
    case kCbhFieldModifyDate:
    case kCbhFieldCompatibilityVersion:
      return QELHW_OK;  // a record has none: zeros
    default:
      return QELHW_ERROR_NOT_IMPLEMENTED;
  }
}

// The header readers share one shape: check, read the field through a
// cleared temporary, hand out what the caller's output holds.
QelHwStatus read_header(const void* header, std::uint32_t size, std::uint32_t id,
                        std::array<std::uint8_t, kCbhCommentSize>& field) {
  if (header == nullptr) return QELHW_ERROR_NULL_PTR;
  if (!Cbh_IsValid(header, size)) return QELHW_ERROR_DATA_INVALID_HEADER;
  field.fill(0);
  return header_field(bytes(header), size, id, field.data());
}

QelHwStatus read_record(const void* buffer, std::uint32_t size, std::uint32_t id,
                        std::array<std::uint8_t, kCbhCommentSize>& field) {
  if (buffer == nullptr) return QELHW_ERROR_NULL_PTR;
  const std::uint8_t* record = find_record(buffer, size);
  if (record == nullptr) return QELHW_ERROR_DATA_INVALID_HEADER;
  field.fill(0);
  return record_field(record, id, field.data());
}

using Reader = QelHwStatus (*)(const void*, std::uint32_t, std::uint32_t,
                               std::array<std::uint8_t, kCbhCommentSize>&);

QelHwStatus read_word(Reader reader, const void* buffer, std::uint32_t size, std::uint32_t id,
                      std::uint32_t* out) {
  if (buffer == nullptr || out == nullptr) return QELHW_ERROR_NULL_PTR;
  std::array<std::uint8_t, kCbhCommentSize> field{};
  const QelHwStatus status = reader(buffer, size, id, field);
  *out = load_u32(field.data());
  return status;
}

QelHwStatus read_bytes(Reader reader, const void* buffer, std::uint32_t size, std::uint32_t id,
                       void* out, std::uint32_t outSize, std::uint32_t width) {
  if (buffer == nullptr || out == nullptr) return QELHW_ERROR_NULL_PTR;
  std::array<std::uint8_t, kCbhCommentSize> field{};
  const QelHwStatus status = reader(buffer, size, id, field);
  if (status == QELHW_OK) std::memcpy(out, field.data(), std::min(outSize, width));
  return status;
}

QelHwStatus read_text(Reader reader, const void* buffer, std::uint32_t size, char* out,
                      std::uint32_t outSize) {
  if (buffer == nullptr || out == nullptr) return QELHW_ERROR_NULL_PTR;
  std::array<std::uint8_t, kCbhCommentSize> field{};
  const QelHwStatus status = reader(buffer, size, kCbhFieldComment, field);
  if (status == QELHW_OK)
    copy_text(out, outSize, reinterpret_cast<const char*>(field.data()), kCbhCommentSize);
  return status;
}

}  // namespace

bool Cbh_IsValid(const void* buffer, std::uint32_t size) {
  return buffer != nullptr && size >= kCbhMagic.size() &&
         std::memcmp(buffer, kCbhMagic.data(), kCbhMagic.size()) == 0;
}

// `out` says whether the header is valid (1) or not (0).
QelHwStatus Cbh_Check(const void* header, std::uint32_t size, std::uint32_t* out) {
  if (header == nullptr || out == nullptr) return QELHW_ERROR_NULL_PTR;
  *out = Cbh_IsValid(header, size) ? 1 : 0;
  return *out ? QELHW_OK : QELHW_ERROR_DATA_INVALID_HEADER;
}

bool Cbh_IsValidFlashRecord(const void* buffer, std::uint32_t size, const void** record) {
  const std::uint8_t* found = find_record(buffer, size);
  if (found != nullptr && record != nullptr) *record = found;
  return found != nullptr;
}

namespace {

// A header form is taken only when the whole header lies in the buffer: its
// readers copy all 186 bytes.
bool HoldsWholeHeader(const void* buffer, std::uint32_t size) {
  return size >= kCbhHeaderSize && Cbh_IsValid(buffer, size);
}

}  // namespace

QelHwStatus Cbh_GetForm(const void* buffer, std::uint32_t size, std::uint32_t* form,
                        std::uint32_t* formSize) {
  if (buffer == nullptr) return QELHW_ERROR_NULL_PTR;
  std::uint32_t foundForm = 0;
  std::uint32_t foundSize = 0;
  if (HoldsWholeHeader(buffer, size)) {
    foundForm = kCbhFormHeader;
    foundSize = kCbhHeaderSize;
  } else if (find_record(buffer, size) != nullptr) {
    foundForm = kCbhFormRecord;
    foundSize = kCbhFlashRecordSize;
  } else {
    return QELHW_ERROR_DATA_INVALID_HEADER;
  }
  if (form != nullptr) *form = foundForm;
  if (formSize != nullptr) *formSize = foundSize;
  return QELHW_OK;
}

QelHwStatus Cbh_Locate(const void* buffer, std::uint32_t size, const void** address,
                       std::uint32_t* foundSize, std::uint32_t* form) {
  if (buffer == nullptr || address == nullptr || foundSize == nullptr) return QELHW_ERROR_NULL_PTR;
  if (HoldsWholeHeader(buffer, size)) {
    *address = buffer;
    *foundSize = kCbhHeaderSize;
    if (form != nullptr) *form = kCbhFormHeader;
    return QELHW_OK;
  }
  const std::uint8_t* record = find_record(buffer, size);
  if (record == nullptr) return QELHW_ERROR_DATA_INVALID_HEADER;
  *address = record;
  *foundSize = kCbhFlashRecordSize;
  if (form != nullptr) *form = kCbhFormRecord;
  return QELHW_OK;
}

QelHwStatus Cbh_GetField(const void* buffer, std::uint32_t size, std::uint32_t id, void* destination,
                         std::uint32_t destinationSize) {
  if (buffer == nullptr || destination == nullptr || size == 0 || destinationSize == 0)
    return QELHW_ERROR_ARG_INVALID;
  std::memset(destination, 0, destinationSize);
  const FieldRule* rule = find_rule(id);
  if (rule == nullptr) return QELHW_ERROR_NOT_IMPLEMENTED;
  if (destinationSize < rule->minimumSize) return QELHW_ERROR_ARG_INVALID;

  std::array<std::uint8_t, kCbhCommentSize> field{};
  QelHwStatus status;
  if (Cbh_IsValid(buffer, size)) {
    status = header_field(bytes(buffer), size, id, field.data());
  } else if (const std::uint8_t* record = find_record(buffer, size)) {
    status = record_field(record, id, field.data());
  } else {
    return QELHW_ERROR_DATA_INVALID_HEADER;
  }
  if (status == QELHW_OK) std::memcpy(destination, field.data(), rule->minimumSize);
  return status;
}

QelHwStatus Cbh_BuildFromFlashRecord(const void* record, void* header) {
  if (record == nullptr || header == nullptr) return QELHW_ERROR_NULL_PTR;
  if (!record_is_valid(bytes(record))) return QELHW_ERROR_ARG_INVALID;

  auto* h = static_cast<std::uint8_t*>(header);
  std::memset(h, 0, kCbhHeaderSize);
  std::memcpy(h, kCbhMagic.data(), kCbhMagic.size());
  h[offsetof(CbhHeader, headerVersion)] = kCbhRecordHeaderVersion;
  store_u32(h + offsetof(CbhHeader, headerSize), kCbhHeaderSize);

  struct Copy {
    std::uint32_t id;
    std::uint32_t offset;
    std::uint32_t width;
  };
  constexpr std::array<Copy, 6> kCopies{{
      {kCbhFieldChecksum, offsetof(CbhHeader, firmwareChecksum), 4},
      {kCbhFieldCreationDate, offsetof(CbhHeader, creationDate), sizeof(CbhDate)},
      {kCbhFieldProductVersion, offsetof(CbhHeader, productVersion), sizeof(CbhVersion)},
      {kCbhFieldFirmwareSize, offsetof(CbhHeader, firmwareSize), 4},
      {kCbhFieldOptionBits, offsetof(CbhHeader, optionBits), 4},
      {kCbhFieldComment, offsetof(CbhHeader, comment), kCbhCommentSize},
  }};
  for (const Copy& copy : kCopies) {
    const QelHwStatus status =
        Cbh_GetField(record, kCbhFlashRecordSize, copy.id, h + copy.offset, copy.width);
    if (status != QELHW_OK) return status;
  }
  return QELHW_OK;
}

// --- Header field readers ---

QelHwStatus Cbh_GetHeaderSize(const void* header, std::uint32_t size, std::uint32_t* out) {
  if (header == nullptr || out == nullptr) return QELHW_ERROR_NULL_PTR;
  if (!Cbh_IsValid(header, size)) return QELHW_ERROR_DATA_INVALID_HEADER;
  if (size < offsetof(CbhHeader, headerSize) + 4) return QELHW_ERROR_DATA_INVALID_HEADER;
  *out = load_u32(bytes(header) + offsetof(CbhHeader, headerSize));
  return QELHW_OK;
}

QelHwStatus Cbh_GetComment(const void* header, std::uint32_t size, char* out, std::uint32_t outSize) {
  return read_text(read_header, header, size, out, outSize);
}

QelHwStatus Cbh_GetChecksum(const void* header, std::uint32_t size, std::uint32_t* out) {
  return read_word(read_header, header, size, kCbhFieldChecksum, out);
}

QelHwStatus Cbh_GetVersion(const void* header, std::uint32_t size, void* out, std::uint32_t outSize) {
  return read_bytes(read_header, header, size, kCbhFieldProductVersion, out, outSize, sizeof(CbhVersion));
}

QelHwStatus Cbh_GetCreationDate(const void* header, std::uint32_t size, void* out,
                                std::uint32_t outSize) {
  return read_bytes(read_header, header, size, kCbhFieldCreationDate, out, outSize, sizeof(CbhDate));
}

QelHwStatus Cbh_GetFirmwareSize(const void* header, std::uint32_t size, std::uint32_t* out) {
  return read_word(read_header, header, size, kCbhFieldFirmwareSize, out);
}

QelHwStatus Cbh_GetModifyDate(const void* header, std::uint32_t size, void* out,
                              std::uint32_t outSize) {
  return read_bytes(read_header, header, size, kCbhFieldModifyDate, out, outSize, sizeof(CbhDate));
}

QelHwStatus Cbh_GetOptionBits(const void* header, std::uint32_t size, std::uint32_t* out) {
  return read_word(read_header, header, size, kCbhFieldOptionBits, out);
}

QelHwStatus Cbh_GetFirmwareId(const void* header, std::uint32_t size, std::uint32_t* out) {
  return read_word(read_header, header, size, kCbhFieldFirmwareId, out);
}

QelHwStatus Cbh_GetCompatibilityVersion(const void* header, std::uint32_t size, std::uint32_t* out) {
  return read_word(read_header, header, size, kCbhFieldCompatibilityVersion, out);
}

QelHwStatus Cbh_GetComponentId(const void* header, std::uint32_t size, std::uint32_t* out) {
  if (header == nullptr || out == nullptr) return QELHW_ERROR_NULL_PTR;
  if (!Cbh_IsValid(header, size) || size < offsetof(CbhHeader, componentId) + 2)
    return QELHW_ERROR_DATA_INVALID_HEADER;
  *out = load_u16(bytes(header) + offsetof(CbhHeader, componentId));
  return QELHW_OK;
}

QelHwStatus Cbh_GetProductId(const void* header, std::uint32_t size, std::uint32_t* out) {
  if (header == nullptr || out == nullptr) return QELHW_ERROR_NULL_PTR;
  if (!Cbh_IsValid(header, size) || size < offsetof(CbhHeader, productId) + 4)
    return QELHW_ERROR_DATA_INVALID_HEADER;
  *out = load_u32(bytes(header) + offsetof(CbhHeader, productId));
  return QELHW_OK;
}

QelHwStatus Cbh_GetHeaderVersion(const void* header, std::uint32_t size, std::uint32_t* out) {
  return read_word(read_header, header, size, kCbhFieldHeaderVersion, out);
}

QelHwStatus Cbh_GetRecordWord1(const void* header, std::uint32_t size, std::uint32_t* out) {
  return read_word(read_header, header, size, kCbhFieldRecordWord1, out);
}

// --- Record field readers ---

QelHwStatus Cbh_Record_GetHeaderSize(const void* buffer, std::uint32_t size, std::uint32_t* out) {
  if (buffer == nullptr || out == nullptr) return QELHW_ERROR_NULL_PTR;
  if (find_record(buffer, size) == nullptr) return QELHW_ERROR_DATA_INVALID_HEADER;
  *out = 0;
  return QELHW_OK;
}

QelHwStatus Cbh_Record_GetRecordWord1(const void* buffer, std::uint32_t size, std::uint32_t* out) {
  return read_word(read_record, buffer, size, kCbhFieldRecordWord1, out);
}

QelHwStatus Cbh_Record_GetFirmwareSize(const void* buffer, std::uint32_t size, std::uint32_t* out) {
  return read_word(read_record, buffer, size, kCbhFieldFirmwareSize, out);
}

QelHwStatus Cbh_Record_GetChecksum(const void* buffer, std::uint32_t size, std::uint32_t* out) {
  return read_word(read_record, buffer, size, kCbhFieldChecksum, out);
}

QelHwStatus Cbh_Record_GetComment(const void* buffer, std::uint32_t size, char* out,
                                  std::uint32_t outSize) {
  return read_text(read_record, buffer, size, out, outSize);
}

QelHwStatus Cbh_Record_GetOptionBits(const void* buffer, std::uint32_t size, std::uint32_t* out) {
  return read_word(read_record, buffer, size, kCbhFieldOptionBits, out);
}

QelHwStatus Cbh_Record_GetVersion(const void* buffer, std::uint32_t size, void* out,
                                  std::uint32_t outSize) {
  return read_bytes(read_record, buffer, size, kCbhFieldProductVersion, out, outSize, sizeof(CbhVersion));
}

QelHwStatus Cbh_Record_GetHeaderVersion(const void* buffer, std::uint32_t size, std::uint32_t* out) {
  return read_word(read_record, buffer, size, kCbhFieldHeaderVersion, out);
}

QelHwStatus Cbh_Record_GetCreationDate(const void* buffer, std::uint32_t size, void* out,
                                       std::uint32_t outSize) {
  return read_bytes(read_record, buffer, size, kCbhFieldCreationDate, out, outSize, sizeof(CbhDate));
}

QelHwStatus Cbh_Record_GetFirmwareId(const void* buffer, std::uint32_t size, std::uint32_t* out) {
  return read_word(read_record, buffer, size, kCbhFieldFirmwareId, out);
}

QelHwStatus Cbh_Record_GetModifyDate(const void* buffer, std::uint32_t size, void* out,
                                     std::uint32_t outSize) {
  return read_bytes(read_record, buffer, size, kCbhFieldModifyDate, out, outSize, sizeof(CbhDate));
}

QelHwStatus Cbh_Record_GetCompatibilityVersion(const void* buffer, std::uint32_t size,
                                               std::uint32_t* out) {
  return read_word(read_record, buffer, size, kCbhFieldCompatibilityVersion, out);
}
