#include "tests/drivers/bench_line.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "serial/custom_comm.h"
#include "serial/platform/posix/unique_fd.h"
#include "tests/support/wait_for.h"

namespace drivers {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

std::string DevicePath() {
  const char* device = std::getenv("DRIVERS_DEVICE");
  if (device == nullptr || *device == '\0') {
    throw std::runtime_error("DRIVERS_DEVICE is not set: run this test on the bench (scripts/drivers)");
  }
  return device;
}

std::string BenchRequest(const std::string& request, milliseconds patience) {
  const char* path = std::getenv("DRIVERS_CONTROL");
  const std::string control = path ? path : "/dev/bench-control";
  const int fd = ::open(control.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) throw std::runtime_error("no bench control port at " + control);
  const std::string line = request + "\n";
  std::string answer;
  if (::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size())) {
    const auto deadline = Clock::now() + patience;
    while (answer.empty() || answer.back() != '\n') {
      const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
      pollfd p{fd, POLLIN, 0};
      if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
      char c = 0;
      if (::read(fd, &c, 1) != 1) break;
      answer += c;
    }
  }
  ::close(fd);
  if (answer.empty() || answer.back() != '\n') {
    throw std::runtime_error("the bench did not answer '" + request + "'");
  }
  answer.pop_back();
  return answer;
}

std::vector<std::uint8_t> AllByteValues(int data_bits) {
  const unsigned mask = (1u << data_bits) - 1;
  std::vector<std::uint8_t> bytes;
  for (int round = 0; round < 2; ++round) {
    for (unsigned v = 0; v < 256; ++v) bytes.push_back(static_cast<std::uint8_t>(v & mask));
  }
  return bytes;
}

milliseconds WaitForNode(const std::string& path, bool present, milliseconds patience) {
  const auto start = Clock::now();
  const std::string folder = std::filesystem::path(path).parent_path().string();
  const serial::platform::posix::UniqueFd changes(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
  constexpr std::uint32_t kNodes = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB;
  if (!changes.Valid() || ::inotify_add_watch(changes.Get(), folder.c_str(), kNodes) < 0) {
    throw std::system_error(errno, std::generic_category(), "cannot watch " + folder);
  }
  const auto as_wanted = [&] {
    struct stat st {};
    return (::stat(path.c_str(), &st) == 0) == present;
  };
  const auto until_a_change = [&](milliseconds left) {
    pollfd p{changes.Get(), POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) return;
    char events[4096];
    while (::read(changes.Get(), events, sizeof events) > 0) {
    }
  };
  if (!test_support::WaitFor(as_wanted, until_a_change, patience)) return milliseconds(-1);
  return std::chrono::duration_cast<milliseconds>(Clock::now() - start);
}

std::uint32_t StallOutput(serial::TCustomComm& comm, const std::string& line) {
  const std::string answer = BenchRequest("peer " + line + " stall");
  if (answer != "ok") throw std::runtime_error("the bench refused to stall " + line + ": " + answer);
  comm.Buffers().SetOutputTimeout(2000);
  const std::vector<std::uint8_t> block(256 * 1024, 0x5A);
  return comm.SendData(block.data(), static_cast<std::uint32_t>(block.size()));
}

}  // namespace drivers
