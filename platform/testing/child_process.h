// Helper processes for multi-process tests: programs built beside the test
// binary, started with arguments, watched, killed.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace plat::testing {

// Full path of a program that sits beside the running test executable.
std::string sibling_program(const std::string& name);

class ChildProcess {
 public:
  // Starts `program` (a path, or a name beside the test binary) with `args`.
  // Its standard output is captured and read with read_line().
  ChildProcess(const std::string& program, const std::vector<std::string>& args);
  ~ChildProcess();  // kills the child if it still runs
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t pid() const { return pid_; }
  // Next line of the child's output without the line break; empty on time-out or end.
  std::string read_line(std::chrono::milliseconds timeout = std::chrono::seconds(20));
  // Waits for a line equal to `expected` (skipping others); false on time-out or end.
  bool wait_for_line(const std::string& expected,
                     std::chrono::milliseconds timeout = std::chrono::seconds(20));
  // Writes a line to the child's standard input.
  void write_line(const std::string& line);
  void kill_hard();  // SIGKILL, then reaps
  // Waits for the exit; the exit code, 128 + signal when killed, -1 on time-out.
  int wait(std::chrono::milliseconds timeout = std::chrono::seconds(20));

 private:
  pid_t pid_ = -1;
  int out_fd_ = -1;
  int in_fd_ = -1;
  std::string buffered_;
  bool reaped_ = false;
  int status_ = 0;
};

}  // namespace plat::testing
