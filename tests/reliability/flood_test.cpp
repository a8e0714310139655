// A device that streams without pause: 1 MiB of random bytes as fast as the pseudo-terminal
// takes them, into the open window, with the example answer straight after. Ticks run back
// to back (the window's timer would space them 200 ms apart), each timed. The heap stays
// within 1 MiB of where it started, the log apart (the test empties it after every tick);
// no tick holds the window up for long; and the answer is decoded at the latest on the
// tick after the one that read its last byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <random>
#include <thread>

#include "modbus/tests/reference_frames.h"
#include "serial/platform/testing/pty_pair.h"
#include "tests/reliability/process_probe.h"
#include "tests/reliability/window_rig.h"

namespace reliability {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;
using std::chrono::microseconds;

constexpr std::size_t kFloodBytes = 1 << 20;
constexpr std::size_t kHeapBound = 1 << 20;
// A tick that took this long would leave the window unresponsive; real ticks take
// milliseconds. Generous for sanitizer builds on a shared machine.
constexpr microseconds kSlowTick = std::chrono::seconds(1);

Bytes RandomBytes(std::size_t n) {
  std::mt19937 random(7305);
  Bytes out(n);
  for (auto& b : out) b = static_cast<std::uint8_t>(random());
  return out;
}

struct TickTimes {
  int count = 0;
  microseconds total{0};
  microseconds longest{0};
  void Add(microseconds t) {
    ++count;
    total += t;
    longest = std::max(longest, t);
  }
};

const QStringList kExampleValues = {
    "AI0=1.000", "AI1=10.000", "AI2=23.456", "AI3=-0.500", "AI4=0.000", "AI5=0.000",
    "AI6=0.000", "AI7=0.000", "DI1=01 ",     "DI2=00 ",    "DI3=01 ",   "DI4=00 ",
    "DO1=00 ",   "DO2=01 ",    "DO3=00 ",    "DO4=00 "};

TEST(Flood, OneMebibyteOfNoiseLeavesTheHeapBoundedAndDecodingInStep) {
  serial::platform::testing::PtyPair pty;
  WindowRig rig;
  ASSERT_TRUE(rig.OpenPort(pty.SlavePath()));
  const Bytes flood = RandomBytes(kFloodBytes);
  const Bytes answer = modbus::testing_frames::ExampleResponse();
  LogCounts counts;
  rig.Tick();
  rig.TakeLog(counts);
  const std::size_t heap_before = HeapInUse();

  const std::uint64_t total = flood.size() + answer.size();
  std::atomic<bool> write_failed = false;
  const auto start = Clock::now();
  std::thread peer([&] {
    if (!pty.Write(flood, std::chrono::seconds(120)) || !pty.Write(answer)) write_failed = true;
  });

  TickTimes times;
  std::size_t heap_peak = heap_before;
  int ticks_after_last_byte = -1;  // 0: the tick that read the last byte
  int decoded_at = -1;
  const auto deadline = Clock::now() + std::chrono::seconds(120);
  while (Clock::now() < deadline && ticks_after_last_byte < 2 && !write_failed) {
    rig.ProcessEvents();
    times.Add(rig.TimedTick());
    const int decodes_before = counts.decodes;
    rig.TakeLog(counts);
    heap_peak = std::max(heap_peak, HeapInUse());
    if (ticks_after_last_byte >= 0 || rig.Platform().BytesRead() >= total) ++ticks_after_last_byte;
    if (ticks_after_last_byte >= 0 && counts.decodes > decodes_before) decoded_at = ticks_after_last_byte;
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  peer.join();

  ASSERT_FALSE(write_failed);
  EXPECT_EQ(rig.Platform().BytesRead(), total);
  EXPECT_GE(decoded_at, 0) << "the answer after the flood was never decoded";
  EXPECT_LE(decoded_at, 1);
  EXPECT_EQ(counts.last_values, kExampleValues);
  EXPECT_LT(heap_peak - heap_before, kHeapBound);
  EXPECT_LT(times.longest, kSlowTick);
  EXPECT_TRUE(rig.Boxes().empty());
  std::printf("flood: %zu bytes in %.2f s over %d ticks (%.0f bytes per tick); tick mean %.2f ms, "
              "longest %.2f ms; heap growth %zu bytes; %d check failure lines; decoded %d tick(s) "
              "after the last byte was read\n",
              flood.size(), seconds, times.count, double(total) / times.count,
              times.total.count() / 1000.0 / times.count, times.longest.count() / 1000.0,
              heap_peak - heap_before, counts.failures, decoded_at);
}

}  // namespace
}  // namespace reliability
