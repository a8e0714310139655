// The helpers every benchmark relies on for its figures and its table row.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "bench/support/cpu_time.h"
#include "bench/support/run_options.h"
#include "bench/support/stats.h"
#include "bench/support/table.h"

namespace bench {
namespace {

struct OrderCase {
  std::vector<double> samples;
  double median;
  double p90;
};

TEST(BenchStats, MedianAndPercentileOfUnsortedSamples) {
  const std::vector<OrderCase> cases = {
      {{5}, 5, 5},
      {{3, 1}, 2, 3},
      {{9, 1, 5}, 5, 9},
      {{4, 1, 3, 2}, 2.5, 4},
      {{10, 1, 2, 3, 4, 5, 6, 7, 8, 9}, 5.5, 9},
  };
  for (const auto& c : cases) {
    EXPECT_DOUBLE_EQ(Median(c.samples), c.median) << c.samples.size() << " samples";
    EXPECT_DOUBLE_EQ(Percentile(c.samples, 90), c.p90) << c.samples.size() << " samples";
  }
}

TEST(BenchStats, NoSamplesGiveNaNAndPercentilesClampToTheEnds) {
  EXPECT_TRUE(std::isnan(Median({})));
  EXPECT_TRUE(std::isnan(Percentile({}, 50)));
  EXPECT_DOUBLE_EQ(Percentile({3, 1, 2}, -5), 1);
  EXPECT_DOUBLE_EQ(Percentile({3, 1, 2}, 0), 1);
  EXPECT_DOUBLE_EQ(Percentile({3, 1, 2}, 250), 3);
}

TEST(BenchTable, RowHasSixCellsAndAPipeInATextCannotSplitIt) {
  const Row row{.measure = "a|b", .figure = "1 ms", .reference = "", .comparison = "2 ×",
                .goal = "< 3", .met = false};
  const std::string text = FormatRow(row);
  EXPECT_EQ(text, "| a/b | 1 ms | – | 2 × | < 3 | **missed** |");
  const std::string header = TableHeader();
  const std::string first_line = header.substr(0, header.find('\n'));
  const auto cells = [](const std::string& s) { return std::count(s.begin(), s.end(), '|'); };
  EXPECT_EQ(cells(text), cells(first_line));
}

TEST(BenchTable, VerdictIsMetMissedOrNoneWithoutAGoal) {
  Row row;
  row.measure = "m";
  row.figure = "f";
  EXPECT_NE(FormatRow(row).find("| – | – |"), std::string::npos);
  row.met = true;
  EXPECT_NE(FormatRow(row).find("| met |"), std::string::npos);
}

TEST(BenchTable, NumberTexts) {
  EXPECT_EQ(Fixed(1.23456, 2, "ms"), "1.23 ms");
  EXPECT_EQ(Fixed(2.5, 0), "2");  // round half to even, as printf does
  EXPECT_EQ(Fixed(NAN, 2, "ms"), "n/a");
  EXPECT_EQ(Signed(0.25, 2, "ms"), "+0.25 ms");
  EXPECT_EQ(Signed(-0.006, 3), "-0.006");
  EXPECT_EQ(Signed(0.0, 1), "+0.0");
  EXPECT_EQ(Signed(-0.0004, 3), "+0.000");  // rounds to zero: no minus sign
  EXPECT_EQ(Signed(-0.0006, 3), "-0.001");
  EXPECT_EQ(Signed(NAN, 1), "n/a");
  EXPECT_EQ(Rate(2.5e6), "2.50 MB/s");
  EXPECT_EQ(Rate(999.0e3), "999.0 kB/s");
  EXPECT_EQ(CoreShare(0.00042), "0.042 %");
}

TEST(BenchOptions, QuickSecondsAndTheRestInOrder) {
  const char* argv[] = {"prog", "--role=port", "--quick", "--seconds=2.5", "--other"};
  const RunOptions o = ParseRunOptions(5, argv);
  EXPECT_TRUE(o.quick);
  ASSERT_TRUE(o.seconds.has_value());
  EXPECT_DOUBLE_EQ(*o.seconds, 2.5);
  EXPECT_EQ(o.rest, (std::vector<std::string>{"--role=port", "--other"}));
  EXPECT_EQ(Pick(o, 10, 2), 2);
  EXPECT_EQ(Pick(ParseRunOptions(1, argv), 10, 2), 10);
}

TEST(BenchOptions, MalformedSecondsAreRefused) {
  for (const char* bad : {"--seconds=", "--seconds=abc", "--seconds=0", "--seconds=-1",
                          "--seconds=2x", "--seconds=nan", "--seconds=1e9"}) {
    const char* argv[] = {"prog", bad};
    EXPECT_THROW(ParseRunOptions(2, argv), std::invalid_argument) << bad;
  }
}

TEST(BenchCpuTime, AThreadThatSleepsUsesLittleOfItsWallTime) {
  CpuWindow window;
  // The sleep is the case: the window measures a thread that does nothing else.
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  window.Stop();
  EXPECT_GE(window.Wall().count(), 0.045);
  // Generous: a sleeping thread must not be charged anything near its wall time.
  EXPECT_LT(window.ThreadShare(), 0.5);
  EXPECT_GE(window.ProcessCpu().count(), window.ThreadCpu().count() * 0.99);
}

TEST(BenchCpuTime, BusyWorkIsChargedToTheThread) {
  CpuWindow window;
  volatile double sink = 0;
  const Seconds start = ThreadCpuTime();
  while (ThreadCpuTime() - start < Seconds(0.02)) sink = sink + 1;
  window.Stop();
  EXPECT_GE(window.ThreadCpu().count(), 0.02);
}

}  // namespace
}  // namespace bench
