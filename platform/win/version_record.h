// The file-version record that every binary of ours carries in its ".qelver"
// section, written at build time and read back by read_file_version().
#pragma once

#include <cstddef>
#include <cstdint>

namespace plat {

inline constexpr char kVersionRecordMagic[8] = {'Q', 'E', 'L', 'V', 'E', 'R', '0', '1'};
inline constexpr const char* kVersionSectionName = ".qelver";

struct VersionRecord {
  char magic[8];
  std::uint16_t file_version[4];     // major, minor, third, fourth
  std::uint16_t product_version[4];  // major, minor, third, fourth
  char original_file_name[64];
  char file_description[128];
  char product_name[64];
  char company_name[64];
};
static_assert(sizeof(VersionRecord) == 344);
static_assert(offsetof(VersionRecord, file_version) == 8);
static_assert(offsetof(VersionRecord, product_version) == 16);
static_assert(offsetof(VersionRecord, original_file_name) == 24);
static_assert(offsetof(VersionRecord, file_description) == 88);
static_assert(offsetof(VersionRecord, product_name) == 216);
static_assert(offsetof(VersionRecord, company_name) == 280);

}  // namespace plat
