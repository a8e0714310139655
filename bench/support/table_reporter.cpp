#include "bench/support/table_reporter.h"

#include <iostream>
#include <string>
#include <vector>

#include "bench/support/table.h"

namespace bench {
namespace {

std::string UnitText(benchmark::TimeUnit unit) {
  const std::string text = benchmark::GetTimeUnitString(unit);
  return text == "us" ? "µs" : text;
}

Row ToRow(const benchmark::BenchmarkReporter::Run& run) {
  Row row;
  row.measure = run.report_label.empty() ? run.benchmark_name() : run.report_label;
  // CPU time: on a shared machine the wall time also counts the waits for a free core.
  row.figure = Fixed(run.GetAdjustedCPUTime(), 1, UnitText(run.time_unit) + " CPU per call");
  const auto rate = run.counters.find("bytes_per_second");
  if (rate != run.counters.end()) row.figure += ", " + Rate(rate->second.value);
  const auto items = run.counters.find("items_per_second");
  if (items != run.counters.end() && items->second.value > 0)
    row.figure += ", " + Fixed(1e6 / items->second.value, 2, "µs CPU per item");
  return row;
}

}  // namespace

TableReporter::TableReporter() : ConsoleReporter(OO_Tabular) {
  SetOutputStream(&std::cerr);
  SetErrorStream(&std::cerr);
}

void TableReporter::ReportRuns(const std::vector<Run>& reports) {
  ConsoleReporter::ReportRuns(reports);
  for (const Run& run : reports) {
    if (run.error_occurred || run.run_type != Run::RT_Iteration) continue;
    PrintRow(std::cout, ToRow(run));
  }
}

int RunGoogleBenchmarks(int argc, char** argv) {
  std::vector<char*> args;
  std::string quick_time = "--benchmark_min_time=0.05";
  for (int i = 0; i < argc; ++i) {
    if (std::string(argv[i]) == "--quick") {
      args.push_back(quick_time.data());
    } else {
      args.push_back(argv[i]);
    }
  }
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;
  TableReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}

}  // namespace bench
