#include "platform/win/sections.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/testing/child_process.h"
#include "platform/testing/machine_fixture.h"
#include "platform/win/errors.h"

namespace plat {
namespace {

using testing::ChildProcess;
using testing::ScopedMachine;

class Helper {
 public:
  Helper() : process_("plat-helper-objects", {}) {}
  std::string ask(const std::string& command) {
    process_.write_line(command);
    return process_.read_line();
  }
  void kill() { process_.kill_hard(); }

 private:
  ChildProcess process_;
};

std::span<const std::byte> bytes_of(const char* text) {
  return std::as_bytes(std::span(text, std::strlen(text)));
}

TEST(SectionTest, NamedSectionIsSharedAndStartsAfreshOnceAllHoldersDied) {
  ScopedMachine machine;
  Helper first, second;
  EXPECT_EQ(first.ask("section Transfer.Area 8192"), "section 0 1");
  EXPECT_EQ(first.ask("write HELLO"), "write 1");
  EXPECT_EQ(second.ask("section Transfer.Area 8192"), "section 183 1");
  EXPECT_EQ(second.ask("read 5"), "read HELLO");
  EXPECT_EQ(second.ask("write howdy"), "write 1");
  EXPECT_EQ(first.ask("read 5"), "read howdy");
  first.kill();
  Helper third;
  EXPECT_EQ(third.ask("section Transfer.Area 8192"), "section 183 1") << "the second still holds it";
  EXPECT_EQ(third.ask("read 5"), "read howdy");
  second.kill();
  third.kill();
  Handle section = create_file_mapping(nullptr, 8192, "Transfer.Area");
  ASSERT_NE(section, kNullHandle);
  EXPECT_EQ(last_error(), kErrorSuccess) << "made afresh";
  auto* view = static_cast<const char*>(map_view_of_file(section, 0));
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(std::string(view, 5), std::string(5, '\0'));
  EXPECT_TRUE(unmap_view_of_file(const_cast<char*>(view)));
  EXPECT_TRUE(close_handle(section));
}

TEST(SectionTest, ModuleSharedDataStartsFromItsImageOnceAllHoldersDied) {
  ScopedMachine machine;
  Helper first, second;
  EXPECT_EQ(first.ask("module Quill.DLL 100000 FIRST"), "module 1");
  EXPECT_EQ(first.ask("read 7"), "read FIRST..");
  EXPECT_EQ(first.ask("write LATER"), "write 1");
  EXPECT_EQ(second.ask("module QUILL.dll 100000 FIRST"), "module 1") << "module names ignore case";
  EXPECT_EQ(second.ask("read 5"), "read LATER");
  first.kill();
  second.kill();
  auto* data = static_cast<char*>(map_module_shared_data("Quill.DLL", 100000, bytes_of("FIRST")));
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(std::string(data, 7), std::string("FIRST\0\0", 7));
  EXPECT_EQ(data[99999], '\0');
  release_module_shared_data(data);
}

TEST(SectionTest, ViewKeepsSectionAfterItsHandleIsClosed) {
  ScopedMachine machine;
  Handle section = create_file_mapping(nullptr, 4096, "Kept.By.View");
  auto* view = static_cast<char*>(map_view_of_file(section, 0));
  ASSERT_NE(view, nullptr);
  std::memcpy(view, "kept", 4);
  ASSERT_TRUE(close_handle(section));
  Helper other;
  EXPECT_EQ(other.ask("section Kept.By.View 4096"), "section 183 1");
  EXPECT_EQ(other.ask("read 4"), "read kept");
  other.kill();
  ASSERT_TRUE(unmap_view_of_file(view));
  EXPECT_EQ(open_file_mapping("Kept.By.View"), kNullHandle) << "the last view is gone";
  EXPECT_EQ(last_error(), kErrorFileNotFound);
}

TEST(SectionTest, BadRequestsFail) {
  ScopedMachine machine;
  EXPECT_EQ(create_file_mapping(nullptr, 0, "Empty"), kNullHandle);
  Handle section = create_file_mapping(nullptr, 4096, nullptr);
  ASSERT_NE(section, kNullHandle);
  EXPECT_EQ(map_view_of_file(section, 8192), nullptr);
  EXPECT_EQ(map_view_of_file(kNullHandle, 0), nullptr);
  EXPECT_EQ(last_error(), kErrorInvalidHandle);
  int local = 0;
  EXPECT_FALSE(unmap_view_of_file(&local));
  EXPECT_EQ(map_module_shared_data(nullptr, 16), nullptr);
  EXPECT_EQ(map_module_shared_data("Small.DLL", 2, bytes_of("toolong")), nullptr);
  Handle event = create_event(nullptr, true, false, "Not.A.Section");
  EXPECT_EQ(open_file_mapping("Not.A.Section"), kNullHandle);
  EXPECT_EQ(map_view_of_file(event, 0), nullptr);
  EXPECT_EQ(object_kind(section), ObjectKind::kSection);
}

}  // namespace
}  // namespace plat

namespace plat {
namespace {

TEST(SectionTest, ViewsAtAnOffsetSeeTheSameBytes) {
  testing::ScopedMachine machine;
  const Handle section = create_file_mapping(nullptr, 3 * kAllocationGranularity + 100, "Offset.Area");
  ASSERT_NE(section, kNullHandle);
  EXPECT_EQ(section_size(section), 3 * kAllocationGranularity + 100);
  auto* whole = static_cast<char*>(map_view_of_file(section, 0));
  ASSERT_NE(whole, nullptr);
  std::memcpy(whole + 2 * kAllocationGranularity + 7, "granule", 7);
  auto* tail = static_cast<char*>(map_view_of_file_at(section, 2 * kAllocationGranularity, 0));
  ASSERT_NE(tail, nullptr);
  EXPECT_EQ(std::string(tail + 7, 7), "granule");
  std::memcpy(tail + kAllocationGranularity + 99, "!", 1);  // the section's last byte
  EXPECT_EQ(whole[3 * kAllocationGranularity + 99], '!');
  EXPECT_TRUE(unmap_view_of_file(tail));

  // Offsets off the granularity, past the end, or sizes that run over it.
  EXPECT_EQ(map_view_of_file_at(section, 4096, 16), nullptr);
  EXPECT_EQ(last_error(), kErrorInvalidParameter);
  EXPECT_EQ(map_view_of_file_at(section, 4 * kAllocationGranularity, 0), nullptr);
  EXPECT_EQ(map_view_of_file_at(section, 3 * kAllocationGranularity, 101), nullptr);
  EXPECT_NE(tail = static_cast<char*>(map_view_of_file_at(section, 3 * kAllocationGranularity, 100)), nullptr);
  EXPECT_TRUE(unmap_view_of_file(tail));
  EXPECT_TRUE(unmap_view_of_file(whole));

  const Handle event = create_event(nullptr, true, false, nullptr);
  EXPECT_EQ(section_size(event), 0u);
  EXPECT_EQ(last_error(), kErrorInvalidHandle);
  close_handle(event);
  close_handle(section);
}

}  // namespace
}  // namespace plat
