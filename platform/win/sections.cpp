#include "platform/win/sections.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <map>
#include <mutex>
#include <string>

#include "platform/win/errors.h"
#include "platform/win/object_naming.h"
#include "platform/win/object_table.h"

namespace plat {
namespace {

using object_table::Lock;
using object_table::NameSpace;
using object_table::Reference;
using object_table::Slot;
using object_table::Table;

struct View {
  Table* table;
  Handle section;
  std::size_t length;
};

std::mutex views_guard;
std::map<void*, View> views;

std::uint32_t error_from_errno(int error) {
  if (error == ENOENT || error == ENOTDIR) return kErrorPathNotFound;
  if (error == EACCES || error == EPERM) return kErrorAccessDenied;
  return kErrorNotEnoughMemory;
}

bool write_all(int fd, std::span<const std::byte> bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// Gives a fresh section its file: the initial image, then zeros up to its size.
bool create_backing_file(Table& table, Slot& slot, std::size_t size, std::span<const std::byte> image) {
  slot.section_size = size;
  std::string dir = object_table::machine_dir_of(table) + "/sections";
  if (::mkdir(dir.c_str(), 0777) != 0 && errno != EEXIST) {
    set_last_error(error_from_errno(errno));
    return false;
  }
  std::string path = object_table::section_file(table, slot);
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) {
    set_last_error(error_from_errno(errno));
    return false;
  }
  bool written = ::ftruncate(fd, static_cast<off_t>(size)) == 0 && write_all(fd, image);
  int error = errno;
  ::close(fd);
  if (!written) {
    ::unlink(path.c_str());
    set_last_error(error_from_errno(error));
  }
  return written;
}

// Maps a section the table lock holder has found and counts the view as the
// calling process's reference.
void* map_slot(Table& table, Slot& slot, std::size_t length, std::uint64_t offset = 0) {
  if (!object_table::add_reference(slot, Reference::kView)) return nullptr;
  std::string path = object_table::section_file(table, slot);
  void* address = MAP_FAILED;
  int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd >= 0) {
    address = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, static_cast<off_t>(offset));
    ::close(fd);
  }
  if (address == MAP_FAILED) {
    std::uint32_t error = error_from_errno(errno);
    object_table::drop_reference(table, slot, Reference::kView);
    set_last_error(error);
    return nullptr;
  }
  std::lock_guard guard(views_guard);
  views[address] = View{&table, object_table::handle_of(table, slot), length};
  return address;
}

std::string module_key(const char* module_name) {
  std::string key(module_name);
  for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return key;
}

}  // namespace

Handle create_file_mapping(const SecurityAttributes* attributes, std::size_t size, const char* name) {
  if (size == 0) {
    set_last_error(kErrorInvalidParameter);
    return kNullHandle;
  }
  return object_naming::create_or_open(ObjectKind::kSection, NameSpace::kObjects, name, [&](Slot& slot) {
    Table* table = object_table::current();
    return table != nullptr && create_backing_file(*table, slot, size, {});
  });
}

Handle open_file_mapping(const char* name) { return object_naming::open_existing(ObjectKind::kSection, name); }

void* map_view_of_file(Handle section, std::size_t size) { return map_view_of_file_at(section, 0, size); }

void* map_view_of_file_at(Handle section, std::uint64_t offset, std::size_t size) {
  Table* table = object_table::current();
  if (table == nullptr) return nullptr;
  Lock lock(*table);
  Slot* slot = object_table::resolve(*table, section);
  if (slot == nullptr || slot->kind != ObjectKind::kSection) {
    set_last_error(kErrorInvalidHandle);
    return nullptr;
  }
  const std::uint64_t total = slot->section_size;
  if (offset % kAllocationGranularity != 0 || offset >= total || size > total - offset) {
    set_last_error(kErrorInvalidParameter);
    return nullptr;
  }
  return map_slot(*table, *slot, size == 0 ? static_cast<std::size_t>(total - offset) : size, offset);
}

std::size_t section_size(Handle section) {
  Table* table = object_table::current();
  if (table == nullptr) return 0;
  Lock lock(*table);
  Slot* slot = object_table::resolve(*table, section);
  if (slot == nullptr || slot->kind != ObjectKind::kSection) {
    set_last_error(kErrorInvalidHandle);
    return 0;
  }
  return slot->section_size;
}

bool unmap_view_of_file(void* address) {
  View view{};
  {
    std::lock_guard guard(views_guard);
    auto found = views.find(address);
    if (found == views.end()) {
      set_last_error(kErrorInvalidParameter);
      return false;
    }
    view = found->second;
    views.erase(found);
  }
  ::munmap(address, view.length);
  Lock lock(*view.table);
  if (Slot* slot = object_table::resolve(*view.table, view.section))
    object_table::drop_reference(*view.table, *slot, Reference::kView);
  return true;
}

void* map_module_shared_data(const char* module_name, std::size_t size, std::span<const std::byte> initial_image) {
  if (module_name == nullptr || *module_name == '\0' || std::string_view(module_name).size() > kMaxObjectName ||
      size == 0 || initial_image.size() > size) {
    set_last_error(kErrorInvalidParameter);
    return nullptr;
  }
  Table* table = object_table::current();
  if (table == nullptr) return nullptr;
  std::string key = module_key(module_name);
  Lock lock(*table);
  // Holders that died are dropped first, so a section nobody living holds is
  // made afresh below.
  object_table::reclaim_dead_holders(*table);
  Slot* slot = object_table::find_named(*table, NameSpace::kModuleData, key);
  if (slot != nullptr) {
    if (slot->section_size < size) {
      set_last_error(kErrorInvalidParameter);
      return nullptr;
    }
    return map_slot(*table, *slot, size);
  }
  slot = object_table::allocate(*table, ObjectKind::kSection, NameSpace::kModuleData, key);
  if (slot == nullptr) return nullptr;
  // The handle reference keeps the fresh slot alive while its file is made.
  if (!object_table::add_reference(*slot, Reference::kHandle)) return nullptr;
  void* address = create_backing_file(*table, *slot, size, initial_image) ? map_slot(*table, *slot, size) : nullptr;
  std::uint32_t error = last_error();
  object_table::drop_reference(*table, *slot, Reference::kHandle);
  if (address == nullptr) set_last_error(error);
  return address;
}

void release_module_shared_data(void* address) { unmap_view_of_file(address); }

}  // namespace plat
