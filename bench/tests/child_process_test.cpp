// Child processes of the side-by-side benchmarks: output collected, failures reported,
// and a child left unfinished never outlives its owner.
#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <system_error>

#include "bench/support/child_process.h"
#include "bench/support/cpu_time.h"

namespace bench {
namespace {

TEST(BenchChildProcess, OutputIsCollectedWhole) {
  ChildProcess child("/bin/sh", {"-c", "printf 'a b\\n'; printf 'c'"});
  EXPECT_EQ(child.Finish(), "a b\nc");
}

TEST(BenchChildProcess, AFailedChildIsReportedNotRead) {
  ChildProcess exits("/bin/sh", {"-c", "echo partial; exit 3"});
  EXPECT_THROW(exits.Finish(), std::runtime_error);
  ChildProcess killed("/bin/sh", {"-c", "kill -9 $$"});
  EXPECT_THROW(killed.Finish(), std::runtime_error);
}

TEST(BenchChildProcess, AMissingProgramIsRefused) {
  EXPECT_THROW(ChildProcess("/nonexistent/program", {}), std::system_error);
}

TEST(BenchChildProcess, AnUnfinishedChildIsEndedWithItsOwner) {
  const Seconds start = WallTime();
  { ChildProcess child("/bin/sleep", {"30"}); }
  EXPECT_LT((WallTime() - start).count(), 10.0);  // generous: it must not wait 30 s
}

TEST(BenchChildProcess, SelfPathIsThisProgram) {
  EXPECT_NE(SelfPath().find("bench_tests"), std::string::npos);
}

}  // namespace
}  // namespace bench
