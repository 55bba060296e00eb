#include "platform/win/version.h"

#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win/errors.h"
#include "platform/win/paths.h"

// The record is found through the file's section headers, read with explicit
// bounds: the file may be anything a caller names, truncated or hostile.

namespace plat {
namespace {

// More sections or a longer name table than this is not one of our binaries.
constexpr std::uint64_t kMaxSections = 4096;
constexpr std::uint64_t kMaxNameTableSize = 1 << 20;

class ReadOnlyFile {
 public:
  // Only a regular file opens: a device or a pipe could block or never end.
  explicit ReadOnlyFile(const std::string& path)
      : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)) {
    struct stat info {};
    if (fd_ >= 0 && (::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode))) {
      ::close(fd_);
      fd_ = -1;
    }
  }
  ~ReadOnlyFile() {
    if (fd_ >= 0) ::close(fd_);
  }
  ReadOnlyFile(const ReadOnlyFile&) = delete;
  ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

  bool is_open() const { return fd_ >= 0; }

  std::uint64_t size() const {
    const off_t end = ::lseek(fd_, 0, SEEK_END);
    return end < 0 ? 0 : static_cast<std::uint64_t>(end);
  }

  // Reads exactly `length` bytes at `offset`, false when the file is shorter.
  bool read_at(std::uint64_t offset, void* out, std::uint64_t length) const {
    auto* bytes = static_cast<char*>(out);
    while (length > 0) {
      const ssize_t got = ::pread(fd_, bytes, length, static_cast<off_t>(offset));
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) return false;
      bytes += got;
      offset += static_cast<std::uint64_t>(got);
      length -= static_cast<std::uint64_t>(got);
    }
    return true;
  }

 private:
  int fd_;
};

bool fits(std::uint64_t offset, std::uint64_t length, std::uint64_t file_size) {
  return offset <= file_size && length <= file_size - offset;
}

bool is_elf64_little_endian(const Elf64_Ehdr& header) {
  return std::memcmp(header.e_ident, ELFMAG, SELFMAG) == 0 &&
         header.e_ident[EI_CLASS] == ELFCLASS64 && header.e_ident[EI_DATA] == ELFDATA2LSB;
}

std::vector<Elf64_Shdr> read_section_headers(const ReadOnlyFile& file, const Elf64_Ehdr& header,
                                             std::uint64_t file_size) {
  if (header.e_shentsize != sizeof(Elf64_Shdr) || header.e_shnum == 0 ||
      header.e_shnum > kMaxSections)
    return {};
  std::vector<Elf64_Shdr> sections(header.e_shnum);
  const std::uint64_t bytes = sections.size() * sizeof(Elf64_Shdr);
  if (!fits(header.e_shoff, bytes, file_size) || !file.read_at(header.e_shoff, sections.data(), bytes))
    return {};
  return sections;
}

std::string read_name_table(const ReadOnlyFile& file, const Elf64_Shdr& table,
                            std::uint64_t file_size) {
  if (table.sh_type != SHT_STRTAB || table.sh_size > kMaxNameTableSize ||
      !fits(table.sh_offset, table.sh_size, file_size))
    return {};
  std::string names(table.sh_size, '\0');
  if (!file.read_at(table.sh_offset, names.data(), names.size())) return {};
  return names;
}

std::string_view section_name(const std::string& names, std::uint32_t offset) {
  if (offset >= names.size()) return {};
  const auto end = names.find('\0', offset);
  if (end == std::string::npos) return {};
  return std::string_view(names).substr(offset, end - offset);
}

void terminate_texts(VersionRecord& record) {
  record.original_file_name[sizeof record.original_file_name - 1] = '\0';
  record.file_description[sizeof record.file_description - 1] = '\0';
  record.product_name[sizeof record.product_name - 1] = '\0';
  record.company_name[sizeof record.company_name - 1] = '\0';
}

bool find_record(const ReadOnlyFile& file, VersionRecord* out) {
  const std::uint64_t file_size = file.size();
  Elf64_Ehdr header{};
  if (file_size < sizeof header || !file.read_at(0, &header, sizeof header) ||
      !is_elf64_little_endian(header))
    return false;
  const auto sections = read_section_headers(file, header, file_size);
  if (sections.empty() || header.e_shstrndx >= sections.size()) return false;
  const std::string names = read_name_table(file, sections[header.e_shstrndx], file_size);
  if (names.empty()) return false;
  for (const auto& section : sections) {
    if (section_name(names, section.sh_name) != kVersionSectionName) continue;
    if (section.sh_type == SHT_NOBITS || section.sh_size < sizeof(VersionRecord) ||
        !fits(section.sh_offset, sizeof(VersionRecord), file_size))
      return false;
    VersionRecord record{};
    if (!file.read_at(section.sh_offset, &record, sizeof record) ||
        std::memcmp(record.magic, kVersionRecordMagic, sizeof record.magic) != 0)
      return false;
    terminate_texts(record);
    *out = record;
    return true;
  }
  return false;
}

}  // namespace

bool read_file_version(const char* path, VersionRecord* out) {
  if (path == nullptr || *path == '\0' || out == nullptr) {
    set_last_error(kErrorInvalidParameter);
    return false;
  }
  const ReadOnlyFile file(path[0] == '/' ? std::string(path) : native_path(path));
  if (!file.is_open()) {
    set_last_error(kErrorFileNotFound);
    return false;
  }
  if (!find_record(file, out)) {
    set_last_error(kErrorInvalidData);
    return false;
  }
  return true;
}

}  // namespace plat
