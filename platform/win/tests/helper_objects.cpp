// A process that drives kernel objects and sections on command, for the tests
// that need a second (or third) process of the machine. One command per line
// on standard input, one answer line per command on standard output.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/win/errors.h"
#include "platform/win/objects.h"
#include "platform/win/sections.h"

namespace {

struct State {
  char* view = nullptr;
  std::size_t view_size = 0;
};

const char* name_or_null(const std::string& name) { return name == "-" ? nullptr : name.c_str(); }

void answer(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

std::string handle_answer(plat::Handle handle) {
  return "handle " + std::to_string(handle) + " " + std::to_string(plat::last_error());
}

void map_view(State& state, void* address, std::size_t size) {
  state.view = static_cast<char*>(address);
  state.view_size = address != nullptr ? size : 0;
}

std::string run(State& state, std::istringstream& in) {
  std::string command, name;
  in >> command;
  if (command == "create-event") {
    int manual = 0, initial = 0;
    in >> name >> manual >> initial;
    return handle_answer(plat::create_event(nullptr, manual != 0, initial != 0, name_or_null(name)));
  }
  if (command == "open-event") {
    in >> name;
    return handle_answer(plat::open_event(name.c_str()));
  }
  if (command == "create-mutex") {
    int owned = 0;
    in >> name >> owned;
    return handle_answer(plat::create_mutex(nullptr, owned != 0, name_or_null(name)));
  }
  if (command == "create-semaphore") {
    std::int32_t initial = 0, maximum = 0;
    in >> name >> initial >> maximum;
    return handle_answer(plat::create_semaphore(nullptr, initial, maximum, name_or_null(name)));
  }
  if (command == "wait" || command == "wait-any" || command == "wait-all") {
    std::uint32_t timeout = 0;
    in >> timeout;
    std::vector<plat::Handle> handles;
    for (plat::Handle h = 0; in >> h;) handles.push_back(h);
    return "wait " + std::to_string(plat::wait_for_objects(handles, command == "wait-all", timeout));
  }
  plat::Handle handle = 0;
  if (command == "set") {
    in >> handle;
    return "set " + std::to_string(plat::set_event(handle));
  }
  if (command == "release-mutex") {
    in >> handle;
    if (plat::release_mutex(handle)) return "release 1";
    return "release 0 " + std::to_string(plat::last_error());
  }
  if (command == "close") {
    in >> handle;
    return "close " + std::to_string(plat::close_handle(handle));
  }
  if (command == "section") {
    std::size_t size = 0;
    in >> name >> size;
    handle = plat::create_file_mapping(nullptr, size, name.c_str());
    std::uint32_t created = plat::last_error();
    map_view(state, plat::map_view_of_file(handle, 0), size);
    return "section " + std::to_string(created) + " " + std::to_string(state.view != nullptr);
  }
  if (command == "module") {
    std::size_t size = 0;
    std::string image;
    in >> name >> size >> image;
    auto bytes = std::as_bytes(std::span(image.data(), image.size()));
    map_view(state, plat::map_module_shared_data(name.c_str(), size, bytes), size);
    return "module " + std::to_string(state.view != nullptr);
  }
  if (command == "write") {
    std::string text;
    in >> text;
    if (text.size() > state.view_size) return "write 0";
    std::copy(text.begin(), text.end(), state.view);
    return "write 1";
  }
  if (command == "read") {
    std::size_t length = 0;
    in >> length;
    if (length > state.view_size) return "read -";
    std::string text(state.view, length);
    for (char& c : text) c = (c >= '!' && c <= '~') ? c : '.';
    return "read " + text;
  }
  return "unknown " + command;
}

}  // namespace

int main() {
  State state;
  for (std::string line; std::getline(std::cin, line);) {
    if (line == "exit") return 0;
    std::istringstream in(line);
    answer(run(state, in));
  }
  return 0;
}
