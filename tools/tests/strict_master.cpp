#include "tools/tests/strict_master.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>

#include "tools/tests/fd_io.h"

namespace sim::testing {
namespace {

// Waits for input until `deadline` with the clock's precision (poll's milliseconds would
// stretch a 1.5-character limit of 1.56 ms to 2).
bool WaitReadable(int fd, Clock::time_point deadline) {
  const auto left = std::max(Duration{}, deadline - Clock::now());
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
  const timespec limit{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
  pollfd p{fd, POLLIN, 0};
  return ::ppoll(&p, 1, &limit, nullptr) > 0;
}

}  // namespace

StrictReply StrictExchange(int fd, modbus::ByteView request, std::size_t expected,
                           LineTiming timing, std::chrono::milliseconds patience) {
  StrictReply reply;
  if (!WriteAll(fd, request)) return reply;
  const Clock::time_point sent = Clock::now();
  const Duration limit = timing.ByteTime() * 3 / 2;
  Clock::time_point line_free = sent;  // when the bytes seen so far ended on the line
  std::size_t total = 0;
  std::array<std::uint8_t, 512> buffer{};
  while (total < expected) {
    const Clock::time_point deadline = reply.frames.empty() ? sent + patience : line_free + limit;
    const bool readable = WaitReadable(fd, deadline);
    if (!readable && reply.frames.empty()) break;  // no answer at all
    if (!readable) {
      // Silence beyond the limit: the frame has ended. Whatever follows is another frame.
      if (!WaitReadable(fd, sent + patience)) break;
      reply.frames.emplace_back();
    }
    const ssize_t n = ::read(fd, buffer.data(), std::min(buffer.size(), expected - total));
    if (n <= 0) {
      if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
      break;
    }
    const Clock::time_point now = Clock::now();
    const Duration took = timing.TimeFor(static_cast<std::size_t>(n));
    if (reply.frames.empty()) {
      reply.frames.emplace_back();
      reply.first_byte_after = now - sent;
    } else if (readable) {
      reply.largest_gap = std::max(reply.largest_gap, now - took - line_free);
    }
    reply.frames.back().insert(reply.frames.back().end(), buffer.begin(), buffer.begin() + n);
    line_free = now;
    total += static_cast<std::size_t>(n);
  }
  return reply;
}

}  // namespace sim::testing
