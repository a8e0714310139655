// Cost of appending traffic log lines as the log grows: 10^3 to 10^6 lines already there.
// The log keeps the most recent 10^6 lines, so at 10^6 every new line also drops the
// oldest. Each iteration appends one read-all answer's lines (the received line and 16
// value lines) and lets the log repaint, as a tick does. Runs on the offscreen platform.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPlainTextEdit>
#include <QStringList>

namespace {

constexpr int kLimit = 1'000'000;  // as the window sets it

const QString kReceived = QStringLiteral(
    "2024/3/5 14:07:09 接收：01 03 30 00 00 3F 80 00 00 41 20 A5 E3 41 BB 00 00 BF 00 00 00 00 "
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 01 00 00 00 01 00 00 00 00 00 01 00 00 00 00 25 0B ");

QString Filler(int lines) {
  QStringList text;
  text.reserve(lines);
  for (int i = 0; i < lines; ++i) text << QStringLiteral("2024/3/5 14:07:09 发送：01 03 00 00 00 18 45 C0 ");
  return text.join(u'\n');
}

void AppendAnswer(benchmark::State& state) {
  QPlainTextEdit log;
  log.setMaximumBlockCount(kLimit);
  log.resize(635, 115);
  log.show();
  log.setPlainText(Filler(static_cast<int>(state.range(0))));
  QCoreApplication::processEvents();
  for (auto _ : state) {
    log.appendPlainText(kReceived);
    for (int k = 0; k < 16; ++k) log.appendPlainText(QStringLiteral("AI%1=1.000").arg(k % 8));
    QCoreApplication::processEvents();
  }
  state.counters["lines"] = log.blockCount();
  state.SetItemsProcessed(state.iterations() * 17);
}
BENCHMARK(AppendAnswer)
    ->Arg(1'000)
    ->Arg(10'000)
    ->Arg(100'000)
    ->Arg(1'000'000)
    ->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
