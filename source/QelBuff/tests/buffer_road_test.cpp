// The buffer module from client processes: buffers of every memory kind made
// through the buffer stubs against the server driver's instance, a second
// process attaching a shared buffer, children, parameters, the data
// operations of every element size, colour access, files, display kinds and
// the buffer commands on the SDK's road.
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include "platform/win/machine.h"
#include "source/firmware/tests/road_test_support.h"

namespace {

using namespace road_test;

constexpr std::uint32_t kMono8 = 0x01010800;
constexpr std::uint32_t kMono16 = 0x01021000;
constexpr std::uint32_t kRgb888 = 0x61081800;

std::string S(std::uint32_t status) { return std::to_string(status); }
std::string H(std::uint32_t value) {
  std::ostringstream text;
  text << "0x" << std::hex << value;
  return text.str();
}

// Words of a reply.
std::vector<std::string> Words(const std::string& line) {
  std::istringstream in(line);
  return {std::istream_iterator<std::string>(in), std::istream_iterator<std::string>()};
}

// A little-endian quad from its hex.
std::uint64_t ParseQuad(const std::string& hex) {
  std::uint64_t value = 0;
  for (int i = 7; i >= 0; --i) value = (value << 8) | std::stoul(hex.substr(2 * i, 2), nullptr, 16);
  return value;
}

// n bytes counting from `first`, as hex.
std::string Pattern(std::size_t n, std::uint32_t first = 1) {
  std::string hex;
  char pair[3];
  for (std::size_t i = 0; i < n; ++i) {
    std::snprintf(pair, sizeof pair, "%02x", static_cast<unsigned>((first + i) & 0xFF));
    hex += pair;
  }
  return hex;
}

std::string Zeros(std::size_t n) { return std::string(2 * n, '0'); }

class BufferRoad : public Road {
 protected:
  ChildProcess& Client() {
    ChildProcess& process = Start("quillet-helper-buffers");
    EXPECT_EQ(Ask(process, "open"), "open 0");
    return process;
  }
  std::string File(const std::string& name) { return machine_.path(name); }
  void TearDown() override {
    if (HasFailure()) std::fprintf(stderr, "%s\n", plat::support::read_machine_log().c_str());
    Road::TearDown();
  }
};

TEST_F(BufferRoad, EveryMemoryKindHoldsItsImageWhereTheBoardReachesIt) {
  ChildProcess& c = Client();
  // Process heap: 640 x 480 MONO8.
  ASSERT_EQ(Ask(c, "new 640 480 " + H(kMono8) + " 0"), "new 0 0");
  EXPECT_EQ(Ask(c, "get 0 0x130004"), "get 0 00b00400");  // 307200 bytes
  EXPECT_EQ(Ask(c, "get 0 0x190004"), "get 0 80020000");  // 640 per line
  EXPECT_EQ(Ask(c, "get 0 0x100004"), "get 0 01000000");  // one plane
  EXPECT_EQ(Ask(c, "memory 0"), "memory 0 0 0 1 1");      // format index 1

  // Contiguous memory (of the host server: the board's server keeps contiguous
  // buffers in the board's memory): parameter 9 is its bus address, where the image is.
  ASSERT_EQ(Ask(c, "new 64 16 " + H(kMono8) + " 1 host"), "new 0 1");
  EXPECT_EQ(Ask(c, "write 1 0 " + Pattern(64)), "write 0");
  const std::vector<std::string> physical = Words(Ask(c, "get 1 0x90008"));
  ASSERT_EQ(physical[1], "0");
  const std::uint64_t bus = ParseQuad(physical[2]);
  EXPECT_NE(bus, 0u);
  EXPECT_EQ(Ask(c, "arena " + std::to_string(bus) + " 64"), "arena " + Pattern(64));
  EXPECT_EQ(Ask(c, "memory 1"), "memory 1 0 0 1 1");

  // Scatter-gather: locked pages the memory library lists; no entry of its own.
  ASSERT_EQ(Ask(c, "new 64 100 " + H(kMono8) + " 32"), "new 0 2");
  EXPECT_EQ(Ask(c, "get 2 0x90008"), "get 0 " + Zeros(8));
  const std::vector<std::string> locked = Words(Ask(c, "memory 2"));
  EXPECT_EQ(locked[1], "32");
  EXPECT_GE(std::stoul(locked[2]), 2u);  // 6400 bytes touch at least two pages
  EXPECT_EQ(locked[4], "1");             // the entries cover the image

  // Physical pages of the memory library below 4 GB, mapped in the process.
  ASSERT_EQ(Ask(c, "new 64 128 " + H(kMono8) + " 160"), "new 0 3");
  EXPECT_EQ(Ask(c, "write 3 8000 " + Pattern(200)), "write 0");
  EXPECT_EQ(Ask(c, "memory 3"), "memory 160 0 2 1 1");

  // No memory at all.
  ASSERT_EQ(Ask(c, "new 64 16 " + H(kMono8) + " 64"), "new 0 4");
  EXPECT_EQ(Ask(c, "read 4 0 4"), "read " + S(0x800201) + " " + Zeros(4));
  EXPECT_EQ(Ask(c, "get 4 0x80008"), "get " + S(0x800829) + " " + Zeros(8));

  // Types no buffer is made of.
  EXPECT_EQ(Ask(c, "new 64 16 " + H(kMono8) + " 128"), "new " + S(0x800535) + " -");
  EXPECT_EQ(Ask(c, "new 64 16 0x01010000 0"), "new " + S(0x800435) + " -");
  EXPECT_EQ(Ask(c, "new 65 16 0x01180100 0"), "new " + S(0x800235) + " -");  // MONO1 widths count by 8
  for (int id = 0; id < 5; ++id) EXPECT_EQ(Ask(c, "free " + std::to_string(id)), "free 0");
  EXPECT_EQ(Ask(c, "free 0"), "free " + S(0x800201));  // its record is gone
}

TEST_F(BufferRoad, ASecondProcessAttachesToASharedBufferAndSeesTheSamePixels) {
  ChildProcess& first = Client();
  ASSERT_EQ(Ask(first, "shared 16 4 " + H(kMono8) + " 0 qelbuf_shared"), "shared 0 0");
  EXPECT_EQ(Ask(first, "write 0 0 " + Pattern(64)), "write 0");
  ChildProcess& second = Client();
  EXPECT_EQ(Ask(second, "attach 0 qelbuf_nothing"), "attach " + S(0x80004C) + " -");
  // The same name with other dimensions is not the same buffer.
  EXPECT_EQ(Ask(second, "shared 16 8 " + H(kMono8) + " 0 qelbuf_shared"), "shared " + S(0x80004C) + " -");
  ASSERT_EQ(Ask(second, "attach 32 qelbuf_shared"), "attach 0 0");
  EXPECT_EQ(Ask(second, "get 0 0x60004"), "get 0 10000000");
  EXPECT_EQ(Ask(second, "read 0 0 64"), "read 0 " + Pattern(64));
  EXPECT_EQ(Ask(second, "get 0 0x10004"), "get 0 30010000");  // caller memory, locked, shared
  EXPECT_EQ(Ask(second, "write 0 60 a1a2a3a4"), "write 0");
  EXPECT_EQ(Ask(first, "read 0 56 8"), "read 0 393a3b3ca1a2a3a4");
  EXPECT_EQ(Ask(first, "free 0"), "free 0");
  EXPECT_EQ(Ask(second, "read 0 0 4"), "read 0 01020304");  // still held by the second
  EXPECT_EQ(Ask(second, "free 0"), "free 0");
}

TEST_F(BufferRoad, ChildrenClampAlignAndHoldTheirParent) {
  ChildProcess& c = Client();
  ASSERT_EQ(Ask(c, "new 100 50 " + H(kMono8) + " 0"), "new 0 0");
  ASSERT_EQ(Ask(c, "child 0 90 0 50 10"), "child 0 1");
  EXPECT_EQ(Ask(c, "get 1 0x60004"), "get 0 0a000000");  // 10 wide
  ASSERT_EQ(Ask(c, "child 0 120 5 50 10"), "child 0 2");
  EXPECT_EQ(Ask(c, "get 2 0x40004"), "get 0 00000000");  // x past the width becomes 0
  EXPECT_EQ(Ask(c, "get 2 0x60004"), "get 0 32000000");
  EXPECT_EQ(Ask(c, "get 2 0x50004"), "get 0 05000000");
  // A child's pixels are its parent's.
  EXPECT_EQ(Ask(c, "write 0 510 " + Pattern(4, 0x40)), "write 0");  // (10, 5)
  EXPECT_EQ(Ask(c, "elem 2 10 0 1"), "elem 0 40");
  // Its parent and root handles name the buffer it was made from.
  const std::string parentHandle = Words(Ask(c, "get 2 0xB0020"))[2];
  EXPECT_EQ(parentHandle, Words(Ask(c, "get 2 0xA0020"))[2]);
  EXPECT_NE(parentHandle, Zeros(32));
  // Moving a child keeps it inside its parent.
  EXPECT_EQ(Ask(c, "set 2 0x40004 60"), "set " + S(0x800335));
  EXPECT_EQ(Ask(c, "set 2 0x40004 40"), "set 0");
  EXPECT_EQ(Ask(c, "elem 2 0 0 1"), "elem 0 00");
  EXPECT_EQ(Ask(c, "set 0 0x40004 1"), "set " + S(0x800429));  // a root does not move
  EXPECT_EQ(Ask(c, "free 0"), "free " + S(0x800055));
  EXPECT_EQ(Ask(c, "free 1"), "free 0");
  EXPECT_EQ(Ask(c, "free 2"), "free 0");
  EXPECT_EQ(Ask(c, "free 0"), "free 0");
  // Pairs of YUY2 pixels share their chroma: a child starts on a pair.
  ASSERT_EQ(Ask(c, "new 64 4 0x610E1000 0"), "new 0 3");
  EXPECT_EQ(Ask(c, "child 3 3 0 8 2"), "child " + S(0x800235) + " -");
  EXPECT_EQ(Ask(c, "child 3 4 0 7 2"), "child " + S(0x800435) + " -");
}

TEST_F(BufferRoad, ParametersAndTheCapability) {
  ChildProcess& c = Client();
  ASSERT_EQ(Ask(c, "new 8 8 " + H(kMono16) + " 0"), "new 0 0");
  ASSERT_EQ(Ask(c, "new 8 8 " + H(kMono8) + " 0"), "new 0 1");
  EXPECT_EQ(Ask(c, "get 0 0x4"), "get 0 00100201");
  EXPECT_EQ(Ask(c, "get 0 0x20004"), "get 0 02000000");
  EXPECT_EQ(Ask(c, "get 0 0x30004"), "get 0 10000000");
  EXPECT_EQ(Ask(c, "get 0 0x1A0004"), "get 0 10000000");  // the format's largest depth
  EXPECT_EQ(Ask(c, "cap 0 0x40004"), "get 0 01000000");   // MONO16 depths 8 to 16
  EXPECT_EQ(Ask(c, "cap 1 0x40004"), "get 0 00000000");
  EXPECT_EQ(Ask(c, "cap 1 0x50004"), "get " + S(0x80051E) + " 00000000");
  EXPECT_EQ(Ask(c, "set 0 0x1A0004 12"), "set 0");
  EXPECT_EQ(Ask(c, "get 0 0x1A0004"), "get 0 0c000000");
  EXPECT_EQ(Ask(c, "set 0 0x1A0004 17"), "set " + S(0x801A2A));
  EXPECT_EQ(Ask(c, "set 0 0xF0004 1"), "set 0");  // signed
  EXPECT_EQ(Ask(c, "get 0 0x4"), "get 0 00100211");
  EXPECT_EQ(Ask(c, "set 0 0x110004 1"), "set " + S(0x80112A));  // one plane only
  EXPECT_EQ(Ask(c, "set 0 0xE0004 0x80000005"), "set 0");
  EXPECT_EQ(Ask(c, "get 0 0xE0004"), "get 0 05000080");
  EXPECT_EQ(Ask(c, "set 0 0x4 1"), "set " + S(0x80002C));        // read-only
  EXPECT_EQ(Ask(c, "set 0 0x300004 1"), "set " + S(0x803028));   // no such parameter
  EXPECT_EQ(Ask(c, "get 0 0x160008"), "get " + S(0x801629) + " " + Zeros(8));
  EXPECT_EQ(Ask(c, "setprm8 0"), "setprm8 " + S(0x800235));      // the by-value form takes 4 bytes at most
}

// One table of cases over the element sizes: each reads and writes through
// the stubs and through the server's own handlers (raw requests).
struct Family {
  std::uint32_t format;
  std::uint32_t size;
};
const Family kFamilies[] = {{0x01010800, 1}, {0x01021000, 2}, {0x61081800, 3}, {0x01042000, 4}, {0x01054000, 8}};

TEST_F(BufferRoad, DataOperationsOfEveryElementSizeRoundTrip) {
  ChildProcess& c = Client();
  int id = 0;
  for (const Family& f : kFamilies) {
    SCOPED_TRACE(H(f.format));
    const std::string b = std::to_string(id);
    const std::uint32_t u = f.size;
    ASSERT_EQ(Ask(c, "new 100 4 " + H(f.format) + " 0"), "new 0 " + b);
    // Linear, through the stubs (this process sees the memory) and the server.
    EXPECT_EQ(Ask(c, "write " + b + " 0 " + Pattern(400 * u)), "write 0");
    EXPECT_EQ(Ask(c, "read " + b + " 0 " + std::to_string(400 * u)), "read 0 " + Pattern(400 * u));
    EXPECT_EQ(Ask(c, "read " + b + " 400 4"), "read 0 " + Zeros(4));           // at the total count
    EXPECT_EQ(Ask(c, "read " + b + " 401 4"), "read " + S(0x800233) + " " + Zeros(4));
    EXPECT_EQ(Ask(c, "raw 9008 " + b + " " + Quad(0) + Word(2 * u) + " " + std::to_string(2 * u)),
              "raw 0 " + Pattern(2 * u));
    EXPECT_EQ(Ask(c, "raw 9008 " + b + " " + Quad(401) + Word(u) + " 0"), "raw " + S(0x800233) + " -");
    EXPECT_EQ(Ask(c, "raw 9009 " + b + " " + Quad(399) + Word(u) + Pattern(u, 0xE0) + " 0"), "raw 0 -");
    EXPECT_EQ(Ask(c, "read " + b + " 399 " + std::to_string(u)), "read 0 " + Pattern(u, 0xE0));
    // Elements.
    EXPECT_EQ(Ask(c, "setelem " + b + " 3 2 " + Pattern(u, 0x70)), "setelem 0");
    EXPECT_EQ(Ask(c, "elem " + b + " 3 2 " + std::to_string(u)), "elem 0 " + Pattern(u, 0x70));
    EXPECT_EQ(Ask(c, "elem " + b + " 100 0 " + std::to_string(u)), "elem " + S(0x800233) + " " + Zeros(u));
    // A line from (5, 2) towards (1000, 2) ends at the buffer's edge: 95 elements.
    EXPECT_EQ(Ask(c, "clear " + b + " 0"), "clear 0");
    EXPECT_EQ(Ask(c, "setline " + b + " 5 2 99 2 " + Pattern(95 * u)), "setline 0 95");
    const std::string line = Ask(c, "line " + b + " 5 2 1000 2 " + std::to_string(996 * u));
    EXPECT_EQ(line, "line 0 95 " + Pattern(95 * u) + Zeros(901 * u));
    // Rectangles: a width of 1 is refused; a rectangle comes back as written.
    EXPECT_EQ(Ask(c, "rect " + b + " 0 0 1 2 " + std::to_string(2 * u)), "rect " + S(0x800435) + " " + Zeros(2 * u));
    EXPECT_EQ(Ask(c, "setrect " + b + " 97 1 3 2 " + Pattern(6 * u, 0x30)), "setrect 0");
    EXPECT_EQ(Ask(c, "rect " + b + " 97 1 3 2 " + std::to_string(6 * u)), "rect 0 " + Pattern(6 * u, 0x30));
    // A chain to the right from (98, 0) leaves the buffer after two elements.
    EXPECT_EQ(Ask(c, "dots " + b + " 98 1 010101 " + std::to_string(3 * u)),
              "dots 0 " + Pattern(2 * u, 0x30 + u) + Zeros(u));
    // A child is a padded view: its lines lie 100 elements apart.
    ASSERT_EQ(Ask(c, "child " + b + " 97 1 3 2"), "child 0 " + std::to_string(id + 1));
    const std::string child = std::to_string(id + 1);
    EXPECT_EQ(Ask(c, "read " + child + " 0 " + std::to_string(6 * u)), "read 0 " + Pattern(6 * u, 0x30));
    EXPECT_EQ(Ask(c, "raw 9008 " + child + " " + Quad(3) + Word(3 * u) + " " + std::to_string(3 * u)),
              "raw 0 " + Pattern(3 * u, 0x30 + 3 * u));
    EXPECT_EQ(Ask(c, "free " + child), "free 0");
    id += 2;
  }
}

TEST_F(BufferRoad, CopiesBetweenFormatsAndElementSizes) {
  ChildProcess& c = Client();
  ASSERT_EQ(Ask(c, "new 4 2 " + H(kMono16) + " 0"), "new 0 0");
  ASSERT_EQ(Ask(c, "new 4 2 0x61071000 0"), "new 0 1");  // RGB565, 16 bits too
  ASSERT_EQ(Ask(c, "new 4 2 " + H(kMono8) + " 0"), "new 0 2");
  EXPECT_EQ(Ask(c, "write 0 0 " + Pattern(16)), "write 0");
  // The stubs copy bytes between formats of one width; the server's CopyRect
  // refuses formats that differ.
  EXPECT_EQ(Ask(c, "copyrect 0 1 0 2 2 1 0 0"), "copyrect 0");
  EXPECT_EQ(Ask(c, "read 1 0 16"), "read 0 03040506000000000b0c0d0e00000000");
  const std::string rgb565 = Words(Ask(c, "get 1 0xA0020"))[2];
  const std::string mono8 = Words(Ask(c, "get 2 0xA0020"))[2];
  EXPECT_EQ(Ask(c, "raw 9023 0 " + Word(0) + Word(0) + Word(2) + Word(2) + rgb565 + Word(0) + Word(0) + " 0"),
            "raw " + S(0x80000B) + " -");
  // Copy between element sizes is refused by the stubs and by the server.
  EXPECT_EQ(Ask(c, "copy 0 0 0 2"), "copy " + S(0x80030B));
  EXPECT_EQ(Ask(c, "raw 9022 0 " + Word(0) + Word(0) + mono8 + " 0"), "raw " + S(0x80000B) + " -");
  EXPECT_EQ(Ask(c, "copy 0 0 0 1"), "copy 0");
  EXPECT_EQ(Ask(c, "read 1 0 4"), "read 0 01020304");
}

TEST_F(BufferRoad, ColourElementsKeepTheirLayouts) {
  ChildProcess& c = Client();
  auto values = [](std::uint32_t a, std::uint32_t b, std::uint32_t d) { return Word(a) + Word(b) + Word(d); };
  ASSERT_EQ(Ask(c, "new 3 2 0x61071000 0"), "new 0 0");  // RGB565 keeps 5 bits of R
  EXPECT_EQ(Ask(c, "setvalue 0 1 1 " + values(0x3F, 0x3F, 0x01)), "setvalue 0");
  EXPECT_EQ(Ask(c, "elem 0 1 1 2"), "elem 0 e1ff");
  EXPECT_EQ(Ask(c, "value 0 1 1"), "value 0 " + values(0x1F, 0x3F, 0x01));
  ASSERT_EQ(Ask(c, "new 3 2 0x61092000 0"), "new 0 1");  // RGB8888 keeps byte 3
  EXPECT_EQ(Ask(c, "setelem 1 1 1 090909ab"), "setelem 0");
  EXPECT_EQ(Ask(c, "setvalue 1 1 1 " + values(0x111, 0x22, 0x33)), "setvalue 0");
  EXPECT_EQ(Ask(c, "elem 1 1 1 4"), "elem 0 332211ab");
  ASSERT_EQ(Ask(c, "new 8 1 0x610E1000 0"), "new 0 2");  // YUY2: a pair shares its chroma
  EXPECT_EQ(Ask(c, "clear 2 0xA5A5"), "clear 0");
  EXPECT_EQ(Ask(c, "setvalue 2 5 0 " + values(0x10, 0x20, 0x30)), "setvalue 0");
  EXPECT_EQ(Ask(c, "value 2 4 0"), "value 0 " + values(0xA5, 0x20, 0x30));
  ASSERT_EQ(Ask(c, "new 8 1 0x61110C00 0"), "new 0 3");  // Y411: a read lands in its group
  EXPECT_EQ(Ask(c, "clearex 3 a5a5a5a5a5a5"), "clearex 0");
  EXPECT_EQ(Ask(c, "setvalue 3 6 0 " + values(0x10, 0x20, 0x30)), "setvalue 0");
  EXPECT_EQ(Ask(c, "value 3 5 0"), "value 0 " + values(0xA5, 0x20, 0x30));
  ASSERT_EQ(Ask(c, "new 2 1 0x61192000 0"), "new 0 4");  // HSI has no component read
  EXPECT_EQ(Ask(c, "value 4 0 0"), "value " + S(0x800046) + " " + Zeros(12));
}

TEST_F(BufferRoad, ClearToBlackByFormat) {
  ChildProcess& c = Client();
  ASSERT_EQ(Ask(c, "new 4 1 0x11010800 0"), "new 0 0");  // signed MONO8
  EXPECT_EQ(Ask(c, "black 0"), "black 0");
  EXPECT_EQ(Ask(c, "read 0 0 4"), "read 0 80808080");
  ASSERT_EQ(Ask(c, "new 2 1 0x610E1000 0"), "new 0 1");  // YUY2
  EXPECT_EQ(Ask(c, "black 1"), "black 0");
  EXPECT_EQ(Ask(c, "read 1 0 4"), "read 0 00800080");
  ASSERT_EQ(Ask(c, "new 4 1 0x61110C00 0"), "new 0 2");  // Y411
  EXPECT_EQ(Ask(c, "black 2"), "black 0");
  EXPECT_EQ(Ask(c, "value 2 0 0"), "value 0 " + Word(0) + Word(128) + Word(128));
  ASSERT_EQ(Ask(c, "new 4 1 " + H(kMono8) + " 64"), "new 0 3");
  EXPECT_EQ(Ask(c, "black 3"), "black 0");  // no memory, nothing to clear
}

TEST_F(BufferRoad, NativeAndBmpFilesRoundTrip) {
  ChildProcess& c = Client();
  const std::string bmp = File("wide.bmp"), raw = File("image.krv"), other = File("other.krv");
  ASSERT_EQ(Ask(c, "new 642 2 " + H(kRgb888) + " 0"), "new 0 0");
  EXPECT_EQ(Ask(c, "write 0 0 " + Pattern(642 * 2 * 3)), "write 0");
  EXPECT_EQ(Ask(c, "save 0 0 " + bmp), "save 0");
  std::ifstream file(bmp, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  ASSERT_GE(bytes.size(), 26u);
  std::int32_t width = 0;
  std::memcpy(&width, bytes.data() + 18, sizeof width);
  EXPECT_EQ(width, 640);
  EXPECT_EQ(bytes.size(), 54u + 640 * 3 * 2);
  // Native file: saved, cleared, loaded back.
  EXPECT_EQ(Ask(c, "save 0 2 " + raw), "save 0");
  EXPECT_EQ(Ask(c, "clear 0 0"), "clear 0");
  EXPECT_EQ(Ask(c, "load 0 2 " + raw), "load 0");
  EXPECT_EQ(Ask(c, "read 0 0 30"), "read 0 " + Pattern(30));
  // A buffer made from the native file.
  ASSERT_EQ(Ask(c, "byname 0 " + raw), "byname 0 1");
  EXPECT_EQ(Ask(c, "get 1 0x60004"), "get 0 82020000");
  EXPECT_EQ(Ask(c, "read 1 642 3"), "read 0 " + Pattern(3, 642 * 3 + 1));
  // A native file of another format changes nothing.
  ASSERT_EQ(Ask(c, "new 8 2 " + H(kMono8) + " 0"), "new 0 2");
  EXPECT_EQ(Ask(c, "write 2 0 " + Pattern(16)), "write 0");
  EXPECT_EQ(Ask(c, "load 2 2 " + raw), "load " + S(0x80002B));
  EXPECT_EQ(Ask(c, "read 2 0 16"), "read 0 " + Pattern(16));
  // MONO16 has no BMP form; kind 1 is none; kind 3 does not exist.
  ASSERT_EQ(Ask(c, "new 8 2 " + H(kMono16) + " 0"), "new 0 3");
  EXPECT_EQ(Ask(c, "save 3 0 " + other), "save " + S(0x800046));
  EXPECT_EQ(Ask(c, "save 3 1 " + other), "save " + S(0x800046));
  EXPECT_EQ(Ask(c, "save 3 3 " + other), "save " + S(0x800235));
  // A truncated or hostile BMP header is refused.
  std::ofstream(File("short.bmp"), std::ios::binary) << std::string("BM") + std::string(20, '\0');
  EXPECT_EQ(Ask(c, "load 2 0 " + File("short.bmp")), "load " + S(0x80003E));
  std::vector<char> hostile = bytes;
  const std::int32_t negative = -5;
  std::memcpy(hostile.data() + 18, &negative, sizeof negative);
  std::ofstream(File("hostile.bmp"), std::ios::binary).write(hostile.data(), static_cast<std::streamsize>(hostile.size()));
  EXPECT_EQ(Ask(c, "load 2 0 " + File("hostile.bmp")), "load " + S(0x80003E));
  EXPECT_EQ(Ask(c, "read 2 0 16"), "read 0 " + Pattern(16));
  // A BMP loads into a buffer of its own width.
  ASSERT_EQ(Ask(c, "new 640 2 " + H(kRgb888) + " 0"), "new 0 4");
  EXPECT_EQ(Ask(c, "load 4 0 " + bmp), "load 0");
  EXPECT_EQ(Ask(c, "read 4 0 6"), "read 0 " + Pattern(6));
}

TEST_F(BufferRoad, DisplayKindsWorkOnTheMemoryOnlySurface) {
  ChildProcess& c = Client();
  // Kind 6: a surface on an overlay, locked around every access.
  ASSERT_EQ(Ask(c, "new 40 4 " + H(kMono8) + " 6"), "new 0 0");
  EXPECT_EQ(Ask(c, "get 0 0x190004"), "get 0 40000000");  // lines 64 pixels apart
  EXPECT_EQ(Ask(c, "setrect 0 38 2 2 2 " + Pattern(4)), "setrect 0");
  EXPECT_EQ(Ask(c, "rect 0 38 2 2 2 4"), "rect 0 " + Pattern(4));
  EXPECT_EQ(Ask(c, "get 0 0x180004"), "get 0 00000000");  // unlocked again
  EXPECT_EQ(Ask(c, "set 0 0x180004 1"), "set 0");
  EXPECT_EQ(Ask(c, "get 0 0x180004"), "get 0 01000000");
  EXPECT_EQ(Ask(c, "set 0 0x180004 0"), "set 0");
  // Kind 8: in contiguous memory the library registered.
  ASSERT_EQ(Ask(c, "new 40 4 " + H(kMono8) + " 8"), "new 0 1");
  EXPECT_NE(ParseQuad(Words(Ask(c, "get 1 0x90008"))[2]), 0u);
  EXPECT_EQ(Ask(c, "write 1 0 " + Pattern(160)), "write 0");
  EXPECT_EQ(Ask(c, "memory 1"), "memory 8 0 0 1 1");
  // Kind 10: registered contiguous memory under an overlay surface, locked around access.
  ASSERT_EQ(Ask(c, "new 40 4 " + H(kMono8) + " 10"), "new 0 2");
  EXPECT_EQ(Ask(c, "setrect 2 0 0 2 2 " + Pattern(4)), "setrect 0");
  EXPECT_EQ(Ask(c, "rect 2 0 0 2 2 4"), "rect 0 " + Pattern(4));
  EXPECT_EQ(Ask(c, "memory 2"), "memory 10 0 0 1 1");
  EXPECT_EQ(Ask(c, "free 2"), "free 0");
  EXPECT_EQ(Ask(c, "new 40 4 0x01180100 6"), "new " + S(0x800434) + " -");  // no MONO1 surface
  EXPECT_EQ(Ask(c, "free 0"), "free 0");
  EXPECT_EQ(Ask(c, "free 1"), "free 0");
}

TEST_F(BufferRoad, ADisplayThatIsNotThereFailsCleanly) {
  std::ofstream(machine_.path("dorv.ini")) << "[Knobs]\nRegisterStatus=1010\n";
  ChildProcess& c = Client();
  EXPECT_EQ(Ask(c, "new 40 4 " + H(kMono8) + " 6"), "new " + S(0x146D) + " -");
  EXPECT_TRUE(LogShows({"DorvAttach: Direct Draw hardware support is not enabled"}));
  ASSERT_EQ(Ask(c, "new 40 4 " + H(kMono8) + " 0"), "new 0 0");  // other kinds are untouched
}

TEST_F(BufferRoad, CallerMemoryMustBeTheCallers) {
  ChildProcess& c = Client();
  EXPECT_EQ(Ask(c, "newex 64 4 " + H(kMono8) + " 0 heap"), "newex 0 0");
  EXPECT_EQ(Ask(c, "write 0 0 " + Pattern(8)), "write 0");
  EXPECT_EQ(Ask(c, "get 0 0x10004"), "get 0 10000000");
  EXPECT_EQ(Ask(c, "newex 64 4 " + H(kMono8) + " 0 bad"), "newex " + S(0x800935) + " -");
  EXPECT_EQ(Ask(c, "newex 64 4 " + H(kMono8) + " 32 bad"), "newex " + S(0x800935) + " -");
  ASSERT_EQ(Ask(c, "newex 64 4 " + H(kMono8) + " 1 contig"), "newex 0 1");
  EXPECT_EQ(Ask(c, "write 1 0 " + Pattern(8)), "write 0");
  EXPECT_EQ(Ask(c, "memory 1"), "memory 17 0 0 1 1");
  // Types 4 and 6 on the caller's physical memory: mapped, nothing to lock.
  ASSERT_EQ(Ask(c, "newex 64 4 " + H(kMono8) + " 6 contig"), "newex 0 2");
  EXPECT_EQ(Ask(c, "setrect 2 1 1 2 2 " + Pattern(4)), "setrect 0");
  EXPECT_EQ(Ask(c, "rect 2 1 1 2 2 4"), "rect 0 " + Pattern(4));
  EXPECT_EQ(Ask(c, "memory 2"), "memory 22 0 0 1 1");
  EXPECT_EQ(Ask(c, "free 2"), "free 0");
  // Physical memory this process does not hold.
  EXPECT_EQ(Ask(c, "newex 64 4 " + H(kMono8) + " 1 phys 0xF0000000"), "newex " + S(0x800835) + " -");
  EXPECT_EQ(Ask(c, "newex 64 4 " + H(kMono8) + " 1 phys 0"), "newex " + S(0x800835) + " -");
  EXPECT_EQ(Ask(c, "newex 64 4 " + H(kMono8) + " 128 heap"), "newex " + S(0x800535) + " -");
  EXPECT_EQ(Ask(c, "free 0"), "free 0");
  EXPECT_EQ(Ask(c, "free 1"), "free 0");
}

TEST_F(BufferRoad, ABufferOfAnotherProcessIsNotFollowed) {
  ChildProcess& first = Client();
  ChildProcess& second = Client();
  ASSERT_EQ(Ask(first, "new 16 4 " + H(kMono8) + " 0"), "new 0 0");
  // The first process's handle, as a request of the second carries it.
  const std::string handle = Words(Ask(first, "get 0 0xA0020"))[2];
  ASSERT_EQ(Ask(second, "new 16 4 " + H(kMono8) + " 0"), "new 0 0");
  EXPECT_EQ(Ask(second, "raw 9008 none " + Quad(0) + Word(4) + " 4"), "raw " + S(0x800201) + " 00000000");
  EXPECT_EQ(Ask(second, "raw 9008 h" + handle + " " + Quad(0) + Word(4) + " 4"), "raw " + S(0x800201) + " 00000000");
  EXPECT_EQ(Ask(second, "raw 9000 h" + handle + " - 0"), "raw " + S(0x800201) + " -");
  EXPECT_EQ(Ask(first, "read 0 0 4"), "read 0 00000000");  // still there
}

// The buffer commands as the SDK's users send them: client -> "QelApi.dll" ->
// device-control module -> server driver.
TEST_F(Road, BufferCommandsAreServedOnTheSdkRoad) {
  ChildProcess& c = Start();
  ASSERT_EQ(Ask(c, "open"), "open 0");
  // Scatter-gather memory: a contiguous buffer of the board's server would live in the board's memory.
  const std::string created = Ask(c, "call Tramond-CL_RZ6_1 9001 " + Word(16) + Word(4) + Word(0x01010800) + Word(0x20));
  const std::vector<std::string> answer = Words(created);
  ASSERT_EQ(answer.size(), 4u) << created;
  ASSERT_EQ(answer[2], "0");
  const std::string handle = answer[3];
  auto status = [&](const std::string& line) { return Words(Ask(c, line))[2]; };
  EXPECT_EQ(status("callh Tramond-CL_RZ6_1 9009 " + handle + Quad(0) + Word(8) + "0102030405060708"), "0");
  EXPECT_EQ(Ask(c, "callh Tramond-CL_RZ6_1 9008 " + handle + Quad(2) + Word(4)), "answer 0 0 03040506");
  EXPECT_EQ(Ask(c, "callh Tramond-CL_RZ6_1 9005 " + handle + Word(0x130004)), "answer 0 0 40000000");
  EXPECT_EQ(status("callh Tramond-CL_RZ6_1 9032 " + handle), S(0x800046));
  EXPECT_EQ(status("callh Tramond-CL_RZ6_1 9000 " + handle), "0");
  EXPECT_EQ(status("callh Tramond-CL_RZ6_1 9000 " + handle), S(0x800201));
  EXPECT_EQ(Ask(c, "close"), "close 0");
}

}  // namespace
