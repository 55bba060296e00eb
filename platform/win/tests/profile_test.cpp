#include "platform/win/profile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/testing/child_process.h"
#include "platform/testing/machine_fixture.h"
#include "platform/win/paths.h"

namespace plat {
namespace {

using testing::ChildProcess;
using testing::read_file;
using testing::ScopedMachine;
using testing::write_file;

constexpr const char* kSample =
    "; options of the board\r\n"
    "[Board]\r\n"
    "Name = Tramond  \r\n"
    "Quoted=\"  spaced  \"\r\n"
    "Single='x'\r\n"
    "Half=\"open\r\n"
    "Rate=0x1F\r\n"
    "Negative=-5\r\n"
    "Plus=+7\r\n"
    "Upper=0X10\r\n"
    "Trailing=12abc\r\n"
    "Word=abc\r\n"
    "Empty=\r\n"
    "\r\n"
    "[ camera ]\r\n"
    "Model=Fast\r\n"
    "[board]\r\n"
    "Name=second section is ignored\r\n";

class ProfileTest : public ::testing::Test {
 protected:
  ScopedMachine machine_;
  std::string file_ = machine_.path("sample.ini");
  void SetUp() override { write_file(file_, kSample); }
  std::string read(const char* section, const char* key, const char* fallback = "dflt",
                   std::uint32_t size = 64, std::uint32_t* answer = nullptr) {
    std::vector<char> out(size + 1, '#');
    std::uint32_t copied = get_private_profile_string(section, key, fallback, out.data(), size, file_.c_str());
    if (answer) *answer = copied;
    return std::string(out.data(), copied);
  }
  std::string list(const char* section, std::uint32_t size, std::uint32_t* answer) {
    std::vector<char> out(size, '#');
    *answer = get_private_profile_string(section, nullptr, "dflt", out.data(), size, file_.c_str());
    return std::string(out.data(), size);
  }
};

TEST_F(ProfileTest, StringsFollowThePlatformRules) {
  struct Case {
    const char* section;
    const char* key;
    const char* fallback;
    std::string expected;
  } cases[] = {
      {"Board", "Name", "d", "Tramond"},             // blanks around key and value dropped
      {"BOARD", "name", "d", "Tramond"},             // case ignored; the first [board] counts
      {"board", "Quoted", "d", "  spaced  "},        // one pair of quotes dropped
      {"board", "Single", "d", "x"},
      {"board", "Half", "d", "\"open"},              // unpaired quote kept
      {"Camera", "model", "d", "Fast"},              // blanks inside brackets dropped
      {"board", "Empty", "d", ""},
      {"board", "Missing", "fallback  ", "fallback"},  // default loses trailing blanks
      {"Nowhere", "Name", nullptr, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.section) + "/" + c.key);
    EXPECT_EQ(read(c.section, c.key, c.fallback), c.expected);
  }
  EXPECT_EQ(get_private_profile_string("Board", "Name", "d", nullptr, 0, file_.c_str()), 0u);
}

TEST_F(ProfileTest, LongValuesAreCutToTheBuffer) {
  std::uint32_t answer = 0;
  EXPECT_EQ(read("Board", "Name", "", 5, &answer), "Tram");
  EXPECT_EQ(answer, 4u);
  char out[4] = {'#', '#', '#', '#'};
  EXPECT_EQ(get_private_profile_string("Board", "Name", "", out, 1, file_.c_str()), 0u);
  EXPECT_EQ(out[0], '\0');
}

TEST_F(ProfileTest, IntegersAreDecimalOrHexWithSign) {
  struct Case {
    const char* key;
    std::uint32_t expected;
  } cases[] = {
      {"Rate", 0x1f},   {"Negative", static_cast<std::uint32_t>(-5)}, {"Plus", 7},
      {"Upper", 0x10},  {"Trailing", 12}, {"Word", 0}, {"Empty", 99}, {"Missing", 99},
  };
  for (const auto& c : cases)
    EXPECT_EQ(get_private_profile_int("Board", c.key, 99, file_.c_str()), c.expected) << c.key;
  EXPECT_EQ(get_private_profile_int("Board", "Rate", -1, machine_.path("none.ini").c_str()),
            static_cast<std::uint32_t>(-1));
}

TEST_F(ProfileTest, ListsOfSectionsAndKeysEndWithTwoZeros) {
  std::uint32_t answer = 0;
  EXPECT_EQ(list(nullptr, 32, &answer).substr(0, 21), std::string("Board\0camera\0board\0\0", 20) + "#");
  EXPECT_EQ(answer, 19u);
  EXPECT_EQ(list("camera", 16, &answer).substr(0, 8), std::string("Model\0\0#", 8));
  EXPECT_EQ(answer, 6u);
  // Cut: as much as fits, then two zeros; the answer is size-2.
  EXPECT_EQ(list(nullptr, 9, &answer), std::string("Board\0c\0\0", 9));
  EXPECT_EQ(answer, 7u);
  EXPECT_EQ(list("Absent", 4, &answer).substr(0, 2), std::string("\0\0", 2));
  EXPECT_EQ(answer, 0u);
}

TEST_F(ProfileTest, WritesKeepCommentsAndOrderOfOtherLines) {
  ASSERT_TRUE(write_private_profile_string("BOARD", "rate", "0x00000020", file_.c_str()));
  ASSERT_TRUE(write_private_profile_string("Camera", "Gain", "3", file_.c_str()));
  ASSERT_TRUE(write_private_profile_string("New Section", "Key", "v", file_.c_str()));
  ASSERT_TRUE(write_private_profile_string("board", "Word", nullptr, file_.c_str()));
  ASSERT_TRUE(write_private_profile_string("board", "Word", nullptr, file_.c_str()));  // already gone
  std::string text = read_file(file_);
  EXPECT_EQ(text.substr(0, 40), "; options of the board\r\n[Board]\r\nName = ");
  EXPECT_NE(text.find("\r\nRate=0x00000020\r\nNegative=-5\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\r\nModel=Fast\r\nGain=3\r\n[board]"), std::string::npos) << text;
  EXPECT_EQ(text.find("Word="), std::string::npos) << text;
  EXPECT_TRUE(text.ends_with("[New Section]\r\nKey=v\r\n")) << text;
  EXPECT_EQ(get_private_profile_int("board", "Rate", 0, file_.c_str()), 0x20u);
}

TEST_F(ProfileTest, ANullKeyDeletesTheSection) {
  ASSERT_TRUE(write_private_profile_string("camera", nullptr, nullptr, file_.c_str()));
  std::string text = read_file(file_);
  EXPECT_EQ(text.find("camera"), std::string::npos) << text;
  EXPECT_EQ(text.find("Model"), std::string::npos) << text;
  EXPECT_NE(text.find("[board]\r\nName=second"), std::string::npos) << text;
  EXPECT_FALSE(write_private_profile_string(nullptr, "Key", "v", file_.c_str()));
}

TEST(Profile, WindowsStylePathsAndNewFiles) {
  ScopedMachine machine;
  std::filesystem::create_directories(machine.path("drives/c/Program Files/Maker"));
  ASSERT_TRUE(write_private_profile_string("S", "K", "v", "C:\\PROGRAM FILES\\maker\\New.ini"));
  EXPECT_EQ(read_file(machine.path("drives/c/Program Files/Maker/New.ini")), "[S]\r\nK=v\r\n");
  char out[8] = {};
  EXPECT_EQ(get_private_profile_string("s", "k", "", out, sizeof out, "c:/program files/MAKER/new.INI"), 1u);
  EXPECT_STREQ(out, "v");

  // A bare name lives in the Windows folder; a missing folder is not made.
  ASSERT_TRUE(write_private_profile_string("S", "K", "w", "bare.ini"));
  EXPECT_EQ(read_file(machine.path("drives/c/Windows/bare.ini")), "[S]\r\nK=w\r\n");
  EXPECT_FALSE(write_private_profile_string("S", "K", "v", "C:\\No\\Such\\Folder\\x.ini"));
  EXPECT_TRUE(write_private_profile_string("S", "K", nullptr, "C:\\No\\Such\\Folder\\x.ini"));
}

TEST(Profile, UnixLineEndsStayUnix) {
  ScopedMachine machine;
  std::string file = machine.path("unix.ini");
  write_file(file, "[A]\nx=1\n");
  ASSERT_TRUE(write_private_profile_string("A", "y", "2", file.c_str()));
  EXPECT_EQ(read_file(file), "[A]\nx=1\ny=2\n");
}

TEST(Profile, ConcurrentWritersOfSeveralProcessesLoseNothing) {
  ScopedMachine machine;
  std::string file = machine.path("shared.ini");
  constexpr int kCount = 40;
  ChildProcess first("plat-helper-registry", {"ini", file, "first", std::to_string(kCount)});
  ChildProcess second("plat-helper-registry", {"ini", file, "second", std::to_string(kCount)});
  for (int i = 0; i < kCount; ++i) {
    std::string key = "main-" + std::to_string(i);
    ASSERT_TRUE(write_private_profile_string("Concurrent", key.c_str(), std::to_string(i).c_str(), file.c_str()));
  }
  EXPECT_TRUE(first.wait_for_line("done", std::chrono::seconds(120)));
  EXPECT_TRUE(second.wait_for_line("done", std::chrono::seconds(120)));
  for (const char* prefix : {"first", "second", "main"}) {
    for (int i = 0; i < kCount; ++i) {
      std::string key = std::string(prefix) + "-" + std::to_string(i);
      EXPECT_EQ(get_private_profile_int("Concurrent", key.c_str(), -1, file.c_str()), static_cast<std::uint32_t>(i))
          << key;
    }
  }
}

}  // namespace
}  // namespace plat
