// The machine's serial-port map: each port the manager creates is named in
// HKEY_LOCAL_MACHINE "HARDWARE\DEVICEMAP\SERIALCOMM" as a Windows machine
// names its serial ports, the value "\Device\<board name>_Serial_<port>"
// holding "COM<n>", so that programs find a Camera Link port by its COM name.
// The value goes when the port goes.
#include <string>

#include "platform/kernel/qelserial_internal.h"
#include "platform/win/comm_port.h"
#include "platform/win/registry.h"

namespace plat::kernel::qelserial {

namespace {

constexpr char kSerialMap[] = "HARDWARE\\DEVICEMAP\\SERIALCOMM";

std::string ValueName(const Port& port) {
  return "\\Device\\" + std::string(port.board_name.begin(), port.board_name.end()) + "_Serial_" +
         std::to_string(port.index);
}

}  // namespace

void publish_com_name(const Port& port) {
  if (port.board < 0 || port.board_name.empty()) return;
  RegistryKey* key = nullptr;
  if (reg_create_key(RegistryRoot::kLocalMachine, kSerialMap, &key) != 0) return;
  const std::string com = "COM" + std::to_string(comm_number(static_cast<std::uint32_t>(port.board), port.index));
  reg_set_value(key, ValueName(port).c_str(), kRegSz, com.c_str(), static_cast<std::uint32_t>(com.size() + 1));
  reg_close_key(key);
}

void withdraw_com_name(const Port& port) {
  RegistryKey* key = nullptr;
  if (reg_open_key(RegistryRoot::kLocalMachine, kSerialMap, &key) != 0) return;
  reg_delete_value(key, ValueName(port).c_str());
  reg_close_key(key);
}

}  // namespace plat::kernel::qelserial
