#pragma once
// Google Benchmark programs in the benchmark table: the usual console report goes to
// standard error, and each finished benchmark becomes one row on standard output, named by
// its label (State::SetLabel) and showing its CPU time per iteration and, when it counts
// bytes, its rate (which Google Benchmark computes from CPU time too). Such benchmarks
// have no goal of their own.
#include <benchmark/benchmark.h>

namespace bench {

class TableReporter : public benchmark::ConsoleReporter {
 public:
  TableReporter();
  void ReportRuns(const std::vector<Run>& reports) override;
};

// Runs the registered benchmarks with the table reporter. --quick shortens each one.
// Returns the exit status for main.
int RunGoogleBenchmarks(int argc, char** argv);

}  // namespace bench
