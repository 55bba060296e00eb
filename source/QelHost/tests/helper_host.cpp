// A process using the host messaging layer, as the server driver's instance
// does (log and memory libraries bound), driven line by line:
//   address <a>                 this server's address                        -> "ok"
//   take [event]                a transaction (woken by an event)            -> "id <id>" | "status <s>"
//   takeall                     transactions until the table refuses          -> "taken <n> status <s>"
//   wait <ms>                   the last transaction's event                 -> "signalled" | "timeout"
//   answer <id> <hex>           an answer for transaction id, payload hex     -> "status <s>"
//   answers <id> <n>            n answers for it                             -> "sent <k> status <s>"
//   get <id>                    the oldest message queued for it             -> "message <hex>" | "status <s>"
//   free <id>                   gives the transaction back                   -> "status <s>"
//   sequence <value>            sets the shared sequence counter             -> "ok"
//   blocks                      messages in use in the machine's pool        -> "blocks <n>"
//   portserver <server> <shared> a port server whose messages queue          -> "status <s>"
//   port <port> <server>        opens a port on a port server                -> "status <s>"
//   send <dest> <command> <hex> a request that wants no answer               -> "status <s>"
//   psmsg <server>              the oldest message of a port server          -> "message <port> <hex payload>" | "status <s>"
//   contig <size>               a contiguous buffer                          -> "contig <physical>" | "status <s>"
//   sglock <size>               locks a buffer of its own                    -> "sg <bus> <length> ..." | "status <s>"
//   bytes contig|sg <offset> <n> bytes of that buffer                        -> "bytes <hex>"
//   release                     frees the buffer and unlocks the lock        -> "status <s> <s>"
#include <sstream>
#include <string>
#include <vector>

#include "driver/user/tests/helper_support.h"
#include "firmware/win32/QelMemBinding.h"
#include "platform/win/library.h"
#include "qellib/QelLog.h"
#include "source/QelHost/QelHostInternal.h"

namespace {

plat::Handle g_event = plat::kNullHandle;
std::uint8_t* g_contig = nullptr;
// Page-aligned, so a lock from byte 100 on touches a known number of pages.
alignas(4096) std::uint8_t g_sgMemory[5 * 4096];
qelmem::QelMemSgList* g_sgList = nullptr;

std::string Status(QelStatus status) { return "status " + std::to_string(status); }

std::string Payload(std::istringstream& in) {
  std::string hex;
  in >> hex;
  return hex;
}

QelMessageHeader* Message(std::uint32_t destination, const std::string& hex, std::uint32_t flags) {
  const std::vector<std::uint8_t> payload = helper::Bytes(hex);
  QelMessageHeader* message = nullptr;
  if (HOSTALLOCMSG(static_cast<std::uint32_t>(sizeof(QelMessageHeader) + payload.size()), &message) != QEL_OK)
    return nullptr;
  message->destination = destination;
  message->flags = flags;
  std::copy(payload.begin(), payload.end(), reinterpret_cast<std::uint8_t*>(message + 1));
  return message;
}

// Sends an answer for a transaction; a message that is not delivered is the sender's to free.
QelStatus SendAnswer(std::uint32_t id, const std::string& hex) {
  QelMessageHeader* answer = Message(0, hex, kQelMsgAnswer);
  if (answer == nullptr) return kHostNoMessagingMemory;
  answer->transaction = id;
  const QelStatus status = HOSTSENDANSWER(answer);
  if (status != QEL_OK) HOSTFREEMSG(answer);
  return status;
}

std::string Take(bool withEvent) {
  HostTransaction* transaction = nullptr;
  if (const QelStatus status = HOSTNEWTRANSAC(&transaction); status != QEL_OK) return Status(status);
  if (withEvent) {
    g_event = plat::create_event(nullptr, false, false, nullptr);
    transaction->event = g_event;
  }
  return "id " + std::to_string(transaction->id);
}

std::string Get(std::uint32_t id) {
  HostTransaction* transaction = nullptr;
  QelMessageHeader* message = nullptr;
  QelStatus status = HOSTGETTRANSACPTR(id, &transaction);
  if (status == QEL_OK) status = HOSTGETANSWER(transaction, &message);
  if (status != QEL_OK) return Status(status);
  const std::string text = "message " + helper::Hex(reinterpret_cast<std::uint8_t*>(message), message->size);
  HOSTFREEMSG(message);
  return text;
}

std::string PortServerMessage(std::uint32_t server) {
  QelMessageHeader* message = nullptr;
  if (const QelStatus status = HOSTGETPORTSERVERMSG(server, &message); status != QEL_OK) return Status(status);
  const std::string text = "message " + std::to_string(message->port) + " " +
                           helper::Hex(reinterpret_cast<std::uint8_t*>(message + 1), message->size - sizeof *message);
  HOSTFREEMSG(message);
  return text;
}

std::string Blocks() {
  auto status = reinterpret_cast<qelmem::QelMemGetMsgMemStatusFn>(
      plat::get_proc_address(plat::find_loaded_library("QelMem.dll"), "QelMemGetMsgMemStatus"));
  qelmem::QelMemStatus pool{};
  if (status == nullptr || !status(&pool)) return "fail";
  return "blocks " + std::to_string(pool.blocks_in_use);
}

std::string Buffers(std::istringstream& in, const std::string& command) {
  if (command == "contig") {
    std::uint64_t physical = 0;
    void* address = nullptr;
    const QelStatus status = HOSTALLOCCONTIGBUFFER(helper::Number(in), &physical, &address);
    if (status != QEL_OK) return Status(status);
    g_contig = static_cast<std::uint8_t*>(address);
    return "contig " + std::to_string(physical);
  }
  if (command == "sglock") {
    const QelStatus status = HOSTLOCKSGBUFFER(7, g_sgMemory + 100, helper::Number(in), &g_sgList);
    if (status != QEL_OK) return Status(status);
    std::string text = "sg";
    for (std::uint32_t entry = 0; entry < g_sgList->entry_count; ++entry)
      text += " " + std::to_string(g_sgList->entries[entry].physical_address) + " " +
              std::to_string(g_sgList->entries[entry].length);
    return text;
  }
  if (command == "bytes") {
    std::string which;
    in >> which;
    const std::uint32_t offset = helper::Number(in);
    const std::uint32_t count = helper::Number(in);
    const std::uint8_t* base = which == "contig" ? g_contig : g_sgMemory + 100;
    return base == nullptr ? "fail" : "bytes " + helper::Hex(base + offset, count);
  }
  const QelStatus freed = HOSTFREECONTIGBUFFER(g_contig);
  const QelStatus unlocked = HOSTUNLOCKSGBUFFER(g_sgList);
  g_contig = nullptr;
  g_sgList = nullptr;
  return Status(freed) + " " + std::to_string(unlocked);
}

std::string Run(const std::string& line) {
  std::istringstream in(line);
  std::string command;
  in >> command;
  if (command == "address") {
    const std::uint32_t address = helper::Number(in);
    HostSetServerIndex(address);
    HostSetAddressBase(address);
    return "ok";
  }
  if (command == "take") {
    std::string option;
    in >> option;
    return Take(option == "event");
  }
  if (command == "takeall") {
    int taken = 0;
    HostTransaction* transaction = nullptr;
    QelStatus status = QEL_OK;
    while ((status = HOSTNEWTRANSAC(&transaction)) == QEL_OK) ++taken;
    return "taken " + std::to_string(taken) + " " + Status(status);
  }
  if (command == "wait") {
    const std::uint32_t result = plat::wait_for_object(g_event, helper::Number(in));
    return result == plat::kWaitObject0 ? "signalled" : "timeout";
  }
  if (command == "answer") {
    const std::uint32_t id = helper::Number(in);
    return Status(SendAnswer(id, Payload(in)));
  }
  if (command == "answers") {
    const std::uint32_t id = helper::Number(in);
    const std::uint32_t count = helper::Number(in);
    std::uint32_t sent = 0;
    QelStatus status = QEL_OK;
    while (sent < count && (status = SendAnswer(id, "ab")) == QEL_OK) ++sent;
    return "sent " + std::to_string(sent) + " " + Status(status);
  }
  if (command == "get") return Get(helper::Number(in));
  if (command == "free") {
    HostTransaction* transaction = nullptr;
    QelStatus status = HOSTGETTRANSACPTR(helper::Number(in), &transaction);
    if (status == QEL_OK) status = HOSTFREETRANSAC(transaction);
    return Status(status);
  }
  if (command == "sequence") {
    HostGetSharedTables()->sequence = helper::Number(in);
    return "ok";
  }
  if (command == "blocks") return Blocks();
  if (command == "portserver") {
    const std::uint32_t server = helper::Number(in);
    return Status(HOSTINSTALLPORTSERVER(server, nullptr, helper::Number(in)));
  }
  if (command == "port") {
    const std::uint32_t port = helper::Number(in);
    return Status(HOSTNEWPORT(port, helper::Number(in)));
  }
  if (command == "send") {
    const std::uint32_t destination = helper::Number(in);
    const std::uint32_t commandId = helper::Number(in);
    QelMessageHeader* request = Message(destination, Payload(in), kQelMsgNoAnswer);
    if (request == nullptr) return Status(kHostNoMessagingMemory);
    request->command = commandId;
    const QelStatus status = HOSTPOSTMSG(request, nullptr, plat::kNullHandle, nullptr);
    if (status != QEL_OK) HOSTFREEMSG(request);
    return Status(status);
  }
  if (command == "psmsg") return PortServerMessage(helper::Number(in));
  if (command == "contig" || command == "sglock" || command == "bytes" || command == "release")
    return Buffers(in, command);
  return "unknown";
}

}  // namespace

int main() {
  LoadQelLog();
  if (!LoadQelMem("Quillet.DLL")) return 3;
  const int result = helper::Serve(Run);
  UnloadQelMem();
  UnloadQelLog();
  return result;
}
