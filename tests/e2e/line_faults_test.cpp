// What a real line does to the module's answers: cut by the polling tick, split with gaps,
// preceded by noise or by the RS-485 adapter's echo of the request, a wrong check.
#include <QComboBox>
#include <QPushButton>

#include "tests/e2e/module_window.h"

namespace rtutest::e2e {
namespace {

using std::chrono::milliseconds;

// Shorter than the 200 ms tick, long enough that a tick lands between two pieces.
constexpr milliseconds kPieceGap{150};

QStringList ReceivedLinesAfterLastSend(const QStringList& log) {
  QStringList received;
  for (const QString& line : log) {
    if (line.contains(QStringLiteral(" 发送："))) received.clear();
    if (line.contains(QStringLiteral(" 接收："))) received << line;
  }
  return received;
}

struct ArrivalCase {
  const char* name;
  int split_pieces;
  int noise_bytes;
  bool echo;
  std::vector<std::uint32_t> tick_at;  // bytes waiting at each tick (a tick takes them all)
  int received_lines;  // blocks holding a byte above 20 hex or a byte of the answer
};

// Cut into 3 pieces the middle one is all 00 bytes: logged all the same, as part of the answer.
const ArrivalCase kArrivals[] = {
    {"two pieces, a tick between", 2, 0, false, {27, 26}, 2},
    {"three pieces, a tick between each", 3, 0, false, {18, 18, 17}, 3},
    {"noise before the answer", 1, 5, false, {5 + 53}, 1},
    {"echo of the request before the answer", 1, 0, true, {8 + 53}, 1},
    {"echo, noise, then two pieces", 2, 5, true, {8 + 5 + 27, 26}, 2},
};

class LineFaults : public ModuleWindow {};

TEST_F(LineFaults, AnswersThatArriveInPiecesOrBehindOtherBytesDecodeOnce) {
  for (const ArrivalCase& arrival : kArrivals) {
    SCOPED_TRACE(arrival.name);
    sim::SimulatorOptions options = FixedModule();
    options.faults.split_pieces = arrival.split_pieces;
    options.faults.split_gap = kPieceGap;
    options.faults.noise_bytes = arrival.noise_bytes;
    options.faults.echo = arrival.echo;
    Start(options);
    mode_answer_bytes_ = arrival.echo ? 9 : 0;  // the mode frame is echoed too
    window_.Controls().Memo1->clear();
    PressOpen();
    const std::uint64_t before = Module().Counters().requests;
    PressRead();
    ASSERT_TRUE(WaitForMoreRequests(before, 2));
    for (std::uint32_t count : arrival.tick_at) TickWhenWaiting(count);

    EXPECT_EQ(DecodedAnswers(), 1);
    EXPECT_EQ(CheckFailures(), 0);
    EXPECT_EQ(Tail(16), ExampleValueLines());
    const QStringList received = ReceivedLinesAfterLastSend(Log());
    EXPECT_EQ(received.size(), arrival.received_lines) << received.join('\n').toStdString();
    EXPECT_TRUE(received.join(QString()).endsWith(QStringLiteral("25 0B ")));
    Tick();  // an idle tick afterwards leaves no trace
    EXPECT_EQ(CheckFailures(), 0);
    EXPECT_TRUE(instruments_.boxes.empty());
  }
}

// At 2400 bit/s the answer takes about 220 ms on the line. The module sends it in four
// pieces back to back, each as the line carries it, as a USB adapter hands a long frame on
// in chunks; ticking whenever anything waits cuts it wherever the bytes happen to be, as
// the 200 ms tick does on a real line.
TEST_F(LineFaults, AnswerCutByTicksAnywhereDecodesOnce) {
  sim::SimulatorOptions options = FixedModule();
  options.baud = 2400;
  options.faults.split_pieces = 4;
  options.faults.split_gap = {};
  Start(options);
  window_.Controls().ComboBox1->setEditText("2400");
  PressOpen();
  const std::uint64_t before = Module().Counters().requests;
  PressRead();
  ASSERT_TRUE(WaitForMoreRequests(before, 2));
  int reading_ticks = 0;
  while (DecodedAnswers() == 0 && WaitUntilWaiting(1)) {
    Tick();
    ++reading_ticks;
  }
  EXPECT_GE(reading_ticks, 2);
  EXPECT_EQ(DecodedAnswers(), 1);
  EXPECT_EQ(CheckFailures(), 0);
  const QStringList log = Log();
  Tick();
  EXPECT_EQ(Log(), log);
}

TEST_F(LineFaults, WrongCheckIsReportedOnceAndTheListKeepsTheLastGoodValues) {
  sim::SimulatorOptions options = FixedModule();
  options.faults.corrupt_every = 3;  // the answer to the second read
  Start(options);
  PressOpen();
  ReadAndTick();
  const std::uint64_t before = Module().Counters().requests;
  window_.Controls().RelayButtons[0]->click();  // relay 1 on: the next good read shows DO1 01
  ASSERT_TRUE(WaitForMoreRequests(before));
  TickWhenWaiting(8);

  ReadAndTick();
  Tick();  // the bytes are given up on the tick that brings nothing new
  EXPECT_EQ(CheckFailures(), 1);
  EXPECT_EQ(Log().back(), QStringLiteral("CRC校验失败！"));
  EXPECT_EQ(DecodedAnswers(), 1);
  EXPECT_EQ(Cell(15), "00 ");  // DO1 as the last good answer had it
  EXPECT_EQ(Cell(1), "1.000");

  ReadAndTick();
  EXPECT_EQ(DecodedAnswers(), 2);
  EXPECT_EQ(CheckFailures(), 1);
  EXPECT_EQ(Cell(15), "01 ");
}

}  // namespace
}  // namespace rtutest::e2e
