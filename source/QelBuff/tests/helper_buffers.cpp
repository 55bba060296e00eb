// A client process of the buffer commands: the SDK's library loaded (its lock
// bound), the server driver's instance opened in server mode as the
// device-control module opens it, board 0's server as this server, and every
// buffer call made through the buffer stubs. Buffers are named by numbers.
// Driven line by line (values decimal or 0x hex, data as hex bytes):
//   open                                   -> "open <s>"
//   new <w> <h> <format> <type> [host]     -> "new <s> <id>"; "host": made by the buffer module as the host
//                                             server makes it (a contiguous buffer asked of the board's server
//                                             lives in the board's memory)
//   newex <w> <h> <format> <type> <memory> -> "newex <s> <id>"; memory: none | heap | contig | phys <a> | bad
//   child <id> <x> <y> <w> <h>             -> "child <s> <id>"
//   shared <w> <h> <format> <type> <name> | attach <type> <name> | byname <type> <file> -> "<word> <s> <id>"
//   free <id>                              -> "free <s>"
//   get <id> <prm> | cap <id> <cap>        -> "get <s> <hex>"      (8 bytes, or the 32-byte handle)
//   set <id> <prm> <value>                 -> "set <s>"
//   read <id> <offset> <size> | write <id> <offset> <hex>            -> "read <s> <hex>" | "write <s>"
//   elem <id> <x> <y> <size> | setelem <id> <x> <y> <hex>            -> "elem <s> <hex>" | "setelem <s>"
//   value <id> <x> <y> | setvalue <id> <x> <y> <hex12>               -> "value <s> <hex>" | "setvalue <s>"
//   line <id> <x1> <y1> <x2> <y2> <size> | setline ... <hex>         -> "line <s> <count> <hex>"
//   rect <id> <x> <y> <w> <h> <size> | setrect <id> <x> <y> <w> <h> <hex> -> "rect <s> <hex>"
//   dots <id> <x> <y> <codes hex> <size> | setdots <id> <x> <y> <codes hex> <hex> -> "dots <s> <hex>"
//   clear <id> <value> | clearex <id> <hex> | black <id>             -> "<word> <s>"
//   copy <src> <x> <y> <dst> | copyrect <src> <x> <y> <w> <h> <dst> <dx> <dy> -> "<word> <s>"
//   save <id> <kind> <file> | load <id> <kind> <file>                -> "<word> <s>"
//   raw <command> <id | none | server | h<handle hex>> <hex fields | -> <answer bytes>
//                                          a request without the stubs' own paths -> "raw <s> <hex | ->"
//   setprm8 <id>                           QelBufferSetPrm with an 8-byte id -> "setprm8 <s>"
//   memory <id>                            what the module holds
//                                          -> "memory <kind> <sg entries> <pages> <bytes by bus address equal> <format index>"
//   arena <physical> <n>                   bytes of physical memory seen through the arena -> "arena <hex>"
#include <cstdlib>
#include <deque>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "driver/user/tests/helper_support.h"
#include "platform/win/library.h"
#include "platform/win/physical_memory.h"
#include "source/QelAPI/QelApi.h"
#include "source/QelAPI/QelCapiBuf.h"
#include "source/QelAPI/QelCapiExchange.h"
#include "source/QelBuff/BufferModule.h"
#include "source/firmware/HostFirmware.h"

namespace {

constexpr std::uint32_t kBoardServer = 0x01DE0100;

std::vector<QelHandle*> g_buffers;
// Copies of freed buffers' handles: a later use shows what the server answers.
std::deque<QelHandle> g_freed;

std::string Hex(const void* data, std::size_t size) {
  return helper::Hex(static_cast<const std::uint8_t*>(data), size);
}

// The handle is read after the call that made it (an argument would be read before).
std::string Created(const std::string& word, QelStatus status, QelHandle* const& handle) {
  if (status != QEL_OK) return word + " " + std::to_string(status) + " -";
  g_buffers.push_back(handle);
  return word + " 0 " + std::to_string(g_buffers.size() - 1);
}

QelHandle* Buffer(std::istringstream& in) {
  const std::uint32_t id = helper::Number(in);
  return id < g_buffers.size() ? g_buffers[id] : nullptr;
}

std::vector<std::uint8_t> Data(std::istringstream& in) {
  std::string hex;
  in >> hex;
  return helper::Bytes(hex == "-" ? "" : hex);
}

std::string Text(std::istringstream& in) {
  std::string text;
  in >> text;
  return text;
}

const QelHandle* Server() { return HostGetLocalServerHandle(); }


// Caller memory for BufferNewEx: the helper's own, kept for the process's life.
std::string NewEx(std::istringstream& in) {
  const std::uint32_t w = helper::Number(in), h = helper::Number(in), format = helper::Number(in),
                      type = helper::Number(in);
  const std::string memory = Text(in);
  const std::uint64_t size = BufferMemorySize(w, h, format);
  std::uint64_t physical = 0, address = 0;
  if (memory == "heap") {
    address = reinterpret_cast<std::uint64_t>(std::calloc(1, size));
  } else if (memory == "contig") {
    void* user = nullptr;
    QelManAllocContigBufferEx(static_cast<std::uint32_t>(size), 0, 0xFFFFFFFFu, &physical, &user);
  } else if (memory == "phys") {
    physical = helper::Number(in);
  } else if (memory == "bad") {
    address = 0x10000;  // nothing is mapped there
  }
  QelHandle* handle = nullptr;
  const QelStatus status = QelBufferNewEx(Server(), w, h, format, type, physical, address, &handle);
  return Created("newex", status, handle);
}

std::string Get(std::istringstream& in, bool capability) {
  QelHandle* buffer = Buffer(in);
  const std::uint32_t id = helper::Number(in);
  std::uint8_t value[32] = {};
  QelHandle* slot = nullptr;
  const bool handleSlot = id == 0xA0020 || id == 0xB0020;
  const QelStatus status = capability  ? QelBufferGetCap(buffer, id, value)
                           : handleSlot ? QelBufferGetPrm(buffer, id, &slot)
                                        : QelBufferGetPrm(buffer, id, value);
  if (handleSlot && slot != nullptr) std::memcpy(value, slot, sizeof(QelHandle));
  return "get " + std::to_string(status) + " " + Hex(value, handleSlot ? 32 : std::max<std::size_t>(id & 0xFFFF, 1));
}

std::string Line(std::istringstream& in, bool write) {
  QelHandle* buffer = Buffer(in);
  const auto x1 = static_cast<std::int32_t>(helper::Number(in)), y1 = static_cast<std::int32_t>(helper::Number(in)),
             x2 = static_cast<std::int32_t>(helper::Number(in)), y2 = static_cast<std::int32_t>(helper::Number(in));
  std::uint32_t count = 0;
  if (write) {
    const std::vector<std::uint8_t> data = Data(in);
    const QelStatus status = QelBufferWriteLine(buffer, x1, y1, x2, y2, &count,
                                                static_cast<std::uint32_t>(data.size()), data.data());
    return "setline " + std::to_string(status) + " " + std::to_string(count);
  }
  std::vector<std::uint8_t> data(helper::Number(in));
  const QelStatus status =
      QelBufferReadLine(buffer, x1, y1, x2, y2, &count, static_cast<std::uint32_t>(data.size()), data.data());
  return "line " + std::to_string(status) + " " + std::to_string(count) + " " + Hex(data.data(), data.size());
}

std::string Rect(std::istringstream& in, bool write) {
  QelHandle* buffer = Buffer(in);
  const std::uint32_t x = helper::Number(in), y = helper::Number(in), w = helper::Number(in), h = helper::Number(in);
  if (write) {
    const std::vector<std::uint8_t> data = Data(in);
    return "setrect " +
           std::to_string(QelBufferWriteRect(buffer, x, y, w, h, static_cast<std::uint32_t>(data.size()), data.data()));
  }
  std::vector<std::uint8_t> data(helper::Number(in));
  const QelStatus status = QelBufferReadRect(buffer, x, y, w, h, static_cast<std::uint32_t>(data.size()), data.data());
  return "rect " + std::to_string(status) + " " + Hex(data.data(), data.size());
}

std::string Dots(std::istringstream& in, bool write) {
  QelHandle* buffer = Buffer(in);
  const std::uint32_t x = helper::Number(in), y = helper::Number(in);
  const std::vector<std::uint8_t> codes = Data(in);
  const auto count = static_cast<std::uint32_t>(codes.size());
  if (write) {
    const std::vector<std::uint8_t> data = Data(in);
    return "setdots " + std::to_string(QelBufferWriteDots(buffer, x, y, count, codes.data(),
                                                          static_cast<std::uint32_t>(data.size()), data.data()));
  }
  std::vector<std::uint8_t> data(helper::Number(in));
  const QelStatus status =
      QelBufferReadDots(buffer, x, y, count, codes.data(), static_cast<std::uint32_t>(data.size()), data.data());
  return "dots " + std::to_string(status) + " " + Hex(data.data(), data.size());
}

struct RawAnswer {
  std::vector<std::uint8_t>* bytes;
};

void FillRaw(const void* context, QelMessageHeader* request) {
  const auto* body = static_cast<const std::vector<std::uint8_t>*>(context);
  std::memcpy(request + 1, body->data(), body->size());
}

QelStatus ReadRaw(void* context, const QelMessageHeader* answer) {
  auto* bytes = static_cast<std::vector<std::uint8_t>*>(context);
  const std::size_t held = answer->size - sizeof(QelMessageHeader);
  if (!bytes->empty()) std::memcpy(bytes->data(), answer + 1, std::min(held, bytes->size()));
  return QEL_OK;
}

// A request of the given fields after the buffer's handle, sent as it is.
std::string Raw(std::istringstream& in) {
  const std::uint32_t command = helper::Number(in);
  const std::string which = Text(in);
  QelHandle given{};
  if (which[0] == 'h') {
    const std::vector<std::uint8_t> bytes = helper::Bytes(which.substr(1));
    std::memcpy(&given, bytes.data(), std::min(bytes.size(), sizeof given));
  }
  const QelHandle* handle = which == "server"                    ? Server()
                            : which == "none" || which[0] == 'h' ? &given
                                                                 : g_buffers.at(std::stoul(which));
  std::vector<std::uint8_t> body(reinterpret_cast<const std::uint8_t*>(handle),
                                 reinterpret_cast<const std::uint8_t*>(handle) + sizeof(QelHandle));
  const std::vector<std::uint8_t> fields = Data(in);
  body.insert(body.end(), fields.begin(), fields.end());
  std::vector<std::uint8_t> answer(helper::Number(in));
  const QelCapiCall call{kBoardServer, command, static_cast<std::uint32_t>(sizeof(QelMessageHeader) + body.size()),
                         true, GetCommTimeout(), FillRaw, &body, ReadRaw, &answer};
  const QelStatus status = QelCapiExchange(call);
  return "raw " + std::to_string(status) + " " + (answer.empty() ? "-" : Hex(answer.data(), answer.size()));
}

std::string Memory(std::istringstream& in) {
  QelHandle* buffer = Buffer(in);
  BufferMemoryView view{};
  if (BufferGetMemory(buffer, &view) != QEL_OK) return "memory fail";
  std::uint32_t entries = view.sgList != nullptr ? view.sgList->entry_count : 0;
  std::uint64_t pages = 0;
  bool equal = true;
  if (view.pages != 0) {
    // Every page of the block, seen through the arena, holds the image's bytes.
    std::vector<std::uint64_t> numbers((view.size + 4095) / 4096);
    std::uint32_t returned = 0;
    QelManGetPhysMemory(view.pages, numbers.data(), static_cast<std::uint32_t>(numbers.size()), &returned);
    pages = returned;
    for (std::uint64_t i = 0; i < returned && equal; ++i) {
      const void* seen = plat::physical_to_user(numbers[i] * 4096);
      const std::uint64_t bytes = std::min<std::uint64_t>(4096, view.size - i * 4096);
      equal = seen != nullptr && std::memcmp(seen, view.address + i * 4096, bytes) == 0;
    }
  } else if (view.physical != 0) {
    const void* seen = plat::physical_to_user(view.physical);
    equal = seen != nullptr && std::memcmp(seen, view.address, view.size) == 0;
  } else if (view.sgList != nullptr) {
    std::uint64_t covered = 0;
    for (std::uint32_t i = 0; i < entries; ++i) covered += view.sgList->entries[i].length;
    equal = covered == view.size;
  }
  return "memory " + std::to_string(view.kind) + " " + std::to_string(entries) + " " + std::to_string(pages) + " " +
         std::to_string(equal ? 1 : 0) + " " + std::to_string(BufferDescriptorOf(buffer)->formatIndex);
}

std::string Open() {
  if (plat::load_library("QelApi.dll") == nullptr) return "open nosdk";
  const QelStatus status = HostFirmwareInitInstance(1);
  HostSetServerIndex(kBoardServer);
  HostSetAddressBase(kBoardServer);
  return "open " + std::to_string(status);
}

std::string Status(const std::string& word, QelStatus status) { return word + " " + std::to_string(status); }

std::string Run(const std::string& line) {
  std::istringstream in(line);
  const std::string c = Text(in);
  QelHandle* handle = nullptr;
  if (c == "open") return Open();
  if (c == "new") {
    const std::uint32_t w = helper::Number(in), h = helper::Number(in), f = helper::Number(in),
                        t = helper::Number(in);
    if (Text(in) == "host") return Created(c, BufferNew(w, h, f, t, &handle), handle);
    return Created(c, QelBufferNew(Server(), w, h, f, t, &handle), handle);
  }
  if (c == "newex") return NewEx(in);
  if (c == "child") {
    QelHandle* parent = Buffer(in);
    const std::uint32_t x = helper::Number(in), y = helper::Number(in), w = helper::Number(in),
                        h = helper::Number(in);
    return Created(c, QelBufferNewChild(parent, x, y, w, h, &handle), handle);
  }
  if (c == "shared") {
    const std::uint32_t w = helper::Number(in), h = helper::Number(in), f = helper::Number(in),
                        t = helper::Number(in);
    return Created(c, QelBufferNewShared(Server(), w, h, f, t, Text(in).c_str(), &handle), handle);
  }
  if (c == "attach") {
    const std::uint32_t t = helper::Number(in);
    return Created(c, QelBufferAttachShared(Server(), t, Text(in).c_str(), &handle), handle);
  }
  if (c == "byname") {
    const std::uint32_t t = helper::Number(in);
    return Created(c, QelBufferNewByName(Server(), t, Text(in).c_str(), &handle), handle);
  }
  if (c == "free") {
    const std::uint32_t id = helper::Number(in);
    QelHandle* buffer = id < g_buffers.size() ? g_buffers[id] : nullptr;
    const QelHandle copy = buffer != nullptr ? *buffer : QelHandle{};
    const QelStatus status = QelBufferFree(buffer);
    if (status == QEL_OK) g_buffers[id] = &g_freed.emplace_back(copy);
    return Status(c, status);
  }
  if (c == "get") return Get(in, false);
  if (c == "cap") return Get(in, true);
  if (c == "set") {
    QelHandle* buffer = Buffer(in);
    const std::uint32_t id = helper::Number(in), value = helper::Number(in);
    return Status(c, QelBufferSetPrm(buffer, id, value));
  }
  if (c == "setprm8") return Status(c, QelBufferSetPrm(Buffer(in), 0x80008, 1));
  if (c == "read") {
    QelHandle* buffer = Buffer(in);
    const std::uint64_t offset = helper::Number(in);
    std::vector<std::uint8_t> data(helper::Number(in));
    const QelStatus status = QelBufferRead(buffer, offset, static_cast<std::uint32_t>(data.size()), data.data());
    return Status(c, status) + " " + Hex(data.data(), data.size());
  }
  if (c == "write") {
    QelHandle* buffer = Buffer(in);
    const std::uint64_t offset = helper::Number(in);
    const std::vector<std::uint8_t> data = Data(in);
    return Status(c, QelBufferWrite(buffer, offset, static_cast<std::uint32_t>(data.size()), data.data()));
  }
  if (c == "elem") {
    QelHandle* buffer = Buffer(in);
    const std::uint32_t x = helper::Number(in), y = helper::Number(in);
    std::vector<std::uint8_t> data(helper::Number(in));
    const QelStatus status = QelBufferReadElement(buffer, x, y, static_cast<std::uint32_t>(data.size()), data.data());
    return Status(c, status) + " " + Hex(data.data(), data.size());
  }
  if (c == "setelem") {
    QelHandle* buffer = Buffer(in);
    const std::uint32_t x = helper::Number(in), y = helper::Number(in);
    const std::vector<std::uint8_t> data = Data(in);
    return Status(c, QelBufferWriteElement(buffer, x, y, static_cast<std::uint32_t>(data.size()), data.data()));
  }
  if (c == "value") {
    QelHandle* buffer = Buffer(in);
    const std::uint32_t x = helper::Number(in), y = helper::Number(in);
    std::uint8_t value[12] = {};
    const QelStatus status = QelBufferReadElementValue(buffer, x, y, value);
    return Status(c, status) + " " + Hex(value, sizeof value);
  }
  if (c == "setvalue") {
    QelHandle* buffer = Buffer(in);
    const std::uint32_t x = helper::Number(in), y = helper::Number(in);
    std::vector<std::uint8_t> data = Data(in);
    data.resize(12);
    return Status(c, QelBufferWriteElementValue(buffer, x, y, data.data()));
  }
  if (c == "line") return Line(in, false);
  if (c == "setline") return Line(in, true);
  if (c == "rect") return Rect(in, false);
  if (c == "setrect") return Rect(in, true);
  if (c == "dots") return Dots(in, false);
  if (c == "setdots") return Dots(in, true);
  if (c == "clear") {
    QelHandle* buffer = Buffer(in);
    return Status(c, QelBufferClear(buffer, helper::Number(in)));
  }
  if (c == "clearex") {
    QelHandle* buffer = Buffer(in);
    const std::vector<std::uint8_t> data = Data(in);
    return Status(c, QelBufferClearEx(buffer, static_cast<std::uint32_t>(data.size()), data.data()));
  }
  if (c == "black") return Status(c, QelBufferClearBlack(Buffer(in)));
  if (c == "copy") {
    QelHandle* source = Buffer(in);
    const std::uint32_t x = helper::Number(in), y = helper::Number(in);
    return Status(c, QelBufferCopy(source, x, y, Buffer(in)));
  }
  if (c == "copyrect") {
    QelHandle* source = Buffer(in);
    const std::uint32_t x = helper::Number(in), y = helper::Number(in), w = helper::Number(in),
                        h = helper::Number(in);
    QelHandle* destination = Buffer(in);
    const std::uint32_t dx = helper::Number(in), dy = helper::Number(in);
    return Status(c, QelBufferCopyRect(source, x, y, w, h, destination, dx, dy));
  }
  if (c == "save" || c == "load") {
    QelHandle* buffer = Buffer(in);
    const std::uint32_t kind = helper::Number(in);
    const std::string file = Text(in);
    return Status(c, c == "save" ? QelBufferSave(buffer, kind, file.c_str()) : QelBufferLoad(buffer, kind, file.c_str()));
  }
  if (c == "raw") return Raw(in);
  if (c == "memory") return Memory(in);
  if (c == "arena") {
    const std::uint64_t physical = helper::Number(in);
    const std::uint32_t n = helper::Number(in);
    const void* seen = plat::physical_to_user(physical);
    return seen != nullptr ? "arena " + Hex(seen, n) : "arena none";
  }
  return "unknown " + c;
}

}  // namespace

int main() {
  // As the library's load hook does.
  FillManagerInterface(QuilletManagerInterface());
  QelApiInstallDispatch();
  return helper::Serve(Run);
}
