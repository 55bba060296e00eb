// Takes a shared named mutex and holds it until told to release it.
//   qellib-helper-mutex <mutex name> <owner label>
// Prints "ready" before it waits, then "locked" or "none"; on the line
// "release" it releases the mutex, prints "released" and exits.
#include <cstdio>
#include <iostream>
#include <string>

#include "qellib/QelLog.h"
#include "qellib/QelSharedMutex.h"

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  LoadQelLog();
  std::printf("ready\n");
  std::fflush(stdout);
  plat::Handle mutex = SharedMutexLock(argv[1], argv[2]);
  std::printf(mutex != plat::kNullHandle ? "locked\n" : "none\n");
  std::fflush(stdout);
  for (std::string line; std::getline(std::cin, line);) {
    if (line != "release") continue;
    if (mutex != plat::kNullHandle) {
      plat::release_mutex(mutex);
      plat::close_handle(mutex);
    }
    std::printf("released\n");
    std::fflush(stdout);
    break;
  }
  UnloadQelLog();
  return 0;
}
