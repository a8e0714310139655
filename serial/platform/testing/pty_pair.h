#pragma once
// A pseudo-terminal pair for tests: the slave path is a real terminal device that the code
// under test opens; the test plays the peer on the master side. Both sides are raw, so
// bytes pass unchanged (zeros, CR, LF, control characters). Closing the master hangs the
// line up, as unplugging an adapter does.
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace serial::platform::testing {

class PtyPair {
 public:
  // Throws std::system_error when the system has no pseudo-terminal to give.
  explicit PtyPair(bool nonblocking_master = true);
  ~PtyPair();
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  const std::string& SlavePath() const { return slave_path_; }
  int MasterHandle() const { return master_; }

  // Writes every byte to the master within timeout; false when that failed.
  bool Write(const std::vector<std::uint8_t>& bytes,
             std::chrono::milliseconds timeout = std::chrono::seconds(5));
  // Reads from the master until n bytes arrived or timeout passed; returns what arrived.
  std::vector<std::uint8_t> Read(std::size_t n,
                                 std::chrono::milliseconds timeout = std::chrono::seconds(5));
  // Closes the master now: the slave side sees a hang-up.
  void CloseMaster();
  bool MasterOpen() const { return master_ >= 0; }

 private:
  int master_ = -1;
  // Kept open so that the pty keeps its settings and the master never reads EIO merely
  // because the code under test closed its handle between two steps.
  int slave_ = -1;
  std::string slave_path_;
};

// The same on any non-blocking descriptor: a terminal's far end the test plays.
bool WriteAll(int fd, const std::vector<std::uint8_t>& bytes, std::chrono::milliseconds timeout);
std::vector<std::uint8_t> ReadUpTo(int fd, std::size_t n, std::chrono::milliseconds timeout);

}  // namespace serial::platform::testing
