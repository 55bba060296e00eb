#include "platform/win/registry.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/testing/child_process.h"
#include "platform/testing/machine_fixture.h"
#include "platform/win/errors.h"

namespace plat {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::ChildProcess;
using testing::ScopedMachine;

struct KeyCloser {
  void operator()(RegistryKey* key) const { reg_close_key(key); }
};
using Key = std::unique_ptr<RegistryKey, KeyCloser>;

Key create_key(const char* path, RegistryRoot root = RegistryRoot::kLocalMachine) {
  RegistryKey* key = nullptr;
  EXPECT_EQ(reg_create_key(root, path, &key), kErrorSuccess) << path;
  return Key(key);
}

Bytes text_bytes(std::string_view text) {
  return Bytes(text.begin(), text.end());
}

struct Stored {
  std::uint32_t result;
  std::uint32_t type = 0;
  Bytes data;
};

Stored query(RegistryKey* key, const char* name) {
  std::uint32_t type = 0, size = 0;
  Stored stored{reg_query_value(key, name, &type, nullptr, &size), 0, {}};
  if (stored.result != kErrorSuccess) return stored;
  stored.data.resize(size);
  stored.result = reg_query_value(key, name, &stored.type, stored.data.data(), &size);
  return stored;
}

std::vector<std::string> subkey_names(RegistryKey* key) {
  std::vector<std::string> names;
  char name[kMaxRegistryName + 1];
  for (std::uint32_t i = 0;; ++i) {
    std::uint32_t size = sizeof name;
    std::uint32_t result = reg_enum_key(key, i, name, &size);
    if (result == kErrorNoMoreItems) return names;
    EXPECT_EQ(result, kErrorSuccess);
    names.emplace_back(name, size);
  }
}

std::vector<std::string> value_names(RegistryKey* key) {
  std::vector<std::string> names;
  char name[256];
  for (std::uint32_t i = 0;; ++i) {
    std::uint32_t size = sizeof name;
    std::uint32_t result = reg_enum_value(key, i, name, &size, nullptr, nullptr, nullptr);
    if (result == kErrorNoMoreItems) return names;
    EXPECT_EQ(result, kErrorSuccess);
    names.emplace_back(name, size);
  }
}

struct TypedCase {
  const char* label;
  std::uint32_t type;
  Bytes data;
  const char* text_form;  // how the value's line reads in the registry file
};

TEST(Registry, TypedValuesRoundTripThroughTheFile) {
  ScopedMachine machine;
  const std::vector<TypedCase> cases = {
      {"Count", kRegDword, {0x2a, 0, 0, 0x80}, "\"Count\"=dword:8000002a"},
      {"Path", kRegSz, text_bytes(std::string_view("C:\\Qel \"x\"\0", 11)),
       "\"Path\"=\"C:\\\\Qel \\\"x\\\"\""},
      {"Expand", kRegExpandSz, text_bytes(std::string_view("%SystemRoot%\\x\0", 15)),
       "\"Expand\"=expand:\"%SystemRoot%\\\\x\""},
      {"Blob", kRegBinary, {0x00, 0xff, 0x10}, "\"Blob\"=hex:00,ff,10"},
      {"Empty", kRegBinary, {}, "\"Empty\"=hex:"},
      {"List", kRegMultiSz, text_bytes(std::string_view("one\0two\0\0", 9)),
       "\"List\"=multi:\"one\",\"two\""},
      {"Nothing", kRegNone, {1, 2}, "\"Nothing\"=hex(0):01,02"},
      {"Unended", kRegSz, text_bytes("abc"), "\"Unended\"=hex(1):61,62,63"},
      {"Short", kRegDword, {1, 2}, "\"Short\"=hex(4):01,02"},
      {"Lines", kRegSz, text_bytes(std::string_view("a\nb\0", 4)), "\"Lines\"=\"a\\x0ab\""},
      {"Odd", 11, {1, 2, 3, 4, 5, 6, 7, 8}, "\"Odd\"=hex(b):01,02,03,04,05,06,07,08"},
  };
  {
    Key key = create_key("Software\\Maker");
    for (const auto& c : cases)
      ASSERT_EQ(reg_set_value(key.get(), c.label, c.type, c.data.data(), c.data.size()), kErrorSuccess);
  }
  std::string file = testing::read_file(machine.path("registry.reg"));
  EXPECT_NE(file.find("[HKEY_LOCAL_MACHINE\\Software\\Maker]\n"), std::string::npos) << file;
  Key key = create_key("software\\maker");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_NE(file.find(std::string(c.text_form) + "\n"), std::string::npos) << file;
    Stored stored = query(key.get(), c.label);
    EXPECT_EQ(stored.result, kErrorSuccess);
    EXPECT_EQ(stored.type, c.type);
    EXPECT_EQ(stored.data, c.data);
  }
}

TEST(Registry, ReadsAHandWrittenFile) {
  ScopedMachine machine;
  testing::write_file(machine.path("registry.reg"),
                      "; written by hand\r\n"
                      "[hkey_current_user\\Software\\Maker\\Board]\r\n"
                      "@=\"default text\"\r\n"
                      "  \"Rate\"=dword:00000010  \r\n"
                      "\"Broken\"=dword:\r\n"
                      "garbage line\r\n"
                      "[HKEY_NOWHERE\\X]\r\n"
                      "\"Lost\"=dword:00000001\r\n");
  RegistryKey* raw = nullptr;
  ASSERT_EQ(reg_open_key(RegistryRoot::kCurrentUser, "SOFTWARE\\MAKER\\BOARD", &raw), kErrorSuccess);
  Key key(raw);
  EXPECT_EQ(query(key.get(), "rate").data, (Bytes{0x10, 0, 0, 0}));
  EXPECT_EQ(query(key.get(), nullptr).data, text_bytes(std::string_view("default text\0", 13)));
  EXPECT_EQ(query(key.get(), "").data, query(key.get(), nullptr).data);
  EXPECT_EQ(query(key.get(), "Broken").result, kErrorFileNotFound);
  EXPECT_EQ(value_names(key.get()), (std::vector<std::string>{"", "Rate"}));
}

TEST(Registry, NamesIgnoreCaseAndKeepTheirFirstSpelling) {
  ScopedMachine machine;
  Key key = create_key("Software\\Maker");
  Key again = create_key("SOFTWARE\\maker\\Sub");
  Key parent = create_key("software");
  EXPECT_EQ(subkey_names(parent.get()), (std::vector<std::string>{"Maker"}));

  std::uint32_t one = 1, two = 2;
  ASSERT_EQ(reg_set_value(key.get(), "Value", kRegDword, &one, 4), kErrorSuccess);
  ASSERT_EQ(reg_set_value(key.get(), "VALUE", kRegDword, &two, 4), kErrorSuccess);
  EXPECT_EQ(value_names(key.get()), (std::vector<std::string>{"Value"}));
  EXPECT_EQ(query(key.get(), "vAlUe").data, (Bytes{2, 0, 0, 0}));
}

TEST(Registry, EnumeratesSubkeysByNameAndValuesInOrderSet) {
  ScopedMachine machine;
  Key key = create_key("Software\\Order");
  for (const char* sub : {"b", "C\\Deep", "A", "a2"}) {
    std::string path = std::string("Software\\Order\\") + sub;
    create_key(path.c_str());
  }
  std::uint32_t zero = 0;
  for (const char* value : {"z", "M", "a"}) reg_set_value(key.get(), value, kRegDword, &zero, 4);

  EXPECT_EQ(subkey_names(key.get()), (std::vector<std::string>{"A", "a2", "b", "C"}));
  EXPECT_EQ(value_names(key.get()), (std::vector<std::string>{"z", "M", "a"}));
}

TEST(Registry, MissingKeysAndValuesAnswerFileNotFound) {
  ScopedMachine machine;
  RegistryKey* raw = nullptr;
  EXPECT_EQ(reg_open_key(RegistryRoot::kLocalMachine, "Software\\Nowhere", &raw), kErrorFileNotFound);
  EXPECT_EQ(raw, nullptr);
  Key key = create_key("Software\\Here");
  std::uint32_t size = 4;
  EXPECT_EQ(reg_query_value(key.get(), "Missing", nullptr, nullptr, &size), kErrorFileNotFound);
  EXPECT_EQ(reg_delete_value(key.get(), "Missing"), kErrorFileNotFound);
  EXPECT_EQ(reg_delete_key(key.get(), "Missing"), kErrorFileNotFound);
  // The roots are separate trees.
  EXPECT_EQ(reg_open_key(RegistryRoot::kUsers, "Software\\Here", &raw), kErrorFileNotFound);
  EXPECT_EQ(reg_open_key(RegistryRoot::kCurrentUser, "Software\\Here", &raw), kErrorFileNotFound);
}

TEST(Registry, ShortBuffersAnswerMoreDataWithTheSizeNeeded) {
  ScopedMachine machine;
  Key key = create_key("Software\\Sizes");
  ASSERT_EQ(reg_set_value(key.get(), "Text", kRegSz, "hello", 6), kErrorSuccess);

  char buffer[16] = {};
  std::uint32_t type = 0, size = 3;
  EXPECT_EQ(reg_query_value(key.get(), "Text", &type, buffer, &size), kErrorMoreData);
  EXPECT_EQ(size, 6u);
  EXPECT_EQ(type, kRegSz);
  size = 6;
  EXPECT_EQ(reg_query_value(key.get(), "Text", nullptr, buffer, &size), kErrorSuccess);
  EXPECT_STREQ(buffer, "hello");
  EXPECT_EQ(reg_query_value(key.get(), "Text", nullptr, buffer, nullptr), kErrorInvalidParameter);

  std::uint32_t name_size = 2, data_size = 2;
  EXPECT_EQ(reg_enum_value(key.get(), 0, buffer, &name_size, nullptr, nullptr, nullptr), kErrorMoreData);
  EXPECT_EQ(name_size, 5u);
  name_size = sizeof buffer;
  char data[2];
  EXPECT_EQ(reg_enum_value(key.get(), 0, buffer, &name_size, &type, data, &data_size), kErrorMoreData);
  EXPECT_EQ(data_size, 6u);
  EXPECT_STREQ(buffer, "Text");

  create_key("Software\\Sizes\\LongerName");
  name_size = 4;
  EXPECT_EQ(reg_enum_key(key.get(), 0, buffer, &name_size), kErrorMoreData);
  EXPECT_EQ(name_size, 11u);
}

TEST(Registry, KeyWithSubkeysCannotBeDeletedAndDeletedKeysFailTheirHandles) {
  ScopedMachine machine;
  Key root = create_key("Software");
  Key parent = create_key("Software\\Parent");
  create_key("Software\\Parent\\Child");
  EXPECT_EQ(reg_delete_key(root.get(), "Parent"), kErrorAccessDenied);
  EXPECT_EQ(reg_delete_key(root.get(), "PARENT\\child"), kErrorSuccess);
  EXPECT_EQ(reg_delete_key(root.get(), "Parent"), kErrorSuccess);
  EXPECT_TRUE(subkey_names(root.get()).empty());
  std::uint32_t one = 1;
  EXPECT_EQ(reg_set_value(parent.get(), "X", kRegDword, &one, 4), kErrorKeyDeleted);
  EXPECT_EQ(reg_delete_key(root.get(), ""), kErrorInvalidParameter);
}

TEST(Registry, BadHandlesAndArgumentsFailWithoutHarm) {
  ScopedMachine machine;
  RegistryKey* raw = nullptr;
  std::uint32_t size = 4, one = 1;
  EXPECT_EQ(reg_open_key(static_cast<RegistryRoot>(7), "Software", &raw), kErrorInvalidHandle);
  EXPECT_EQ(reg_create_key(RegistryRoot::kLocalMachine, "Software", nullptr), kErrorInvalidParameter);
  EXPECT_EQ(reg_query_value(nullptr, "X", nullptr, nullptr, &size), kErrorInvalidHandle);
  auto* made_up = reinterpret_cast<RegistryKey*>(&one);
  EXPECT_EQ(reg_set_value(made_up, "X", kRegDword, &one, 4), kErrorInvalidHandle);
  reg_close_key(made_up);

  std::string long_name(kMaxRegistryName + 1, 'k');
  EXPECT_EQ(reg_create_key(RegistryRoot::kLocalMachine, long_name.c_str(), &raw), kErrorInvalidParameter);
  EXPECT_EQ(reg_create_key(RegistryRoot::kLocalMachine, "Bad\nName", &raw), kErrorInvalidParameter);
  Key key = create_key("Software");
  EXPECT_EQ(reg_set_value(key.get(), "X", kRegBinary, nullptr, 4), kErrorInvalidParameter);
}

TEST(Registry, EachMachineHasItsOwnRegistry) {
  ScopedMachine first;
  create_key("Software\\OnlyHere");
  {
    ScopedMachine second;
    RegistryKey* raw = nullptr;
    EXPECT_EQ(reg_open_key(RegistryRoot::kLocalMachine, "Software\\OnlyHere", &raw), kErrorFileNotFound);
  }
  RegistryKey* raw = nullptr;
  ASSERT_EQ(reg_open_key(RegistryRoot::kLocalMachine, "Software\\OnlyHere", &raw), kErrorSuccess);
  reg_close_key(raw);
}

TEST(Registry, ConcurrentWritersOfSeveralProcessesAndThreadsLoseNothing) {
  ScopedMachine machine;
  constexpr int kCount = 40;
  ChildProcess first("plat-helper-registry", {"reg", "first", std::to_string(kCount)});
  ChildProcess second("plat-helper-registry", {"reg", "second", std::to_string(kCount)});
  std::vector<std::thread> threads;
  for (std::string prefix : {"thread-a", "thread-b"}) {
    threads.emplace_back([prefix] {
      Key key = create_key("Software\\Concurrent");
      for (std::uint32_t i = 0; i < kCount; ++i) {
        std::string name = prefix + "-" + std::to_string(i);
        EXPECT_EQ(reg_set_value(key.get(), name.c_str(), kRegDword, &i, 4), kErrorSuccess);
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_TRUE(first.wait_for_line("done", std::chrono::seconds(120)));
  EXPECT_TRUE(second.wait_for_line("done", std::chrono::seconds(120)));

  Key key = create_key("Software\\Concurrent");
  EXPECT_EQ(value_names(key.get()).size(), 4u * kCount);
  for (const char* prefix : {"first", "second", "thread-a", "thread-b"}) {
    std::string last = std::string(prefix) + "-" + std::to_string(kCount - 1);
    EXPECT_EQ(query(key.get(), last.c_str()).data, (Bytes{kCount - 1, 0, 0, 0})) << last;
  }
}

TEST(Registry, AWriterKilledMidWayLeavesEveryAcknowledgedWrite) {
  ScopedMachine machine;
  ChildProcess writer("plat-helper-registry", {"reg-forever", "killed"});
  std::string last_acknowledged;
  for (int i = 0; i < 30; ++i) last_acknowledged = writer.read_line(std::chrono::seconds(60));
  writer.kill_hard();
  ASSERT_EQ(last_acknowledged.rfind("set ", 0), 0u) << last_acknowledged;
  const int last = std::stoi(last_acknowledged.substr(4));

  Key key = create_key("Software\\Concurrent");
  for (int i = 0; i <= last; ++i) {
    std::string name = "killed-" + std::to_string(i);
    EXPECT_EQ(query(key.get(), name.c_str()).result, kErrorSuccess) << name;
  }
  std::uint32_t one = 1;
  EXPECT_EQ(reg_set_value(key.get(), "after", kRegDword, &one, 4), kErrorSuccess);
}

}  // namespace
}  // namespace plat
