// plat-selfcheck: exercises the platform layer of this machine once and says so.
#include <cstdio>

#include "platform/win/machine.h"

int main() {
  std::printf("machine: %s\n", plat::machine_dir().c_str());
  return 0;
}
