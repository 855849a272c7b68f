// A forked child process that reports to its parent through a pipe.
//
// Start forks; the child runs body(report_fd) and then _exit(0), or _exit(3) when body throws
// (the exception's text is written to the pipe first as a line "X text"). The child never
// returns into the caller's code, never runs the parent's exit handlers and never flushes its
// stdio buffers. The parent reads what the child wrote with Wait (all of it, once the child has
// ended). The caller must not hold an open database connection across Start: a SQLite
// connection must not be used in both processes.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>

namespace varnolde::reliability {

// Writes all of text to fd, retrying after interruptions; the child's way to report.
void WriteLine(int fd, const std::string& text);

class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess();  // kills and reaps a child still running
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  void Start(const std::function<void(int report_fd)>& body);
  void Kill();  // SIGKILL
  // Waits for the end of the child; returns what it wrote.
  std::string Wait();

  bool Killed() const;  // ended by SIGKILL
  int ExitStatus() const { return exit_status_; }   // -1 when it did not exit
  std::string Outcome() const;                      // "exit 3", "signal 11", ...

 private:
  pid_t pid_ = -1;
  int read_fd_ = -1;
  int killed_by_signal_ = 0;
  int exit_status_ = -1;
};

}  // namespace varnolde::reliability
