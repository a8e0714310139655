// Decoding the read-all answer from what the ticks read: whole, split, after an echo or
// noise, with garbage, and the lines and cells it produces.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "app/logic/log_lines.h"
#include "app/logic/receive_decoder.h"
#include "app/logic/response_display.h"
#include "modbus/crc16.h"
#include "modbus/hex_text.h"
#include "modbus/requests.h"
#include "modbus/response.h"
#include "modbus/tests/reference_frames.h"

namespace rtutest {
namespace {

using modbus::ByteString;
using modbus::testing_frames::ExampleResponse;

const QString kStamp = QStringLiteral("3/5/24 2:07:09 PM");

std::vector<QString> Lines(const DisplaySteps& steps) {
  std::vector<QString> lines;
  for (const DisplayStep& s : steps) {
    if (const auto* line = std::get_if<LogLine>(&s)) lines.push_back(line->text);
  }
  return lines;
}

int Count(const DisplaySteps& steps, const QString& prefix) {
  const auto lines = Lines(steps);
  return static_cast<int>(std::count_if(lines.begin(), lines.end(),
                                        [&](const QString& l) { return l.startsWith(prefix); }));
}

int Failures(const DisplaySteps& steps) { return Count(steps, QStringLiteral("CRC校验失败！")); }
int Decodes(const DisplaySteps& steps) { return Count(steps, "AI0="); }

void Append(DisplaySteps& all, const DisplaySteps& more) { all.insert(all.end(), more.begin(), more.end()); }

// Feeds each piece on its own tick, then one tick that reads nothing.
DisplaySteps FeedTicks(ReceiveDecoder& d, const std::vector<ByteString>& pieces) {
  DisplaySteps all;
  for (const ByteString& p : pieces) Append(all, d.Tick(p, kStamp));
  Append(all, d.Tick({}, kStamp));
  return all;
}

ByteString Concat(ByteString a, const ByteString& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

ByteString Slice(const ByteString& b, std::size_t from, std::size_t to) {
  return ByteString(b.begin() + static_cast<std::ptrdiff_t>(from), b.begin() + static_cast<std::ptrdiff_t>(to));
}

// The stream cut once at `cut` (0: in one piece).
std::vector<ByteString> CutAt(const ByteString& stream, std::size_t cut) {
  if (cut == 0) return {stream};
  return {Slice(stream, 0, cut), Slice(stream, cut, stream.size())};
}

// The hex of each received line, in order.
std::vector<QString> ReceivedHex(const DisplaySteps& steps) {
  std::vector<QString> hex;
  const QString marker = QStringLiteral(" 接收：");
  for (const QString& line : Lines(steps)) {
    if (line.startsWith(kStamp + marker)) hex.push_back(line.mid(kStamp.size() + marker.size()));
  }
  return hex;
}

ByteString RelayReply(int address, int relay, bool on) {
  ByteString reply = Slice(modbus::RelayRequest(address, relay, on), 0, 6);
  modbus::AppendCrc16(reply);
  return reply;
}

// A stream of replies and noise, what the window must make of it however the ticks cut
// it: `decodes` answers decoded, `failures` check failure lines, and a received line for
// every piece that holds a byte above 20 hex or a byte of one of the frames (the
// [begin, end) spans), and for no other piece.
struct Stream {
  const char* what;
  ByteString bytes;
  std::vector<std::pair<std::size_t, std::size_t>> frames;
  int decodes = 0;
  int failures = 0;

  void Expect(const std::vector<ByteString>& pieces, const std::string& where) const {
    ReceiveDecoder d;
    const DisplaySteps steps = FeedTicks(d, pieces);
    ASSERT_EQ(Decodes(steps), decodes) << what << where;
    ASSERT_EQ(Failures(steps), failures) << what << where;
    std::vector<QString> expected;
    std::size_t at = 0;
    for (const ByteString& piece : pieces) {
      const bool in_frame = std::any_of(frames.begin(), frames.end(), [&](const auto& f) {
        return at < f.second && f.first < at + piece.size();
      });
      if (in_frame || IsLoggedBlock(piece)) expected.push_back(QString::fromLatin1(modbus::BytesToHex(piece)));
      at += piece.size();
    }
    ASSERT_EQ(ReceivedHex(steps), expected) << what << where;
  }
};

ByteString Join(std::initializer_list<ByteString> parts) {
  ByteString all;
  for (const ByteString& p : parts) all = Concat(all, p);
  return all;
}

TEST(DecodeReadResponse, ExampleLinesThenCellsInOrder) {
  const DisplaySteps steps = DecodeReadResponse(ExampleResponse(), ".");
  const DisplaySteps expected = {
      LogLine{"AI0=1.000"}, CellUpdate{1, "1.000"}, LogLine{"AI1=10.000"}, CellUpdate{2, "10.000"},
      LogLine{"AI2=23.456"}, CellUpdate{3, "23.456"}, LogLine{"AI3=-0.500"}, CellUpdate{4, "-0.500"},
      LogLine{"AI4=0.000"}, CellUpdate{5, "0.000"}, LogLine{"AI5=0.000"}, CellUpdate{6, "0.000"},
      LogLine{"AI6=0.000"}, CellUpdate{7, "0.000"}, LogLine{"AI7=0.000"}, CellUpdate{8, "0.000"},
      LogLine{"DI1=01 "}, CellUpdate{10, "01 "}, LogLine{"DI2=00 "}, CellUpdate{11, "00 "},
      LogLine{"DI3=01 "}, CellUpdate{12, "01 "}, LogLine{"DI4=00 "}, CellUpdate{13, "00 "},
      LogLine{"DO1=00 "}, CellUpdate{15, "00 "}, LogLine{"DO2=01 "}, CellUpdate{16, "01 "},
      LogLine{"DO3=00 "}, CellUpdate{17, "00 "}, LogLine{"DO4=00 "}, CellUpdate{18, "00 "},
  };
  EXPECT_EQ(steps, expected);
}

TEST(DecodeReadResponse, CommaLocaleAndInfinity) {
  ByteString r = ExampleResponse();
  const auto inf = modbus::AnalogToWire(std::numeric_limits<float>::infinity());
  std::copy(inf.begin(), inf.end(), r.begin() + 3 + 4 * 5);  // AIN5
  r.resize(51);
  modbus::AppendCrc16(r);
  const DisplaySteps steps = DecodeReadResponse(r, ",");
  EXPECT_EQ(std::get<LogLine>(steps[4]).text, "AI2=23,456");
  EXPECT_EQ(std::get<CellUpdate>(steps[5]), (CellUpdate{3, "23,456"}));
  EXPECT_EQ(std::get<LogLine>(steps[10]).text, "AI5=  INF");
  EXPECT_EQ(std::get<CellUpdate>(steps[11]), (CellUpdate{6, "  INF"}));
}

TEST(DecodeReadResponse, FailedCheckIsOneLineAndNoCell) {
  ByteString r = ExampleResponse();
  r[10] ^= 0x01;
  EXPECT_EQ(DecodeReadResponse(r, "."), (DisplaySteps{LogLine{"CRC校验失败！"}}));
}

TEST(DecodeReadResponse, ShortPassingBlockFillsOnlyValuesInside) {
  ByteString r = Slice(ExampleResponse(), 0, 31);  // AIN0..AIN6 end at position 31
  modbus::AppendCrc16(r);
  const DisplaySteps steps = DecodeReadResponse(r, ".");
  EXPECT_EQ(Count(steps, "AI"), 7);
  EXPECT_EQ(Count(steps, "AI7"), 0);
  EXPECT_EQ(Count(steps, "DI"), 0);
  EXPECT_EQ(Count(steps, "DO"), 0);
  EXPECT_EQ(steps.size(), 14U);
}

TEST(ReceiveDecoder, ExampleInOneTick) {
  ReceiveDecoder d;
  const DisplaySteps steps = d.Tick(ExampleResponse(), kStamp);
  ASSERT_EQ(Lines(steps).size(), 17U);
  EXPECT_EQ(Lines(steps)[0], kStamp + QStringLiteral(" 接收：") +
                                 QString::fromLatin1(modbus::BytesToHex(ExampleResponse())));
  DisplaySteps values(steps.begin() + 1, steps.end());
  EXPECT_EQ(values, DecodeReadResponse(ExampleResponse(), "."));
  EXPECT_EQ(d.PendingSize(), 0U);
}

TEST(ReceiveDecoder, DecimalSeparatorIsApplied) {
  ReceiveDecoder d(",");
  EXPECT_EQ(Lines(d.Tick(ExampleResponse(), kStamp))[1], "AI0=1,000");
}

// Both pieces are logged, a piece of bytes 00..20 only (01 03, or 0B) included.
TEST(ReceiveDecoder, EverySingleCutDecodesOnceWithoutFailure) {
  const Stream answer{"answer", ExampleResponse(), {{0, 53}}, 1, 0};
  for (std::size_t cut = 1; cut < answer.bytes.size(); ++cut) {
    answer.Expect(CutAt(answer.bytes, cut), ", cut " + std::to_string(cut));
  }
}

// Every piece is logged, even a piece of bytes 00..20 only (01, or 01 03 at a slow rate
// where the answer spans three ticks), in the order the pieces came.
TEST(ReceiveDecoder, EveryPairOfCutsDecodesOnceWithoutFailure) {
  const Stream answer{"answer", ExampleResponse(), {{0, 53}}, 1, 0};
  const ByteString& r = answer.bytes;
  int splits = 0;
  for (std::size_t a = 1; a < r.size(); ++a) {
    for (std::size_t b = a + 1; b < r.size(); ++b) {
      answer.Expect({Slice(r, 0, a), Slice(r, a, b), Slice(r, b, r.size())},
                    ", cuts " + std::to_string(a) + ", " + std::to_string(b));
      ++splits;
    }
  }
  EXPECT_EQ(splits, 1326);
}

TEST(ReceiveDecoder, AfterEchoOrNoiseAtEveryCut) {
  const ByteString r = ExampleResponse();
  const ByteString prefixes[] = {modbus::ReadAllRequest(1), ByteString{0xFF, 0x7E, 0x3C}};
  for (const ByteString& prefix : prefixes) {
    const ByteString stream = Concat(prefix, r);
    for (std::size_t cut = 0; cut < stream.size(); ++cut) {  // cut 0: everything in one tick
      ReceiveDecoder d;
      std::vector<ByteString> pieces = {Slice(stream, 0, cut), Slice(stream, cut, stream.size())};
      if (cut == 0) pieces.erase(pieces.begin());
      const DisplaySteps steps = FeedTicks(d, pieces);
      EXPECT_EQ(Decodes(steps), 1) << prefix.size() << " before, cut " << cut;
      EXPECT_EQ(Failures(steps), 0) << prefix.size() << " before, cut " << cut;
    }
  }
}

TEST(ReceiveDecoder, EchoOnItsOwnTickThenAnswer) {
  ReceiveDecoder d;
  const DisplaySteps steps = FeedTicks(d, {modbus::ReadAllRequest(1), ExampleResponse()});
  EXPECT_EQ(Decodes(steps), 1);
  EXPECT_EQ(Failures(steps), 0);
}

TEST(ReceiveDecoder, GarbageOfFortyBytesGivesExactlyOneFailureLine) {
  ByteString garbage(40, 0x00);
  for (std::size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<std::uint8_t>(0x30 + i);
  ReceiveDecoder d;
  const DisplaySteps first = d.Tick(garbage, kStamp);
  EXPECT_EQ(Failures(first), 1);  // no frame can start in it: reported at once
  EXPECT_EQ(Lines(first).back(), "CRC校验失败！");
  EXPECT_EQ(Failures(FeedTicks(d, {{}, {}})), 0);
  // The same garbage in two short pieces counts as one block.
  ReceiveDecoder split;
  EXPECT_EQ(Failures(FeedTicks(split, {Slice(garbage, 0, 20), Slice(garbage, 20, 40)})), 1);
}

// A stream of noise that never pauses is reported as it comes, not once at its end.
TEST(ReceiveDecoder, ContinuousNoiseIsReportedTickByTick) {
  ReceiveDecoder d;
  std::vector<int> per_tick;
  for (int tick = 0; tick < 10; ++tick) {
    ByteString noise(40);
    for (std::size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<std::uint8_t>(0x80 + tick + 3 * i);
    per_tick.push_back(Failures(d.Tick(noise, kStamp)));
    ASSERT_LE(d.PendingSize(), 4U) << tick;  // at most an exception's unfinished start
  }
  // Each tick gives up (nearly) its 40 bytes and reports them.
  EXPECT_EQ(per_tick, (std::vector<int>{1, 1, 1, 1, 1, 1, 1, 1, 1, 1}));
  EXPECT_EQ(Failures(d.Tick({}, kStamp)), 0);  // the last few bytes go silently
}

// 37 noise bytes, then the answer in two pieces: wherever the second piece ends, the noise
// is reported once and the answer decoded once, right at the tick that completes it.
TEST(ReceiveDecoder, NoiseBeforeASplitAnswerIsReportedOnEveryPath) {
  const ByteString stream = Concat(ByteString(37, 0x55), ExampleResponse());
  for (const std::size_t second_ends : {89U, 90U}) {  // answer bytes 16-52, or 16-53
    ReceiveDecoder d;
    const DisplaySteps first = d.Tick(Slice(stream, 0, 52), kStamp);
    const DisplaySteps second = d.Tick(Slice(stream, 52, second_ends), kStamp);
    const DisplaySteps third = d.Tick(Slice(stream, second_ends, stream.size()), kStamp);
    EXPECT_EQ(Failures(first) + Failures(second) + Failures(third), 1) << second_ends;
    EXPECT_EQ(Failures(first), 1) << second_ends;  // given up at the tick that read it
    EXPECT_EQ(Decodes(second_ends == 90U ? second : third), 1) << second_ends;
    EXPECT_EQ(Decodes(first) + Decodes(second) + Decodes(third), 1) << second_ends;
    EXPECT_TRUE(d.Tick({}, kStamp).empty());
  }
}

// Up to 30 noise bytes in front of an answer go silently however the stream is cut; 31
// to 61 give exactly one failure line, before the values.
TEST(ReceiveDecoder, NoiseInFrontOfAnAnswerAtEveryCut) {
  for (const std::size_t noise : {30U, 31U, 61U}) {
    const ByteString stream = Concat(ByteString(noise, 0x55), ExampleResponse());
    for (std::size_t cut = 1; cut < stream.size(); ++cut) {
      ReceiveDecoder d;
      const DisplaySteps steps = FeedTicks(d, {Slice(stream, 0, cut), Slice(stream, cut, stream.size())});
      ASSERT_EQ(Decodes(steps), 1) << noise << " noise, cut " << cut;
      ASSERT_EQ(Failures(steps), noise > 30 ? 1 : 0) << noise << " noise, cut " << cut;
    }
  }
}

TEST(ReceiveDecoder, ThirtyBytesAreNeverDecodedThirtyOneAre) {
  const ByteString thirty(30, 0x41);
  ReceiveDecoder d;
  EXPECT_EQ(Failures(FeedTicks(d, {thirty})), 0);
  EXPECT_EQ(d.PendingSize(), 0U);
  const ByteString thirty_one(31, 0x41);
  const DisplaySteps steps = FeedTicks(d, {thirty_one});
  EXPECT_EQ(Failures(steps), 1);
  EXPECT_EQ(Lines(steps).back(), "CRC校验失败！");
}

TEST(ReceiveDecoder, ThirtyOneBytesThatPassAreDecodedAtOnce) {
  ByteString r = Slice(ExampleResponse(), 0, 29);
  modbus::AppendCrc16(r);
  ReceiveDecoder d;
  const DisplaySteps steps = d.Tick(r, kStamp);
  EXPECT_EQ(Count(steps, "AI"), 7);  // AIN6 takes positions 28..31, the check bytes included
  EXPECT_EQ(d.PendingSize(), 0U);
}

TEST(ReceiveDecoder, BlankBlocksAreNotLoggedButStillChecked) {
  ReceiveDecoder d;
  EXPECT_TRUE(d.Tick(ByteString{0x0D, 0x0A}, kStamp).empty());
  EXPECT_TRUE(d.Tick({}, kStamp).empty());
  const DisplaySteps steps = FeedTicks(d, {ByteString(31, 0x00)});
  EXPECT_EQ(steps, (DisplaySteps{LogLine{"CRC校验失败！"}}));  // no received line before it
}

// An answer followed by a byte in the same tick is decoded, whatever the byte; the byte
// alone is too little for a check failure.
TEST(ReceiveDecoder, ATrailingByteLosesNothing) {
  for (std::uint8_t extra : {0x00, 0x01, 0x20, 0xFF}) {
    ReceiveDecoder d;
    const DisplaySteps steps = FeedTicks(d, {Concat(ExampleResponse(), {extra})});
    EXPECT_EQ(Decodes(steps), 1) << int{extra};
    EXPECT_EQ(Failures(steps), 0) << int{extra};
  }
}

// The module answers a relay request with its first six bytes and their check. Some of
// these hold no byte above 20 hex (slave 1 or 2, relays 2 and 3); every one is logged,
// whole or in the pieces in which it arrived, wherever one or two tick boundaries fall.
TEST(ReceiveDecoder, EveryRelayReplyIsLoggedAtEveryCutForAddressesOneTwoAndTwoFortySeven) {
  for (const int address : {1, 2, 247}) {
    for (int relay = 1; relay <= 4; ++relay) {
      for (const bool on : {true, false}) {
        const Stream reply{"relay reply", RelayReply(address, relay, on), {{0, 8}}};
        const std::string where = ", slave " + std::to_string(address) + ", relay " + std::to_string(relay);
        for (std::size_t a = 0; a < 8; ++a) {
          reply.Expect(CutAt(reply.bytes, a), where + ", cut " + std::to_string(a));
          for (std::size_t b = a + 1; a > 0 && b < 8; ++b) {
            reply.Expect({Slice(reply.bytes, 0, a), Slice(reply.bytes, a, b), Slice(reply.bytes, b, 8)},
                         where + ", cuts " + std::to_string(a) + ", " + std::to_string(b));
          }
        }
      }
    }
  }
}

// Several frames, or a frame and noise, in one stream: each answer is decoded and each
// reply logged, and only bytes outside every frame count towards a check failure, at every
// cut. Line noise of bytes 00..20 only stays out of the log.
TEST(ReceiveDecoder, StreamsOfSeveralFramesAtEveryCut) {
  const ByteString answer = ExampleResponse();
  const ByteString relay2 = RelayReply(1, 2, true);  // 01 10 00 15 00 01 10 0D
  const ByteString exception = {0x01, 0x83, 0x02, 0xC0, 0xF1};
  const ByteString blank = {0x0D, 0x0A};
  const Stream streams[] = {
      {"two answers", Join({answer, answer}), {{0, 53}, {53, 106}}, 2, 0},
      {"answer, 10 noise bytes", Join({answer, ByteString(10, 0x55)}), {{0, 53}}, 1, 0},
      {"answer, 40 noise bytes", Join({answer, ByteString(40, 0x55)}), {{0, 53}}, 1, 1},
      {"relay reply, answer", Join({relay2, answer}), {{0, 8}, {8, 61}}, 1, 0},
      {"answer, relay reply", Join({answer, relay2}), {{0, 53}, {53, 61}}, 1, 0},
      {"answer, exception", Join({answer, exception}), {{0, 53}, {53, 58}}, 1, 0},
      {"blank noise around a relay reply", Join({blank, relay2, blank}), {{2, 10}}, 0, 0},
      {"blank noise, answer", Join({ByteString(40, 0x00), answer}), {{40, 93}}, 1, 1},
  };
  for (const Stream& stream : streams) {
    ASSERT_TRUE(modbus::FrameCheckPasses(exception));
    for (std::size_t cut = 0; cut < stream.bytes.size(); ++cut) {
      stream.Expect(CutAt(stream.bytes, cut), ", cut " + std::to_string(cut));
    }
  }
}

TEST(ReceiveDecoder, RelayReplyIsLoggedNotDecoded) {
  ReceiveDecoder d;
  const ByteString reply = {0x01, 0x10, 0x00, 0x14, 0x00, 0x01, 0x01, 0xCD};
  const DisplaySteps steps = FeedTicks(d, {reply});
  EXPECT_EQ(Lines(steps), (std::vector<QString>{kStamp + QStringLiteral(" 接收：01 10 00 14 00 01 01 CD ")}));
  EXPECT_EQ(d.PendingSize(), 0U);
}

TEST(ReceiveDecoder, GarbageBeforeTheAnswerIsReportedBeforeItsValues) {
  for (const bool one_tick : {true, false}) {
    ReceiveDecoder d;
    const ByteString garbage(40, 0x55);
    const DisplaySteps steps = one_tick ? FeedTicks(d, {Concat(garbage, ExampleResponse())})
                                        : FeedTicks(d, {garbage, ExampleResponse()});
    const auto lines = Lines(steps);
    ASSERT_EQ(Failures(steps), 1) << one_tick;
    ASSERT_EQ(Decodes(steps), 1) << one_tick;
    const auto failure = std::find(lines.begin(), lines.end(), QStringLiteral("CRC校验失败！"));
    const auto values = std::find(lines.begin(), lines.end(), QStringLiteral("AI0=1.000"));
    // In one tick, right before the values; in two, at the garbage's own tick.
    EXPECT_EQ(failure + (one_tick ? 1 : 2), values) << one_tick;
  }
}

TEST(ReceiveDecoder, SettleGivesUpWhatIsPending) {
  ReceiveDecoder d;
  d.Tick(Slice(ExampleResponse(), 0, 40), kStamp);  // an answer's unfinished start
  EXPECT_EQ(d.PendingSize(), 40U);
  EXPECT_EQ(d.Settle(), (DisplaySteps{LogLine{"CRC校验失败！"}}));
  EXPECT_EQ(d.PendingSize(), 0U);
  d.Tick(Slice(ExampleResponse(), 0, 10), kStamp);
  EXPECT_TRUE(d.Settle().empty());
  EXPECT_EQ(d.PendingSize(), 0U);
  // The first half of an answer before a send is not joined with what follows the send.
  d.Tick(Slice(ExampleResponse(), 0, 20), kStamp);
  d.Settle();
  EXPECT_EQ(Decodes(FeedTicks(d, {Slice(ExampleResponse(), 20, 53)})), 0);
}

TEST(ReceiveDecoder, ResetForgetsSilently) {
  ReceiveDecoder d;
  d.Tick(ByteString(40, 0x55), kStamp);
  d.Reset();
  EXPECT_EQ(d.PendingSize(), 0U);
  EXPECT_TRUE(d.Tick({}, kStamp).empty());
}

TEST(ReceiveDecoder, MemoryStaysBoundedWhateverArrives) {
  std::mt19937 random(7);
  ReceiveDecoder d;
  DisplaySteps all;
  for (int tick = 0; tick < 2000; ++tick) {
    ByteString block(1 + random() % 300, 0);  // never empty: the stream does not pause
    for (auto& b : block) b = static_cast<std::uint8_t>(random() | 0x80);
    Append(all, d.Tick(block, kStamp));
    ASSERT_LE(d.PendingSize(), 52U);
  }
  ByteString flood(1 << 20, 0xEE);
  d.Tick(flood, kStamp);
  EXPECT_LE(d.PendingSize(), 52U);
  Append(all, d.Tick({}, kStamp));
  // Reported as it came: blocks average 150 bytes, so nearly every tick gives up more
  // than 30 bytes and writes its failure line.
  EXPECT_GE(Failures(all), 1000);
  EXPECT_LE(Failures(all), 2003);
}

}  // namespace
}  // namespace rtutest
