#include "reliability/child_process.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <exception>
#include <stdexcept>
#include <utility>

namespace varnolde::reliability {

void WriteLine(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    ssize_t written = ::write(fd, text.data() + done, text.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;  // the parent is gone: nobody to tell
    done += static_cast<std::size_t>(written);
  }
}

bool AwaitParent(int command_fd) {
  char word = 0;
  while (true) {
    const ssize_t got = ::read(command_fd, &word, 1);
    if (got < 0 && errno == EINTR) continue;
    return got == 1;
  }
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0) {
    Kill();
    Wait();
  }
}

void ChildProcess::Start(const std::function<void(int report_fd)>& body) {
  Start([&](int report_fd, int) { body(report_fd); });
}

void ChildProcess::Start(const std::function<void(int report_fd, int command_fd)>& body) {
  int fds[2], commands[2];
  if (::pipe(fds) != 0 || ::pipe(commands) != 0) throw std::runtime_error("pipe failed");
  pid_ = ::fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    ::close(fds[0]);
    ::close(commands[1]);
    int status = 0;
    try {
      body(fds[1], commands[0]);
    } catch (const std::exception& e) {
      WriteLine(fds[1], std::string("X ") + e.what() + "\n");
      status = 3;
    } catch (...) {
      WriteLine(fds[1], "X unknown exception\n");
      status = 3;
    }
    ::_exit(status);
  }
  ::close(fds[1]);
  ::close(commands[0]);
  read_fd_ = fds[0];
  command_fd_ = commands[1];
  unread_.clear();
  killed_by_signal_ = 0;
  exit_status_ = -1;
}

void ChildProcess::Kill() {
  if (pid_ > 0) ::kill(pid_, SIGKILL);
}

bool ChildProcess::ReadLine(std::string& line, int timeout_ms) {
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  std::size_t end;
  while ((end = unread_.find('\n')) == std::string::npos) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (read_fd_ < 0 || left.count() <= 0) return false;
    pollfd wanted{read_fd_, POLLIN, 0};
    const int ready = ::poll(&wanted, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return false;
    char buffer[4096];
    const ssize_t got = ::read(read_fd_, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    unread_.append(buffer, static_cast<std::size_t>(got));
  }
  line = unread_.substr(0, end);
  unread_.erase(0, end + 1);
  return true;
}

void ChildProcess::Tell() {
  if (command_fd_ >= 0) WriteLine(command_fd_, "!");
}

std::string ChildProcess::Wait() {
  std::string text = std::exchange(unread_, std::string());
  if (command_fd_ >= 0) ::close(command_fd_);
  command_fd_ = -1;
  char buffer[4096];
  while (read_fd_ >= 0) {
    ssize_t got = ::read(read_fd_, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    text.append(buffer, static_cast<std::size_t>(got));
  }
  if (read_fd_ >= 0) ::close(read_fd_);
  read_fd_ = -1;
  if (pid_ > 0) {
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFSIGNALED(status)) killed_by_signal_ = WTERMSIG(status);
    if (WIFEXITED(status)) exit_status_ = WEXITSTATUS(status);
    pid_ = -1;
  }
  return text;
}

bool ChildProcess::Killed() const { return killed_by_signal_ == SIGKILL; }

std::string ChildProcess::Outcome() const {
  if (killed_by_signal_ != 0) return "signal " + std::to_string(killed_by_signal_);
  return "exit " + std::to_string(exit_status_);
}

}  // namespace varnolde::reliability
