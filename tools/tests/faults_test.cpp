// The module session under a fake clock: when and what it puts on the line, with and
// without faults.
#include <gtest/gtest.h>

#include <algorithm>

#include "modbus/crc16.h"
#include "modbus/requests.h"
#include "modbus/response.h"
#include "modbus/tests/reference_frames.h"
#include "tools/qlm7305_sim/module_session.h"

namespace sim {
namespace {

using modbus::ByteString;
using std::chrono::milliseconds;

const Clock::time_point t0{};

struct Sent {
  Clock::time_point at;
  ByteString bytes;
};

SimulatorOptions Fixed(FaultOptions faults = {}) {
  SimulatorOptions o;
  o.values = ValueMode::kFixed;
  o.faults = faults;
  return o;
}

// Runs the session from `from` to `until`, waking exactly at each deadline it names.
std::vector<Sent> RunUntil(ModuleSession& session, Clock::time_point from,
                           Clock::time_point until) {
  std::vector<Sent> sent;
  Clock::time_point now = from;
  while (true) {
    session.OnTime(now);
    if (auto bytes = session.TakeDueOutput(now); !bytes.empty()) sent.push_back({now, bytes});
    if (session.HangUpDue(now)) return sent;  // the line would close here
    const auto next = session.NextDeadline();
    if (!next || *next > until) return sent;
    now = std::max(now, *next);
  }
}

ByteString Joined(const std::vector<Sent>& sent) {
  ByteString out;
  for (const auto& s : sent) out.insert(out.end(), s.bytes.begin(), s.bytes.end());
  return out;
}

// Bytes grouped by the pauses between them: a pause longer than `gap` starts a new group.
std::vector<ByteString> Groups(const std::vector<Sent>& sent, Duration gap, Duration byte_time) {
  std::vector<ByteString> groups;
  Clock::time_point last_end{};
  for (const auto& s : sent) {
    if (groups.empty() || s.at - last_end > gap) groups.emplace_back();
    groups.back().insert(groups.back().end(), s.bytes.begin(), s.bytes.end());
    last_end = s.at + byte_time * static_cast<Duration::rep>(s.bytes.size());
  }
  return groups;
}

std::vector<Sent> Ask(ModuleSession& session, const ByteString& request, Clock::time_point at,
                      Duration window = milliseconds(500)) {
  session.OnInput(request, at);
  return RunUntil(session, at, at + window);
}

// The reply goes out in one write once the request's silence has passed.
TEST(ModuleSession, RepliesAfterTheSilenceInOneWrite) {
  const LineTiming timing{9600};
  ModuleSession session(Fixed(), t0);
  const auto sent = Ask(session, modbus::ReadAllRequest(1), t0);
  ASSERT_EQ(sent.size(), 1U);
  EXPECT_EQ(sent.front().bytes, modbus::testing_frames::ExampleResponse());
  EXPECT_EQ(sent.front().at, t0 + timing.FrameSilence());
  EXPECT_EQ(session.Counters().requests, 1U);
  EXPECT_EQ(session.Counters().replies, 1U);
}

// A request cut by a USB adapter's 16 ms burst: lost at 3.5 characters, kept with a longer
// silence.
TEST(ModuleSession, ALongerSilenceJoinsARequestDeliveredInBursts) {
  const ByteString read = modbus::ReadAllRequest(1);
  const ByteString head(read.begin(), read.begin() + 3);
  const ByteString tail(read.begin() + 3, read.end());
  for (const bool lenient : {false, true}) {
    SimulatorOptions options = Fixed();
    if (lenient) options.frame_silence = milliseconds(20);
    ModuleSession session(options, t0);
    session.OnInput(head, t0);
    session.OnTime(t0 + milliseconds(16));
    const auto sent = Ask(session, tail, t0 + milliseconds(16));
    EXPECT_EQ(Joined(sent).size(), lenient ? 53U : 0U) << (lenient ? "lenient" : "strict");
  }
}

TEST(ModuleSession, RequestsArrivingWhileAReplyGoesOutAreAnsweredInTurn) {
  ModuleSession session(Fixed(), t0);
  ByteString two = modbus::RelayRequest(1, 1, true);
  const ByteString read = modbus::ReadAllRequest(1);
  two.insert(two.end(), read.begin(), read.end());
  const auto sent = Ask(session, two, t0);
  // The second reply waits until the first has had its time on the line.
  ASSERT_EQ(sent.size(), 2U);
  EXPECT_EQ(sent[1].at - sent[0].at, LineTiming{9600}.TimeFor(8));
  ByteString echo = {0x01, 0x10, 0x00, 0x14, 0x00, 0x01};
  modbus::AppendCrc16(echo);
  // Relay 1 is now on, so register 20 reads 1 and the check differs from the reference.
  const ByteString out = Joined(sent);
  ASSERT_EQ(out.size(), echo.size() + modbus::kReadResponseLength);
  EXPECT_TRUE(std::equal(echo.begin(), echo.end(), out.begin()));
  EXPECT_TRUE(modbus::FrameCheckPasses(ByteString(out.begin() + 8, out.end())));
  EXPECT_EQ(modbus::DecodeReadLayout(ByteString(out.begin() + 8, out.end())).digital_outputs[0], 1);
}

TEST(ModuleSession, SplitsEachReplyIntoPiecesWithTheGap) {
  const LineTiming timing{9600};
  ModuleSession session(Fixed({.split_pieces = 3, .split_gap = milliseconds(50)}), t0);
  const auto sent = Ask(session, modbus::ReadAllRequest(1), t0);
  const auto groups = Groups(sent, milliseconds(40), timing.ByteTime());
  ASSERT_EQ(groups.size(), 3U);
  EXPECT_EQ(groups[0].size(), 18U);
  EXPECT_EQ(groups[2].size(), 17U);
  EXPECT_EQ(Joined(sent), modbus::testing_frames::ExampleResponse());
}

TEST(ModuleSession, CorruptsTheCheckOfEveryNthReply) {
  ModuleSession session(Fixed({.corrupt_every = 2}), t0);
  for (int i = 0; i < 4; ++i) {
    const auto at = t0 + milliseconds(500) * i;
    const ByteString reply = Joined(Ask(session, modbus::ReadAllRequest(1), at));
    ASSERT_EQ(reply.size(), modbus::kReadResponseLength);
    EXPECT_EQ(modbus::FrameCheckPasses(reply), i % 2 == 0) << "reply " << i + 1;
  }
  EXPECT_EQ(session.Counters().corrupted_replies, 2U);
}

TEST(ModuleSession, PutsNoiseJustBeforeEachReply) {
  ModuleSession session(Fixed({.noise_bytes = 5}), t0);
  const ByteString out = Joined(Ask(session, modbus::ReadAllRequest(1), t0));
  const ByteString reference = modbus::testing_frames::ExampleResponse();
  ASSERT_EQ(out.size(), 5 + reference.size());
  EXPECT_TRUE(std::equal(reference.begin(), reference.end(), out.begin() + 5));
}

TEST(ModuleSession, EchoesEveryRequestEvenOneItDoesNotAnswer) {
  ModuleSession session(Fixed({.echo = true}), t0);
  const ByteString request = modbus::ReadAllRequest(1);
  const auto sent = Ask(session, request, t0);
  ASSERT_FALSE(sent.empty());
  EXPECT_EQ(sent.front().at, t0);
  ByteString expected = request;
  const ByteString reference = modbus::testing_frames::ExampleResponse();
  expected.insert(expected.end(), reference.begin(), reference.end());
  EXPECT_EQ(Joined(sent), expected);
  const ByteString other = modbus::ReadAllRequest(9);
  EXPECT_EQ(Joined(Ask(session, other, t0 + milliseconds(600))), other);
}

TEST(ModuleSession, DropsEveryNthReply) {
  ModuleSession session(Fixed({.drop_every = 3}), t0);
  std::vector<bool> answered;
  for (int i = 0; i < 6; ++i) {
    answered.push_back(
        !Ask(session, modbus::ReadAllRequest(1), t0 + milliseconds(500) * i).empty());
  }
  EXPECT_EQ(answered, (std::vector<bool>{true, true, false, true, true, false}));
  EXPECT_EQ(session.Counters().dropped_replies, 2U);
  EXPECT_EQ(session.Counters().replies, 4U);
}

TEST(ModuleSession, RepliesLateByTheDelay) {
  ModuleSession session(Fixed({.late = milliseconds(120)}), t0);
  const auto sent = Ask(session, modbus::ReadAllRequest(1), t0);
  ASSERT_FALSE(sent.empty());
  EXPECT_EQ(sent.front().at, t0 + LineTiming{9600}.FrameSilence() + milliseconds(120));
}

TEST(ModuleSession, HangsUpOnceTheNthRequestIsAnswered) {
  ModuleSession session(Fixed({.hangup_after = 2}), t0);
  const auto first = Ask(session, modbus::ReadAllRequest(1), t0);
  EXPECT_FALSE(session.HangUpDue(t0 + milliseconds(400)));
  const auto at = t0 + milliseconds(500);
  const auto second = Ask(session, modbus::ReadAllRequest(1), at);
  ASSERT_FALSE(second.empty());
  const auto out = second.back().at + LineTiming{9600}.TimeFor(53);  // its last byte is out
  EXPECT_FALSE(session.HangUpDue(out));
  EXPECT_TRUE(session.HangUpDue(out + milliseconds(20)));
  session.PostponeHangUp(out + milliseconds(30));
  EXPECT_FALSE(session.HangUpDue(out + milliseconds(25)));
  EXPECT_TRUE(session.HangUpDue(out + milliseconds(30)));
  session.OnHungUp();
  EXPECT_FALSE(session.HangUpDue(at + milliseconds(500)));
  // Once only: later requests are answered without another hang-up.
  Ask(session, modbus::ReadAllRequest(1), at + milliseconds(1000));
  EXPECT_FALSE(session.HangUpDue(at + milliseconds(2000)));
}

TEST(ModuleSession, FloodsTheLineAndStillAnswersInBetween) {
  const LineTiming timing{9600};
  ModuleSession session(Fixed({.flood = true}), t0);
  const auto idle = RunUntil(session, t0, t0 + milliseconds(100));
  const std::size_t expected = static_cast<std::size_t>(milliseconds(100) / timing.ByteTime());
  EXPECT_GE(Joined(idle).size(), expected - 2);
  EXPECT_LE(Joined(idle).size(), expected + 12);
  const auto start = t0 + milliseconds(101);
  const ByteString out = Joined(Ask(session, modbus::ReadAllRequest(1), start, milliseconds(200)));
  const ByteString reference = modbus::testing_frames::ExampleResponse();
  EXPECT_NE(std::search(out.begin(), out.end(), reference.begin(), reference.end()), out.end());
}

TEST(ModuleSession, CountsModeFramesAsRequests) {
  ModuleSession session(Fixed(), t0);
  EXPECT_TRUE(Ask(session, modbus::RtuModeFrameBytes(), t0).empty());
  EXPECT_EQ(session.Counters().requests, 1U);
  EXPECT_EQ(session.Counters().mode_frames, 1U);
  EXPECT_EQ(session.TakeExchanges().size(), 1U);
}

TEST(SplitEvenly, NeverMakesEmptyPieces) {
  const ByteString five = {1, 2, 3, 4, 5};
  EXPECT_EQ(SplitEvenly(five, 2), (std::vector<ByteString>{{1, 2, 3}, {4, 5}}));
  EXPECT_EQ(SplitEvenly(five, 9).size(), 5U);
  EXPECT_EQ(SplitEvenly(five, 0), std::vector<ByteString>{five});
}

}  // namespace
}  // namespace sim
