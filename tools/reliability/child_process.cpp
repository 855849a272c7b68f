#include "reliability/child_process.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <exception>
#include <stdexcept>

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

ChildProcess::~ChildProcess() {
  if (pid_ > 0) {
    Kill();
    Wait();
  }
}

void ChildProcess::Start(const std::function<void(int report_fd)>& body) {
  int fds[2];
  if (::pipe(fds) != 0) throw std::runtime_error("pipe failed");
  pid_ = ::fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    ::close(fds[0]);
    int status = 0;
    try {
      body(fds[1]);
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
  read_fd_ = fds[0];
  killed_by_signal_ = 0;
  exit_status_ = -1;
}

void ChildProcess::Kill() {
  if (pid_ > 0) ::kill(pid_, SIGKILL);
}

std::string ChildProcess::Wait() {
  std::string text;
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
