// Cost of appending one sent or received line to the traffic log as it grows to 10^3, 10^4,
// 10^5 and 10^6 lines, and the memory each line takes. Two test windows run side by side
// on the offscreen platform: one log stays near 10^3 lines as the reference, the other
// grows; batches of appends alternate between them, so a change in the machine's load
// shows in both. An append is the window's own: appendPlainText on its Memo1 (which keeps
// at most 10^6 lines, so at 10^6 each append also drops the oldest), then the event loop
// runs once, as it does when a handler returns.
#include <malloc.h>

#include <QApplication>
#include <QDateTime>
#include <QPlainTextEdit>
#include <QStringList>

#include <array>
#include <iostream>
#include <stdexcept>

#include "app/logic/log_lines.h"
#include "app/logic/time_stamp.h"
#include "app/rtutest.h"
#include "bench/support/cpu_time.h"
#include "bench/support/run_options.h"
#include "bench/support/stats.h"
#include "bench/support/table.h"
#include "modbus/requests.h"

namespace {

constexpr std::array<int, 4> kLevels{1'000, 10'000, 100'000, 1'000'000};
constexpr double kGoalRatio = 1.5;
constexpr int kGrowChunk = 10'000;  // lines inserted at once while growing

// A sent read-all request and a received 53-byte answer, as the window writes them.
struct LogTexts {
  QString sent, received;
  const QString& Line(int i) const { return i % 2 == 0 ? sent : received; }
};

LogTexts MakeTexts() {
  const QString stamp = rtutest::FormatTimeStamp(
      QDateTime::currentDateTime(), rtutest::TimeStampFormat::FromLocale(QLocale::system()));
  modbus::ByteString answer(53);
  for (std::size_t i = 0; i < answer.size(); ++i) answer[i] = static_cast<std::uint8_t>(i * 37);
  return {rtutest::SentLine(stamp, modbus::ReadAllRequest(1)),
          rtutest::ReceivedLine(stamp, answer)};
}

// Heap bytes in use (small blocks and mapped large ones).
double HeapInUse() {
  const struct mallinfo2 m = ::mallinfo2();
  return static_cast<double>(m.uordblks + m.hblkhd);
}

class Log {
 public:
  Log() { window_.show(); }
  int Lines() const { return Memo().blockCount(); }

  // Inserts many lines at once: growing is preparation, not what is measured.
  void GrowTo(int lines, const LogTexts& texts) {
    while (Lines() < lines) {
      QStringList chunk;
      for (int i = 0; i < std::min(kGrowChunk, lines - Lines()); ++i) chunk << texts.Line(i);
      Memo().appendPlainText(chunk.join(u'\n'));
    }
    QCoreApplication::processEvents();
  }

  // One line appended as the window appends it, then one turn of the event loop; in µs.
  double AppendOne(const QString& line) {
    const bench::Seconds start = bench::WallTime();
    Memo().appendPlainText(line);
    QCoreApplication::processEvents();
    return (bench::WallTime() - start).count() * 1e6;
  }

 private:
  QPlainTextEdit& Memo() const { return *window_.Controls().Memo1; }
  rtutest::TfrmRTUTest window_;
};

struct Level {
  int lines = 0;
  double cost_us = 0;   // median append into the grown log
  double ref_us = 0;    // median append into the reference log
  double ratio = 0;     // median over trials of the two batch medians' ratio
};

Level MeasureLevel(Log& grown, Log& reference, const LogTexts& texts,
                   const bench::RunOptions& options) {
  const int batch = bench::Pick(options, 100, 40);
  std::vector<double> all_grown, all_ref, ratios;
  for (int t = 0; t < bench::Pick(options, 5, 3); ++t) {
    std::vector<double> g, r;
    for (int i = 0; i < batch; ++i) r.push_back(reference.AppendOne(texts.Line(i)));
    for (int i = 0; i < batch; ++i) g.push_back(grown.AppendOne(texts.Line(i)));
    ratios.push_back(bench::Median(g) / bench::Median(r));
    all_grown.insert(all_grown.end(), g.begin(), g.end());
    all_ref.insert(all_ref.end(), r.begin(), r.end());
  }
  return {grown.Lines(), bench::Median(all_grown), bench::Median(all_ref), bench::Median(ratios)};
}

bench::Row LevelRow(int level, const Level& l) {
  bench::Row row{.measure = "Log growth, append one sent/received line at " +
                            std::to_string(level) + " lines",
                 .figure = bench::Fixed(l.cost_us, 1, "µs"),
                 .reference = "log of about 10^3 lines " + bench::Fixed(l.ref_us, 1, "µs"),
                 .comparison = bench::Fixed(l.ratio, 2, "×"),
                 .goal = "",
                 .met = std::nullopt};
  if (level == kLevels.back()) {
    row.goal = "≤ 1.5 × the cost at 10^3";
    row.met = l.ratio <= kGoalRatio;
  }
  return row;
}

bench::Row MemoryRow(double bytes_per_line, const LogTexts& texts) {
  const double chars = (texts.sent.size() + texts.received.size()) / 2.0;
  return {.measure = "Log memory per line (heap growth from 10^5 to 10^6 lines)",
          .figure = bench::Fixed(bytes_per_line, 0, "B per line"),
          .reference = "average line " + bench::Fixed(chars, 0, "characters"),
          .comparison = bench::Fixed(bytes_per_line / chars, 1, "B per character"),
          .goal = "",
          .met = std::nullopt};
}

void Run(const bench::RunOptions& options) {
  const LogTexts texts = MakeTexts();
  Log reference, grown;
  reference.GrowTo(kLevels.front(), texts);
  double heap_before_last = 0;
  for (int level : kLevels) {
    if (level == kLevels.back()) heap_before_last = HeapInUse();
    const int lines_before = grown.Lines();
    const bench::Seconds start = bench::WallTime();
    grown.GrowTo(level, texts);
    std::cerr << "log growth: grew " << lines_before << " -> " << grown.Lines() << " lines in "
              << bench::Fixed((bench::WallTime() - start).count(), 2, "s") << '\n';
    if (level == kLevels.back())
      bench::PrintRow(std::cout, MemoryRow((HeapInUse() - heap_before_last) /
                                               (grown.Lines() - lines_before), texts));
    bench::PrintRow(std::cout, LevelRow(level, MeasureLevel(grown, reference, texts, options)));
  }
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const bench::RunOptions options = bench::ParseRunOptions(argc, argv);
    if (!options.rest.empty()) throw std::invalid_argument("unknown argument " + options.rest[0]);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    int qt_argc = 1;
    QApplication app(qt_argc, argv);
    Run(options);
  } catch (const std::exception& e) {
    std::cerr << "bench_log_growth: " << e.what() << '\n';
    return 1;
  }
  return 0;
}
