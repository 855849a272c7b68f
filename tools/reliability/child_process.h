// A forked child process that reports to its parent through a pipe.
//
// Start forks; the child runs body(report_fd) and then _exit(0), or _exit(3) when body throws
// (the exception's text is written to the pipe first as a line "X text"). The child never
// returns into the caller's code, never runs the parent's exit handlers and never flushes its
// stdio buffers. The parent reads what the child wrote with Wait (all of it, once the child has
// ended), or line by line with ReadLine while it runs; a child started with a body that also
// takes a command_fd waits for its parent's word with AwaitParent, which the parent gives with
// Tell. The caller must not hold an open database connection across Start: a SQLite
// connection must not be used in both processes.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>

namespace varnolde::reliability {

// Writes all of text to fd, retrying after interruptions; the child's way to report.
void WriteLine(int fd, const std::string& text);
// The child's wait for its parent's Tell; false when the parent is gone.
bool AwaitParent(int command_fd);

class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess();  // kills and reaps a child still running
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  void Start(const std::function<void(int report_fd)>& body);
  void Start(const std::function<void(int report_fd, int command_fd)>& body);
  void Kill();  // SIGKILL
  // Waits for the end of the child; returns what it wrote (what ReadLine did not return).
  std::string Wait();
  // The next line the child wrote, without its end; false when the child closed its end or
  // wrote no whole line within timeout_ms.
  bool ReadLine(std::string& line, int timeout_ms);
  // Lets the child's AwaitParent return.
  void Tell();

  bool Killed() const;  // ended by SIGKILL
  int ExitStatus() const { return exit_status_; }   // -1 when it did not exit
  std::string Outcome() const;                      // "exit 3", "signal 11", ...

 private:
  pid_t pid_ = -1;
  int read_fd_ = -1;
  int command_fd_ = -1;
  std::string unread_;  // read from the pipe, not yet returned
  int killed_by_signal_ = 0;
  int exit_status_ = -1;
};

}  // namespace varnolde::reliability
