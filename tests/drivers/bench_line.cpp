#include "tests/drivers/bench_line.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <system_error>

#include "serial/custom_comm.h"
#include "serial/platform/posix/unique_fd.h"
#include "tests/drivers/gadget_peer.h"
#include "tests/support/wait_for.h"

namespace drivers {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

namespace {

std::string DeviceFromEnvironment() {
  const char* device = std::getenv("DRIVERS_DEVICE");
  if (device == nullptr || *device == '\0') {
    throw std::runtime_error("DRIVERS_DEVICE is not set: run this test on the bench (scripts/drivers)");
  }
  return device;
}

// The peer of a line whose far end is in the guest; null where the host plays it. It
// lives until the process ends, so every test of the process finds the far end open.
GadgetPeer* LocalPeer() {
  static const std::unique_ptr<GadgetPeer> peer = []() -> std::unique_ptr<GadgetPeer> {
    const char* gadget = std::getenv("DRIVERS_PEER");
    if (gadget == nullptr || *gadget == '\0') return nullptr;
    return std::make_unique<GadgetPeer>(gadget, DeviceFromEnvironment());
  }();
  return peer.get();
}

void AskHost(const std::string& request) {
  const std::string answer = BenchRequest(request);
  if (answer != "ok") throw std::runtime_error("the bench refused '" + request + "': " + answer);
}

}  // namespace

std::string DevicePath() {
  const std::string device = DeviceFromEnvironment();
  LocalPeer();
  return device;
}

namespace {

std::string Hex(const std::vector<std::uint8_t>& bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  for (std::uint8_t b : bytes) text += {kDigits[b >> 4], kDigits[b & 15]};
  return text;
}

std::vector<std::uint8_t> FromHex(const std::string& text) {
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
    bytes.push_back(static_cast<std::uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
  }
  return bytes;
}

std::string LineName() { return std::filesystem::path(DevicePath()).filename().string(); }

}  // namespace

void PlayPeer(const std::string& mode) {
  if (GadgetPeer* peer = LocalPeer()) {
    if (mode == "echo") return peer->Play(GadgetPeer::Mode::kEcho);
    if (mode == "stall") return peer->Play(GadgetPeer::Mode::kStall);
    if (mode == "closed") return peer->Play(GadgetPeer::Mode::kClosed);
    if (mode == "held") return peer->Play(GadgetPeer::Mode::kHeld);
    throw std::invalid_argument("no peer mode " + mode);
  }
  AskHost("peer " + LineName() + " " + mode);
}

bool PeerSend(const std::vector<std::uint8_t>& bytes) {
  if (GadgetPeer* peer = LocalPeer()) return peer->Send(bytes);
  return BenchRequest("send " + LineName() + " " + Hex(bytes)) == "ok";
}

std::vector<std::uint8_t> PeerTake(std::size_t n, milliseconds patience) {
  if (GadgetPeer* peer = LocalPeer()) return peer->Take(n, patience);
  const std::string answer = BenchRequest(
      "take " + LineName() + " " + std::to_string(n) + " " + std::to_string(patience.count()),
      patience + std::chrono::seconds(10));
  if (answer.rfind("ok", 0) != 0) throw std::runtime_error("the bench refused a take: " + answer);
  return FromHex(answer.size() > 3 ? answer.substr(3) : "");
}

void Unplug() {
  if (GadgetPeer* peer = LocalPeer()) return peer->Unplug();
  AskHost("unplug");
}

void Plug() {
  if (GadgetPeer* peer = LocalPeer()) return peer->Plug();
  AskHost("plug");
}

std::string BenchRequest(const std::string& request, milliseconds patience) {
  const char* path = std::getenv("DRIVERS_CONTROL");
  const std::string control = path ? path : "/dev/bench-control";
  const int fd = ::open(control.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) throw std::runtime_error("no bench control port at " + control);
  const std::string line = request + "\n";
  std::string answer;
  std::size_t written = 0;
  while (written < line.size()) {
    const ssize_t n = ::write(fd, line.data() + written, line.size() - written);
    if (n <= 0) break;
    written += static_cast<std::size_t>(n);
  }
  if (written == line.size()) {
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

std::uint32_t StallOutput(serial::TCustomComm& comm) {
  PlayPeer("stall");
  comm.Buffers().SetOutputTimeout(2000);
  const std::vector<std::uint8_t> block(256 * 1024, 0x5A);
  return comm.SendData(block.data(), static_cast<std::uint32_t>(block.size()));
}

}  // namespace drivers
