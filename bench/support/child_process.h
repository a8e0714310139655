#pragma once
// A child process whose standard output the parent collects, for benchmarks that compare
// whole processes side by side (an idle port against a process that only sleeps).
#include <string>
#include <sys/types.h>
#include <vector>

namespace bench {

class ChildProcess {
 public:
  // Starts `program` with `args` (argv[0] is added); its standard error is the parent's.
  // Throws std::system_error when it cannot be started.
  ChildProcess(const std::string& program, const std::vector<std::string>& args);
  // Kills and reaps a child that was not finished.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Reads its output to the end and waits for it; std::runtime_error when it did not
  // exit with status 0.
  std::string Finish();

 private:
  pid_t pid_ = -1;
  int out_ = -1;  // read end of its standard output
};

// The path of the running program, for starting itself in another role.
std::string SelfPath();

}  // namespace bench
