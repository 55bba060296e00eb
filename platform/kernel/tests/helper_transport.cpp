// A client process of the device transport, driven line by line on stdin:
//   open NAME                       -> "opened H" | "error E"
//   ioctl H CODE INHEX OUTSIZE      -> "ok N OUTHEX" | "failed E N OUTHEX"
//                                      (the output buffer is preset to 0xEE)
//   close H                         -> "closed 1" | "closed 0"
//   width32                         -> "width set"
//   buffer SIZE OFFSET              -> "buffer ADDR": SIZE zero bytes at OFFSET into fresh pages
//   dump ADDR LEN                   -> "dump HEX"
//   parallel H CODE THREADS         -> "parallel N": requests sent at once, N succeeded
//   exit
// Numbers are decimal, except ADDR (hex) and CODE (hex).
#include <sys/mman.h>

#include <cstdint>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/win/device.h"
#include "platform/win/errors.h"

namespace {

std::string to_hex(const std::uint8_t* data, std::size_t size) {
  static const char digits[] = "0123456789abcdef";
  std::string text;
  for (std::size_t i = 0; i < size; ++i) {
    text += digits[data[i] >> 4];
    text += digits[data[i] & 15];
  }
  return text.empty() ? "-" : text;
}

std::vector<std::uint8_t> from_hex(const std::string& text) {
  std::vector<std::uint8_t> bytes;
  if (text == "-") return bytes;
  for (std::size_t i = 0; i + 1 < text.size(); i += 2)
    bytes.push_back(static_cast<std::uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
  return bytes;
}

void say(const std::string& line) {
  std::cout << line << std::endl;
}

void do_ioctl(std::istringstream& in) {
  plat::Handle handle;
  std::string code, input;
  std::uint32_t out_size;
  in >> handle >> code >> input >> out_size;
  std::vector<std::uint8_t> request = from_hex(input);
  std::vector<std::uint8_t> out(out_size, 0xEE);
  std::uint32_t returned = 0;
  bool ok = plat::device_io_control(handle, static_cast<std::uint32_t>(std::stoul(code, nullptr, 16)),
                                    request.data(), static_cast<std::uint32_t>(request.size()),
                                    out.data(), out_size, &returned);
  std::ostringstream line;
  if (ok)
    line << "ok " << returned << ' ' << to_hex(out.data(), out.size());
  else
    line << "failed " << plat::last_error() << ' ' << returned << ' ' << to_hex(out.data(), out.size());
  say(line.str());
}

// Every thread sends its request at the same moment; answers must come back
// to the thread that asked, carrying its own input.
void do_parallel(std::istringstream& in) {
  plat::Handle handle;
  std::string code;
  int threads;
  in >> handle >> code >> threads;
  auto value = static_cast<std::uint32_t>(std::stoul(code, nullptr, 16));
  std::vector<std::thread> workers;
  std::vector<int> matched(static_cast<std::size_t>(threads), 0);
  for (int i = 0; i < threads; ++i) {
    workers.emplace_back([&, i] {
      std::uint32_t token = 0x1000u + static_cast<std::uint32_t>(i);
      std::uint32_t echo = 0, returned = 0;
      if (plat::device_io_control(handle, value, &token, sizeof token, &echo, sizeof echo, &returned))
        matched[static_cast<std::size_t>(i)] = returned == sizeof echo && echo == token;
    });
  }
  int total = 0;
  for (int i = 0; i < threads; ++i) {
    workers[static_cast<std::size_t>(i)].join();
    total += matched[static_cast<std::size_t>(i)];
  }
  say("parallel " + std::to_string(total));
}

void do_buffer(std::istringstream& in) {
  std::size_t size = 0, offset = 0;
  in >> size >> offset;
  std::size_t length = (offset + size + 4095) / 4096 * 4096;
  void* pages = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (pages == MAP_FAILED) return say("buffer 0");
  char text[32];
  std::snprintf(text, sizeof text, "%llx",
                static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(pages) + offset));
  say(std::string("buffer ") + text);
}

void do_dump(std::istringstream& in) {
  std::string address;
  std::size_t length = 0;
  in >> address >> length;
  auto* data = reinterpret_cast<const std::uint8_t*>(std::stoull(address, nullptr, 16));
  say("dump " + to_hex(data, length));
}

}  // namespace

int main() {
  std::string line;
  while (std::getline(std::cin, line)) {
    std::istringstream in(line);
    std::string command;
    in >> command;
    if (command == "open") {
      std::string name;
      in >> name;
      plat::Handle handle = plat::open_device(name.c_str());
      say(handle ? "opened " + std::to_string(handle) : "error " + std::to_string(plat::last_error()));
    } else if (command == "ioctl") {
      do_ioctl(in);
    } else if (command == "close") {
      plat::Handle handle;
      in >> handle;
      say(plat::close_handle(handle) ? "closed 1" : "closed 0");
    } else if (command == "width32") {
      plat::set_device_caller_width(true);
      say("width set");
    } else if (command == "buffer") {
      do_buffer(in);
    } else if (command == "dump") {
      do_dump(in);
    } else if (command == "parallel") {
      do_parallel(in);
    } else if (command == "exit") {
      return 0;
    }
  }
  return 0;
}
