// The simulator's request parser fed arbitrary bytes in arbitrary pieces at arbitrary
// times, with intact requests mixed in. Every byte fed is either in a frame it emits, or
// discarded, or still pending, and pending bytes never exceed the longest frame; every
// frame emitted is intact and was fed in that order; an intact request fed after a silence
// comes out whole and once, also when it arrives in pieces.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "fuzz/fuzz_input.h"
#include "modbus/crc16.h"
#include "modbus/requests.h"
#include "modbus/response.h"
#include "tools/qlm7305_sim/request_parser.h"

namespace {

using modbus::ByteString;
using sim::Clock;
using sim::Frame;

struct ParserRun {
  explicit ParserRun(sim::Duration silence) : silence(silence), parser(silence) {}

  sim::Duration silence;
  sim::RequestParser parser;
  Clock::time_point now{};
  ByteString fed;            // every byte fed, in order
  std::size_t emitted = 0;   // bytes in emitted frames
  std::size_t matched = 0;   // where the next emitted frame may start in `fed`

  std::size_t Pending() const { return fed.size() - emitted - parser.DiscardedBytes(); }
};

void CheckFrame(ParserRun& run, const Frame& frame) {
  FUZZ_REQUIRE(frame.bytes.size() <= sim::kMaxFrameLength);
  if (frame.kind == sim::FrameKind::kMode) {
    FUZZ_REQUIRE(frame.bytes.size() >= 4 && frame.bytes[0] == 0xAA && frame.bytes[1] == 0x55);
    FUZZ_REQUIRE(sim::ModeFrameSumPasses(frame.bytes));
  } else {
    FUZZ_REQUIRE(frame.bytes.size() >= 4 && modbus::FrameCheckPasses(frame.bytes));
  }
  const auto from = run.fed.begin() + static_cast<std::ptrdiff_t>(run.matched);
  const auto at = std::search(from, run.fed.end(), frame.bytes.begin(), frame.bytes.end());
  FUZZ_REQUIRE(at != run.fed.end());
  run.matched = static_cast<std::size_t>(at - run.fed.begin()) + frame.bytes.size();
  run.emitted += frame.bytes.size();
}

std::vector<Frame> Take(ParserRun& run, std::vector<Frame> frames) {
  for (const Frame& f : frames) CheckFrame(run, f);
  // Nothing is lost or counted twice, and what waits is bounded by the longest frame.
  FUZZ_REQUIRE(run.emitted + run.parser.DiscardedBytes() <= run.fed.size());
  FUZZ_REQUIRE(run.Pending() <= sim::kMaxFrameLength + 1);
  return frames;
}

std::vector<Frame> Feed(ParserRun& run, const ByteString& bytes) {
  run.fed.insert(run.fed.end(), bytes.begin(), bytes.end());
  return Take(run, run.parser.Feed(bytes, run.now));
}

// After a full silence nothing is left pending.
void Silence(ParserRun& run) {
  run.now += run.silence;
  Take(run, run.parser.Expire(run.now));
  FUZZ_REQUIRE(run.Pending() == 0);
  FUZZ_REQUIRE(!run.parser.Deadline().has_value());
}

ByteString IntactRequest(fuzz::FuzzInput& in) {
  const std::int32_t address = in.Byte();
  switch (in.Range(0, 2)) {
    case 0: return modbus::ReadAllRequest(address);
    case 1: return modbus::RelayRequest(address, in.Range(1, 4), in.Bool());
    default: return modbus::RtuModeFrameBytes();
  }
}

// An intact request after a silence, in pieces closer together than the silence.
void FeedIntact(ParserRun& run, fuzz::FuzzInput& in) {
  Silence(run);
  const ByteString request = IntactRequest(in);
  std::vector<Frame> out;
  for (std::size_t at = 0; at < request.size();) {
    const std::size_t n = std::min<std::size_t>(request.size() - at, in.Range(1, 12));
    run.now += run.silence * in.Range(0, 9) / 10;
    for (Frame& f : Feed(run, ByteString(request.begin() + at, request.begin() + at + n)))
      out.push_back(std::move(f));
    at += n;
  }
  FUZZ_REQUIRE(out.size() == 1 && out.front().bytes == request);
}

void Step(ParserRun& run, fuzz::FuzzInput& in) {
  switch (in.Range(0, 3)) {
    case 0:  // bytes at a moment shortly after the last ones
      run.now += run.silence * in.Range(0, 15) / 10;
      Feed(run, in.Bytes(64));
      break;
    case 1:  // time passes
      run.now += run.silence * in.Range(0, 25) / 10;
      Take(run, run.parser.Expire(run.now));
      break;
    case 2: FeedIntact(run, in); break;
    default: Silence(run); break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::FuzzInput in(data, size);
  static const int kBauds[] = {9600, 19200, 115200, 1200};
  ParserRun run(sim::LineTiming{kBauds[in.Byte() % 4]}.FrameSilence());
  while (!in.Empty()) Step(run, in);
  Silence(run);
  FUZZ_REQUIRE(run.emitted + run.parser.DiscardedBytes() == run.fed.size());
  return 0;
}
