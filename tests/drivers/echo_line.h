#pragma once
// The line a port test opens, with a peer that sends every byte it receives straight back.
// On the bench the line is a real driver (DRIVERS_DEVICE) and the host plays the peer; on
// the build machine it is a pseudo-terminal whose master a thread of this process echoes.
// Both run the same test bodies.
#include <memory>
#include <string>

namespace drivers {

class EchoLine {
 public:
  EchoLine();
  ~EchoLine();
  EchoLine(const EchoLine&) = delete;
  EchoLine& operator=(const EchoLine&) = delete;

  const std::string& Path() const { return path_; }
  bool OnBench() const { return on_bench_; }

 private:
  struct PtyEcho;
  std::unique_ptr<PtyEcho> pty_;
  std::string path_;
  bool on_bench_ = false;
};

}  // namespace drivers
