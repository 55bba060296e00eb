#include "platform/testing/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace plat::testing {

std::string sibling_program(const std::string& name) {
  char self[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return name;
  std::string dir(self, static_cast<std::size_t>(n));
  return dir.substr(0, dir.rfind('/') + 1) + name;
}

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args) {
  std::string path = program.find('/') == std::string::npos ? sibling_program(program) : program;
  int out_pipe[2], in_pipe[2];
  if (::pipe2(out_pipe, O_CLOEXEC) != 0 || ::pipe2(in_pipe, O_CLOEXEC) != 0)
    throw std::runtime_error("pipe failed");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out_pipe[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, in_pipe[0], STDIN_FILENO);
  std::vector<char*> argv;
  argv.push_back(path.data());
  std::vector<std::string> copies(args);
  for (auto& a : copies) argv.push_back(a.data());
  argv.push_back(nullptr);
  int rc = posix_spawn(&pid_, path.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(out_pipe[1]);
  ::close(in_pipe[0]);
  out_fd_ = out_pipe[0];
  in_fd_ = in_pipe[1];
  if (rc != 0) {
    ::close(out_fd_);
    ::close(in_fd_);
    throw std::runtime_error("cannot start " + path);
  }
}

ChildProcess::~ChildProcess() {
  if (!reaped_) kill_hard();
  if (out_fd_ >= 0) ::close(out_fd_);
  if (in_fd_ >= 0) ::close(in_fd_);
}

std::string ChildProcess::read_line(std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    auto eol = buffered_.find('\n');
    if (eol != std::string::npos) {
      std::string line = buffered_.substr(0, eol);
      buffered_.erase(0, eol + 1);
      return line;
    }
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return {};
    pollfd p{out_fd_, POLLIN, 0};
    int r = ::poll(&p, 1, static_cast<int>(left.count()));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return {};
    char chunk[4096];
    ssize_t n = ::read(out_fd_, chunk, sizeof chunk);
    if (n <= 0) return {};
    buffered_.append(chunk, static_cast<std::size_t>(n));
  }
}

bool ChildProcess::wait_for_line(const std::string& expected, std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    std::string line = read_line(left);
    if (line == expected) return true;
    if (line.empty() && std::chrono::steady_clock::now() >= deadline) return false;
  }
}

void ChildProcess::write_line(const std::string& line) {
  std::string data = line + "\n";
  const char* p = data.data();
  std::size_t left = data.size();
  while (left > 0) {
    ssize_t n = ::write(in_fd_, p, left);
    if (n <= 0) return;
    p += n;
    left -= static_cast<std::size_t>(n);
  }
}

void ChildProcess::kill_hard() {
  if (reaped_) return;
  ::kill(pid_, SIGKILL);
  ::waitpid(pid_, &status_, 0);
  reaped_ = true;
}

int ChildProcess::wait(std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!reaped_) {
    pid_t r = ::waitpid(pid_, &status_, WNOHANG);
    if (r == pid_) {
      reaped_ = true;
      break;
    }
    if (std::chrono::steady_clock::now() >= deadline) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  if (WIFEXITED(status_)) return WEXITSTATUS(status_);
  if (WIFSIGNALED(status_)) return 128 + WTERMSIG(status_);
  return -1;
}

}  // namespace plat::testing
