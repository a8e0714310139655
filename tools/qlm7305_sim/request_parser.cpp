#include "tools/qlm7305_sim/request_parser.h"

#include <numeric>

#include "modbus/response.h"

namespace sim {
namespace {

constexpr std::uint8_t kModeFirst = 0xAA;
constexpr std::uint8_t kModeSecond = 0x55;
constexpr std::size_t kModeHeader = 4;     // AA 55 and a big-endian count of what follows
constexpr std::size_t kFixedRequest = 8;   // functions 1 to 6
constexpr std::size_t kWriteHeader = 7;    // functions 15 and 16 up to the byte count
constexpr std::size_t kSmallestFrame = 4;  // address, function, check

LengthGuess Known(std::size_t length) {
  if (length > kMaxFrameLength) return {LengthGuess::kImpossible, 0};
  return {LengthGuess::kKnown, length};
}

LengthGuess GuessModeLength(modbus::ByteView head) {
  if (head.size() < kModeHeader) return {};
  const std::size_t body = (std::size_t{head[2]} << 8) | head[3];
  if (body == 0) return {LengthGuess::kImpossible, 0};
  return Known(kModeHeader + body);
}

bool Intact(modbus::ByteView frame, FrameKind kind) {
  if (kind == FrameKind::kMode) return ModeFrameSumPasses(frame);
  return frame.size() >= kSmallestFrame && modbus::FrameCheckPasses(frame);
}

FrameKind KindOf(modbus::ByteView head) {
  const bool mode = head.size() >= 2 && head[0] == kModeFirst && head[1] == kModeSecond;
  return mode ? FrameKind::kMode : FrameKind::kModbus;
}

}  // namespace

LengthGuess GuessLength(modbus::ByteView head) {
  if (head.size() < 2) return {};
  if (KindOf(head) == FrameKind::kMode) return GuessModeLength(head);
  const std::uint8_t function = head[1];
  if (function >= 1 && function <= 6) return Known(kFixedRequest);
  if (function == 15 || function == 16) {
    if (head.size() < kWriteHeader) return {};
    return Known(kWriteHeader + head[6] + 2);
  }
  return {LengthGuess::kUnknown, 0};
}

bool ModeFrameSumPasses(modbus::ByteView frame) noexcept {
  if (frame.size() < 2) return false;
  const unsigned sum = std::accumulate(frame.begin(), frame.end() - 1, 0U);
  return (sum & 0xFFU) == frame.back();
}

std::vector<Frame> RequestParser::Feed(modbus::ByteView bytes, Clock::time_point now) {
  std::vector<Frame> out = Expire(now);
  for (const std::uint8_t b : bytes) {
    pending_.push_back(b);
    Extract(false, out);
  }
  if (!bytes.empty()) last_byte_ = now;
  return out;
}

std::vector<Frame> RequestParser::Expire(Clock::time_point now) {
  std::vector<Frame> out;
  if (!pending_.empty() && now - last_byte_ >= silence_) Extract(true, out);
  return out;
}

std::optional<Clock::time_point> RequestParser::Deadline() const {
  if (pending_.empty()) return std::nullopt;
  return last_byte_ + silence_;
}

// Takes every frame that the pending bytes hold. `ended` means the line fell silent: what
// is left then can no longer grow, so a head that does not form an intact frame is dropped
// byte by byte until a frame or nothing remains.
void RequestParser::Extract(bool ended, std::vector<Frame>& out) {
  while (!pending_.empty()) {
    const LengthGuess guess = GuessLength(pending_);
    bool progressed = false;
    switch (guess.kind) {
      case LengthGuess::kNeedMore:
        progressed = ended;
        if (ended) Discard(1);
        break;
      case LengthGuess::kImpossible:
        Discard(1);
        progressed = true;
        break;
      case LengthGuess::kKnown:
        progressed = TakeKnown(guess.length, ended, out);
        break;
      case LengthGuess::kUnknown:
        progressed = TakeUnknown(ended, out);
        break;
    }
    if (!progressed) return;
  }
}

bool RequestParser::TakeKnown(std::size_t length, bool ended, std::vector<Frame>& out) {
  if (pending_.size() < length) {
    if (ended) Discard(1);
    return ended;
  }
  const modbus::ByteView candidate(pending_.data(), length);
  if (Intact(candidate, KindOf(candidate))) {
    Emit(length, out);
  } else {
    Discard(1);  // resynchronise: a frame may start at the next byte
  }
  return true;
}

// A function of unknown length ends only at the silence; until then it may grow to the
// longest frame, after which its first byte cannot start a frame.
bool RequestParser::TakeUnknown(bool ended, std::vector<Frame>& out) {
  if (!ended) {
    if (pending_.size() <= kMaxFrameLength) return false;
    Discard(1);
    return true;
  }
  if (Intact(pending_, FrameKind::kModbus)) {
    Emit(pending_.size(), out);
  } else {
    Discard(1);
  }
  return true;
}

void RequestParser::Discard(std::size_t count) {
  pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(count));
  discarded_ += count;
}

void RequestParser::Emit(std::size_t length, std::vector<Frame>& out) {
  const auto end = pending_.begin() + static_cast<std::ptrdiff_t>(length);
  Frame frame{KindOf(pending_), modbus::ByteString(pending_.begin(), end)};
  pending_.erase(pending_.begin(), end);
  out.push_back(std::move(frame));
}

}  // namespace sim
