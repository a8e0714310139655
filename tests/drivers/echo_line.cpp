#include "tests/drivers/echo_line.h"

#include <poll.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>

#include "serial/platform/testing/pty_pair.h"
#include "tests/drivers/bench_line.h"

namespace drivers {

// Echoes the master until the stop pipe is written.
struct EchoLine::PtyEcho {
  serial::platform::testing::PtyPair pty;
  int stop[2] = {-1, -1};
  std::thread thread;

  PtyEcho() {
    if (::pipe(stop) != 0) throw std::runtime_error("no pipe for the echo peer");
    thread = std::thread([this] { Run(); });
  }
  ~PtyEcho() {
    const char c = 0;
    (void)!::write(stop[1], &c, 1);
    thread.join();
    ::close(stop[0]);
    ::close(stop[1]);
  }
  void Run() {
    for (;;) {
      pollfd fds[2] = {{pty.MasterHandle(), POLLIN, 0}, {stop[0], POLLIN, 0}};
      if (::poll(fds, 2, -1) < 0 || fds[1].revents) return;
      std::uint8_t buffer[4096];
      const ssize_t n = ::read(pty.MasterHandle(), buffer, sizeof buffer);
      if (n > 0) pty.Write(std::vector<std::uint8_t>(buffer, buffer + n));
    }
  }
};

EchoLine::EchoLine() {
  if (std::getenv("DRIVERS_DEVICE") != nullptr) {
    path_ = DevicePath();
    on_bench_ = true;
  } else {
    pty_ = std::make_unique<PtyEcho>();
    path_ = pty_->pty.SlavePath();
  }
}

EchoLine::~EchoLine() = default;

}  // namespace drivers
