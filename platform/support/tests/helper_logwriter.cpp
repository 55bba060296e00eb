// Writes numbered entries to the machine log as fast as it can, for the test
// of concurrent writers. Arguments: module label, number of entries.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/support/machine_log.h"

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  const int count = std::atoi(argv[2]);
  const std::string filler(200, 'x');
  for (int i = 0; i < count; ++i)
    if (!plat::support::append_log_line(1, argv[1], "writer.cpp", static_cast<unsigned>(i), filler))
      return 1;
  std::puts("done");
  return 0;
}
