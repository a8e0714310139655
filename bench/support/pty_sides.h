#pragma once
// The two ends a transfer benchmark compares on the same pseudo-terminal: a plain
// descriptor driven with write/read, and the port component driven with SendString and
// ReadString. Both receive by asking again until the block is complete, as a caller that
// polls does: at once by default, or after a pause where another thread (a simulated
// module) needs the core. The only difference between them is the code in between.
// Every receive gives up after a deadline instead of hanging.
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "serial/custom_comm.h"

namespace bench {

using Bytes = std::vector<std::uint8_t>;

// How long a block may take before the benchmark reports a fault instead of waiting on.
inline constexpr std::chrono::seconds kTransferDeadline{5};

// A block of n bytes with every byte value, zeros included.
Bytes Pattern(std::size_t n, std::uint8_t seed = 0);

class RawSide {
 public:
  // Opens the terminal device at path raw and non-blocking; std::system_error on failure.
  explicit RawSide(const std::string& path,
                   std::chrono::milliseconds deadline = kTransferDeadline);
  ~RawSide();
  RawSide(const RawSide&) = delete;
  RawSide& operator=(const RawSide&) = delete;

  void Send(const Bytes& block);
  // Reads until n bytes arrived and returns them (valid until the next receive);
  // std::runtime_error when they did not come in time.
  const Bytes& ReceiveCount(std::size_t n);
  // As ReceiveCount, and std::runtime_error when the bytes differ from those expected.
  void Receive(const Bytes& expected);
  // How long a receive sleeps after a read that found nothing; 0 (the default) spins.
  void SetPollPause(std::chrono::microseconds pause) { pause_ = pause; }
  int Handle() const { return fd_; }

 private:
  int fd_ = -1;
  std::chrono::milliseconds deadline_;
  std::chrono::microseconds pause_{0};
  Bytes received_;
};

// The component as the window runs it: notifications of its event thread are handed over
// to this (the owner's) thread, which runs them between its calls as an event loop would.
class CommSide {
 public:
  // Opens the component on path with its default settings; std::runtime_error on refusal.
  explicit CommSide(const std::string& path,
                    std::chrono::milliseconds deadline = kTransferDeadline);
  void Send(const Bytes& block);
  // As for RawSide, through ReadString.
  const Bytes& ReceiveCount(std::size_t n);
  void Receive(const Bytes& expected);
  void SetPollPause(std::chrono::microseconds pause) { pause_ = pause; }
  serial::TXComm& Comm() { return comm_; }
  // Notifications of the event thread run here so far: one per completed wait.
  std::uint64_t HandOvers() const { return hand_overs_; }

 private:
  serial::TXComm comm_;
  std::chrono::milliseconds deadline_;
  std::chrono::microseconds pause_{0};
  Bytes pending_;  // read by ReadString, not yet taken
  Bytes received_;
  Bytes chunk_;
  std::uint64_t hand_overs_ = 0;
};

// Throws std::runtime_error naming `who` when `got` is not `expected`.
void CheckSame(const Bytes& got, const Bytes& expected, const char* who);

}  // namespace bench
