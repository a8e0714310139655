#include "tools/qlm7305_sim/request_parser.h"

#include <gtest/gtest.h>

#include <random>

#include "modbus/crc16.h"
#include "modbus/hex_text.h"
#include "modbus/requests.h"

namespace sim {
namespace {

using modbus::ByteString;
using std::chrono::milliseconds;

const LineTiming kTiming{9600};
const Clock::time_point t0{};

ByteString Join(std::initializer_list<ByteString> parts) {
  ByteString out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

ByteString WithCheck(ByteString frame) {
  modbus::AppendCrc16(frame);
  return frame;
}

std::vector<ByteString> BytesOf(const std::vector<Frame>& frames) {
  std::vector<ByteString> out;
  for (const auto& f : frames) out.push_back(f.bytes);
  return out;
}

TEST(GuessLength, FromTheFirstBytes) {
  struct Case {
    ByteString head;
    LengthGuess::Kind kind;
    std::size_t length;
  };
  const Case cases[] = {
      {{0x01}, LengthGuess::kNeedMore, 0},
      {{0x01, 0x03}, LengthGuess::kKnown, 8},
      {{0x07, 0x06}, LengthGuess::kKnown, 8},
      {{0x01, 0x10, 0x00, 0x14, 0x00, 0x01}, LengthGuess::kNeedMore, 0},
      {{0x01, 0x10, 0x00, 0x14, 0x00, 0x01, 0x02}, LengthGuess::kKnown, 11},
      {{0x01, 0x0F, 0x00, 0x00, 0x00, 0x08, 0x01}, LengthGuess::kKnown, 10},
      {{0x01, 0x10, 0x00, 0x14, 0x00, 0x7F, 0xFE}, LengthGuess::kImpossible, 0},  // 263 bytes
      {{0xAA, 0x55, 0x00}, LengthGuess::kNeedMore, 0},
      {{0xAA, 0x55, 0x00, 0x05}, LengthGuess::kKnown, 9},
      {{0xAA, 0x55, 0x00, 0x00}, LengthGuess::kImpossible, 0},
      {{0xAA, 0x55, 0x01, 0x00}, LengthGuess::kImpossible, 0},  // longer than any frame
      {{0x01, 0x2B}, LengthGuess::kUnknown, 0},
      {{0x01, 0x83}, LengthGuess::kUnknown, 0},
  };
  for (const auto& c : cases) {
    const LengthGuess g = GuessLength(c.head);
    EXPECT_EQ(g.kind, c.kind) << modbus::BytesToHex(c.head);
    if (c.kind == LengthGuess::kKnown) {
      EXPECT_EQ(g.length, c.length) << modbus::BytesToHex(c.head);
    }
  }
}

TEST(ModeFrameSum, TheGatewayFramePassesAndAnyChangeFails) {
  ByteString mode = modbus::RtuModeFrameBytes();
  EXPECT_TRUE(ModeFrameSumPasses(mode));
  mode[6] = 0x01;
  EXPECT_FALSE(ModeFrameSumPasses(mode));
}

TEST(RequestParser, BackToBackFramesInOneChunkComeOutInOrder) {
  const ByteString mode = modbus::RtuModeFrameBytes();
  const ByteString read = modbus::ReadAllRequest(1);
  const ByteString relay = modbus::RelayRequest(1, 2, true);
  RequestParser parser(kTiming.FrameSilence());
  const auto frames = parser.Feed(Join({mode, read, relay, read}), t0);
  ASSERT_EQ(frames.size(), 4U);
  EXPECT_EQ(frames[0].kind, FrameKind::kMode);
  EXPECT_EQ(frames[1].kind, FrameKind::kModbus);
  EXPECT_EQ(BytesOf(frames), (std::vector<ByteString>{mode, read, relay, read}));
  EXPECT_FALSE(parser.Deadline().has_value());
  EXPECT_EQ(parser.DiscardedBytes(), 0U);
}

TEST(RequestParser, AFrameSplitWithinTheSilenceIsJoined) {
  const ByteString relay = modbus::RelayRequest(1, 4, false);
  RequestParser parser(kTiming.FrameSilence());
  EXPECT_TRUE(parser.Feed(ByteString(relay.begin(), relay.begin() + 5), t0).empty());
  ASSERT_TRUE(parser.Deadline().has_value());
  EXPECT_EQ(*parser.Deadline(), t0 + kTiming.FrameSilence());
  const auto later = t0 + kTiming.FrameSilence() / 2;
  EXPECT_TRUE(parser.Expire(later).empty());
  const auto frames = parser.Feed(ByteString(relay.begin() + 5, relay.end()), later);
  EXPECT_EQ(BytesOf(frames), std::vector<ByteString>{relay});
}

TEST(RequestParser, ASilenceEndsAHalfFrameAndTheNextFrameStandsAlone) {
  const ByteString read = modbus::ReadAllRequest(1);
  RequestParser parser(kTiming.FrameSilence());
  parser.Feed(ByteString(read.begin(), read.begin() + 4), t0);
  const auto after_silence = t0 + kTiming.FrameSilence();
  EXPECT_TRUE(parser.Expire(after_silence).empty());
  EXPECT_EQ(parser.DiscardedBytes(), 4U);
  EXPECT_FALSE(parser.Deadline().has_value());
  // The rest of the cut frame, then a whole one: only the whole one counts.
  auto frames =
      parser.Feed(ByteString(read.begin() + 4, read.end()), after_silence + milliseconds(5));
  auto more = parser.Feed(read, after_silence + milliseconds(20));
  frames.insert(frames.end(), more.begin(), more.end());
  EXPECT_EQ(BytesOf(frames), std::vector<ByteString>{read});
}

// Garbage runs straight into a frame, with no silence between them.
TEST(RequestParser, ResynchronisesAfterGarbage) {
  std::mt19937 random(7);
  ByteString noise(300);
  for (auto& b : noise) b = static_cast<std::uint8_t>(random());
  const ByteString read = modbus::ReadAllRequest(1);
  const ByteString broken_mode = {0xAA, 0x55, 0x00, 0x05, 0xE0, 0x50, 0x00, 0x01, 0x36};
  const ByteString bad_check = {0x01, 0x03, 0x00, 0x00, 0x00, 0x18, 0x45, 0xC1};
  const ByteString cases[] = {
      {0xFF},
      {0x00, 0x00, 0x00},
      {0x01, 0x03, 0x00},
      {0x01, 0x10, 0x00, 0x14},
      {0x77, 0x88, 0x99},
      broken_mode,
      bad_check,
      noise,
  };
  for (const ByteString& garbage : cases) {
    RequestParser parser(kTiming.FrameSilence());
    auto frames = parser.Feed(Join({garbage, read}), t0);
    auto at_silence = parser.Expire(t0 + kTiming.FrameSilence());
    frames.insert(frames.end(), at_silence.begin(), at_silence.end());
    ASSERT_FALSE(frames.empty()) << modbus::BytesToHex(garbage);
    EXPECT_EQ(frames.back().bytes, read) << modbus::BytesToHex(garbage);
    EXPECT_FALSE(parser.Deadline().has_value());
  }
}

TEST(RequestParser, AFrameOfUnknownLengthEndsAtTheSilence) {
  const ByteString identify = WithCheck({0x01, 0x2B, 0x0E, 0x01, 0x00});
  RequestParser parser(kTiming.FrameSilence());
  EXPECT_TRUE(parser.Feed(identify, t0).empty());
  const auto frames = parser.Expire(t0 + kTiming.FrameSilence());
  EXPECT_EQ(BytesOf(frames), std::vector<ByteString>{identify});
}

TEST(RequestParser, BuffersNoMoreThanTheLongestFrameWhileBytesNeverStop) {
  RequestParser parser(kTiming.FrameSilence());
  ByteString babble;
  for (int i = 0; i < 5000; ++i) babble.push_back(i % 2 ? 0x88 : 0x77);
  Clock::time_point now = t0;
  for (std::size_t at = 0; at < babble.size(); at += 100) {
    const auto end =
        babble.begin() + static_cast<std::ptrdiff_t>(std::min(at + 100, babble.size()));
    EXPECT_TRUE(parser.Feed(ByteString(babble.begin() + static_cast<std::ptrdiff_t>(at), end), now)
                    .empty());
    now += kTiming.ByteTime();
  }
  EXPECT_GE(parser.DiscardedBytes(), babble.size() - kMaxFrameLength);
  // A frame that follows is still found once the line falls silent.
  const ByteString read = modbus::ReadAllRequest(1);
  auto frames = parser.Feed(read, now);
  auto rest = parser.Expire(now + kTiming.FrameSilence());
  frames.insert(frames.end(), rest.begin(), rest.end());
  EXPECT_EQ(BytesOf(frames), std::vector<ByteString>{read});
}

TEST(RequestParser, AWrongCheckYieldsNothing) {
  ByteString read = modbus::ReadAllRequest(1);
  read[7] ^= 0x01;
  RequestParser parser(kTiming.FrameSilence());
  EXPECT_TRUE(parser.Feed(read, t0).empty());
  EXPECT_TRUE(parser.Expire(t0 + kTiming.FrameSilence()).empty());
  EXPECT_EQ(parser.DiscardedBytes(), read.size());
}

TEST(LineTiming, SilenceIsThreeAndAHalfCharactersUpTo19200Baud) {
  EXPECT_EQ(LineTiming{9600}.FrameSilence(), std::chrono::nanoseconds(3'645'833));
  EXPECT_EQ(LineTiming{19200}.FrameSilence(), std::chrono::nanoseconds(1'822'916));
  EXPECT_EQ(LineTiming{115200}.FrameSilence(), std::chrono::microseconds(1750));
  EXPECT_EQ(LineTiming{9600}.TimeFor(53), LineTiming{9600}.ByteTime() * 53);
}

}  // namespace
}  // namespace sim
