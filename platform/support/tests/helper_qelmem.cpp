// A process that uses the memory library as its binders do (loaded by name,
// entries by name), driven line by line on its standard input:
//   alloc <text>        a message holding the text -> "ref <reference>"
//   read <reference>    takes the message over -> "text <text>" or "none"
//   free <reference>    -> "freed 0|1"
//   status              -> "blocks <messages in use>"
//   contig <size>       a contiguous buffer -> "contig <physical>"
//   lock <size>         locks a buffer of its own -> "lock <first bus address> <entries>"
//   bytes <n>           first n bytes of the last buffer -> "bytes <hex>"
//   pages <count>       physical pages -> "pages <granted> <first page number>"
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/support/qelmem_entries.h"
#include "platform/win/library.h"

using namespace qelmem;

namespace {

plat::ModuleHandle module;

template <typename Entry>
Entry entry(const char* name) {
  return reinterpret_cast<Entry>(plat::get_proc_address(module, name));
}

void say(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

}  // namespace

int main() {
  module = plat::load_library("QelMem.dll");
  if (module == nullptr) return 1;
  unsigned char* last = nullptr;
  std::vector<unsigned char> own(3 * 4096);
  say("ready");
  std::string line;
  while (std::getline(std::cin, line)) {
    std::istringstream in(line);
    std::string command;
    in >> command;
    if (command == "alloc") {
      std::string text;
      std::getline(in >> std::ws, text);
      void* message = nullptr;
      std::uint64_t reference = 0;
      if (!entry<QelMemAllocMsgFn>("QelMemAllocMsg")(static_cast<std::uint32_t>(text.size() + 1), &message, &reference)) {
        say("ref 0");
        continue;
      }
      std::memcpy(message, text.c_str(), text.size() + 1);
      say("ref " + std::to_string(reference));
    } else if (command == "read") {
      std::uint64_t reference = 0;
      in >> reference;
      auto* text = static_cast<const char*>(entry<QelMemMapKernelToUserFn>("QelMemMapKernelToUser")(reference));
      say(text ? std::string("text ") + text : "none");
    } else if (command == "free") {
      std::uint64_t reference = 0;
      in >> reference;
      void* message = entry<QelMemMapKernelToUserFn>("QelMemMapKernelToUser")(reference);
      say("freed " + std::to_string(message ? entry<QelMemFreeMsgFn>("QelMemFreeMsg")(message) : 0));
    } else if (command == "status") {
      QelMemStatus status{};
      entry<QelMemGetMsgMemStatusFn>("QelMemGetMsgMemStatus")(&status);
      say("blocks " + std::to_string(status.blocks_in_use));
    } else if (command == "contig") {
      std::uint32_t size = 0;
      in >> size;
      std::uint64_t user = 0, physical = 0;
      if (!entry<QelMemAllocBufferFn>("QelMemAllocBuffer")(size, &user, &physical)) physical = 0;
      last = reinterpret_cast<unsigned char*>(user);
      say("contig " + std::to_string(physical));
    } else if (command == "lock") {
      std::uint32_t size = 0;
      in >> size;
      QelMemSgList* list = nullptr;
      if (size > own.size() - 100 ||
          !entry<QelMemLockSGBufferFn>("QelMemLockSGBuffer")(7, own.data() + 100, size, 0, 0, &list)) {
        say("lock 0 0");
        continue;
      }
      last = own.data() + 100;
      say("lock " + std::to_string(list->entries[0].physical_address) + " " + std::to_string(list->entry_count));
    } else if (command == "bytes") {
      std::size_t n = 0;
      in >> n;
      std::string hex;
      char piece[4];
      for (std::size_t i = 0; last != nullptr && i < n; ++i) {
        std::snprintf(piece, sizeof piece, "%02x", last[i]);
        hex += piece;
      }
      say("bytes " + hex);
    } else if (command == "pages") {
      std::uint64_t count = 0, granted = 0, first = 0;
      in >> count;
      QelMemPhysHandle memory = 0;
      if (entry<QelMemAllocPhysMemoryFn>("QelMemAllocPhysMemory")(count, 0, 0, 0, &granted, &memory))
        entry<QelMemGetPhysMemoryFn>("QelMemGetPhysMemory")(memory, &first, 1, 0);
      say("pages " + std::to_string(granted) + " " + std::to_string(first));
    } else if (command == "exit") {
      break;
    }
  }
  return 0;
}
