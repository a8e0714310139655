// Hours of polling in seconds: read transactions against the simulated module, which
// corrupts the check of every 100th answer and drops every 101st, driven as fast as the
// line allows (each answer that comes is in before the next request). Every good answer is
// decoded once with the module's values, every corrupted one gives one check failure line
// (at the tick that reads it), dropped ones give nothing, and the heap grows by less
// than 1 MiB (the log apart: the test empties it after every transaction).
//
// The test suite runs a short soak; RTUTEST_SOAK_TRANSACTIONS sets the count (18000 is an
// hour of 200 ms polling) and RTUTEST_SOAK_BAUD the module's line rate (default 115200).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/reliability/process_probe.h"
#include "tests/reliability/window_rig.h"
#include "tools/qlm7305_sim/simulated_module.h"

namespace reliability {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::seconds;

constexpr std::size_t kHeapBound = 1 << 20;
constexpr int kWarmUp = 50;  // transactions before the heap is first measured

int FromEnvironment(const char* name, int fallback) {
  const char* text = std::getenv(name);
  return text != nullptr && *text != '\0' ? std::atoi(text) : fallback;
}

const QStringList kModuleValues = {
    "AI0=1.000", "AI1=10.000", "AI2=23.456", "AI3=-0.500", "AI4=0.000", "AI5=0.000",
    "AI6=0.000", "AI7=0.000", "DI1=01 ",     "DI2=00 ",    "DI3=01 ",   "DI4=00 ",
    "DO1=00 ",   "DO2=01 ",    "DO3=00 ",    "DO4=00 "};

struct Expected {
  std::uint64_t good = 0;
  std::uint64_t corrupted = 0;
  std::uint64_t dropped = 0;
  bool failure_pending = false;  // the last answer was corrupted: the next send reports it
};

class Soak {
 public:
  explicit Soak(sim::SimulatorOptions options) : module_(std::move(options)) {}

  bool Open() { return rig_.OpenPort(module_.SlavePath()); }

  // One read command, its answer (if any) waited for, and one tick. False on a time-out.
  bool Transaction() {
    const sim::ModuleCounters before = module_.Counters();
    rig_.Read();
    const std::uint64_t requests = before.requests + (first_ ? 2 : 1);  // the mode frame
    first_ = false;
    if (!module_.WaitUntil([&](const auto& c) { return c.requests >= requests; }, seconds(5)))
      return false;
    const sim::ModuleCounters after = module_.Counters();
    Account(before, after);
    if (after.replies > before.replies &&
        !WaitFor([&] { return rig_.Window().XMODEM1().InQueueCount() >= 53; }))
      return false;
    rig_.ProcessEvents();
    rig_.Tick();
    rig_.TakeLog(counts_);
    return true;
  }

  // A tick that reads nothing settles what a last corrupted answer left.
  void Finish() {
    rig_.Tick();
    rig_.TakeLog(counts_);
    expected_.failure_pending = false;
  }

  const LogCounts& Counts() const { return counts_; }
  const Expected& Want() const { return expected_; }
  const auto& Boxes() const { return rig_.Boxes(); }

 private:
  void Account(const sim::ModuleCounters& before, const sim::ModuleCounters& after) {
    expected_.failure_pending = after.corrupted_replies > before.corrupted_replies;
    expected_.corrupted += after.corrupted_replies - before.corrupted_replies;
    expected_.dropped += after.dropped_replies - before.dropped_replies;
    expected_.good += (after.replies - before.replies) - (after.corrupted_replies - before.corrupted_replies);
  }

  sim::SimulatedModule module_;
  WindowRig rig_;
  LogCounts counts_;
  Expected expected_;
  bool first_ = true;
};

sim::SimulatorOptions SoakModule() {
  sim::SimulatorOptions options;
  options.baud = FromEnvironment("RTUTEST_SOAK_BAUD", 115200);
  options.values = sim::ValueMode::kFixed;
  options.faults.corrupt_every = 100;
  options.faults.drop_every = 101;
  return options;
}

// Decodes and failure lines so far against what the module did: nothing counted twice.
void ExpectInStep(const Soak& soak, int transaction) {
  const Expected& want = soak.Want();
  const LogCounts& got = soak.Counts();
  ASSERT_EQ(static_cast<std::uint64_t>(got.decodes), want.good) << "transaction " << transaction;
  ASSERT_EQ(static_cast<std::uint64_t>(got.failures), want.corrupted) << "transaction " << transaction;
}

TEST(Soak, EveryGoodAnswerDecodedEveryCorruptedOneReportedOnceNothingTwice) {
  const int transactions = FromEnvironment("RTUTEST_SOAK_TRANSACTIONS", 300);
  Soak soak(SoakModule());
  ASSERT_TRUE(soak.Open());
  std::size_t heap_start = 0;
  const auto start = Clock::now();
  for (int i = 1; i <= transactions; ++i) {
    ASSERT_TRUE(soak.Transaction()) << "transaction " << i << " timed out";
    ExpectInStep(soak, i);
    if (soak.Counts().decodes > 0) {
      ASSERT_EQ(soak.Counts().last_values, kModuleValues);
    }
    if (i == kWarmUp) heap_start = HeapInUse();
  }
  soak.Finish();
  ExpectInStep(soak, transactions);
  const double took = std::chrono::duration<double>(Clock::now() - start).count();
  const std::size_t heap_end = HeapInUse();
  const std::size_t growth = heap_end > heap_start ? heap_end - heap_start : 0;
  if (transactions > kWarmUp) {
    EXPECT_LT(growth, kHeapBound);
  }
  EXPECT_TRUE(soak.Boxes().empty());
  EXPECT_EQ(soak.Want().good + soak.Want().corrupted + soak.Want().dropped,
            static_cast<std::uint64_t>(transactions));
  std::printf("soak: %d transactions in %.1f s (%.1f ms each): %llu decoded, %llu corrupted "
              "reported, %llu dropped; heap growth %zu bytes after %d transactions\n",
              transactions, took, took * 1000 / transactions,
              static_cast<unsigned long long>(soak.Want().good),
              static_cast<unsigned long long>(soak.Want().corrupted),
              static_cast<unsigned long long>(soak.Want().dropped), growth, kWarmUp);
}

}  // namespace
}  // namespace reliability
