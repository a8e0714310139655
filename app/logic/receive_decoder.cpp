#include "app/logic/receive_decoder.h"

#include <algorithm>

#include "app/logic/log_lines.h"
#include "app/logic/response_display.h"
#include "modbus/response.h"

namespace rtutest {
namespace {
// Any count above the failure threshold behaves the same; the cap keeps it from wrapping.
constexpr std::size_t kGivenUpCap = 1U << 20;
constexpr std::size_t kKeptCapacity = 4096;
constexpr std::size_t kShortestFrame = 4;  // address, function, two check bytes

// What the bytes from one position on say about a frame starting there.
struct FrameStart {
  enum Kind { kNone, kIncomplete, kComplete };
  Kind kind = kNone;
  std::size_t length = 0;
};

// The length a reply's function gives it: a read's byte count plus address, function,
// count and check; a single or multiple write's echo; an exception.
FrameStart FrameAt(modbus::ByteView rest) {
  constexpr std::uint8_t kRead = 3, kWriteOne = 6, kWriteMany = 16, kException = 0x80;
  if (rest.size() < 2) return {FrameStart::kIncomplete};
  const std::uint8_t function = rest[1];
  std::size_t length = 0;
  if ((function & kException) != 0) {
    length = 5;
  } else if (function == kWriteOne || function == kWriteMany) {
    length = 8;
  } else if (function == kRead) {
    if (rest.size() < 3) return {FrameStart::kIncomplete};
    length = std::size_t{rest[2]} + 5;
    if (length > ReceiveDecoder::kAnswerLength) return {};
  } else {
    return {};
  }
  if (rest.size() < length) return {FrameStart::kIncomplete, length};
  return {modbus::FrameCheckPasses(rest.first(length)) ? FrameStart::kComplete : FrameStart::kNone,
          length};
}

bool Overlaps(std::uint64_t begin, std::uint64_t end, std::uint64_t other_begin,
              std::uint64_t other_end) {
  return begin < other_end && other_begin < end;
}

}  // namespace

DisplaySteps ReceiveDecoder::Tick(modbus::ByteView block, const QString& stamp) {
  const std::uint64_t begin = pending_at_ + pending_.size();
  const Span span{begin, begin + block.size()};
  pending_.insert(pending_.end(), block.begin(), block.end());
  const bool logged = IsLoggedBlock(block);
  if (!logged && !block.empty()) held_.push_back({stamp, modbus::ByteString(block.begin(), block.end()), span});

  DisplaySteps after;
  const std::vector<Span> frames = TakeFrames(!block.empty(), after);
  DisplaySteps out;
  WriteHeldLines(frames, logged, out);
  if (logged) out.push_back(LogLine{ReceivedLine(stamp, block)});
  out.insert(out.end(), after.begin(), after.end());
  // A huge block leaves at most 52 bytes behind; give back the room it took.
  if (pending_.capacity() > kKeptCapacity) pending_.shrink_to_fit();
  return out;
}

std::vector<ReceiveDecoder::Span> ReceiveDecoder::TakeFrames(bool fresh, DisplaySteps& out) {
  std::vector<Span> frames;
  const modbus::ByteView all(pending_);
  if (all.size() >= kShortestFrame && modbus::FrameCheckPasses(all)) {
    TakeFrame(0, all.size(), frames, out);
    Drop(all.size());
    return frames;
  }
  std::size_t done = 0;  // bytes before this are taken or given up
  std::size_t keep = all.size();
  for (std::size_t at = 0; at < all.size();) {
    const FrameStart start = FrameAt(all.subspan(at));
    if (start.kind == FrameStart::kComplete) {
      GiveUp(at - done);
      TakeFrame(at, start.length, frames, out);
      at += start.length;
      done = at;
    } else if (start.kind == FrameStart::kIncomplete && fresh) {
      keep = at;
      break;
    } else {
      ++at;
    }
  }
  GiveUp(keep - done);
  ReportGivenUp(out);
  Drop(keep);
  if (!fresh) given_up_ = 0;  // a few bytes before a quiet line go silently
  return frames;
}

void ReceiveDecoder::TakeFrame(std::size_t at, std::size_t length, std::vector<Span>& frames,
                               DisplaySteps& out) {
  ReportGivenUp(out);
  given_up_ = 0;
  frames.push_back({pending_at_ + at, pending_at_ + at + length});
  if (length <= kDecodeAbove) return;
  const DisplaySteps values =
      DecodeReadResponse(modbus::ByteView(pending_).subspan(at, length), decimal_separator_);
  out.insert(out.end(), values.begin(), values.end());
}

void ReceiveDecoder::Drop(std::size_t n) {
  pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(n));
  pending_at_ += n;
}

void ReceiveDecoder::WriteHeldLines(const std::vector<Span>& frames, bool block_logged,
                                    DisplaySteps& out) {
  std::deque<HeldBlock> kept;
  for (HeldBlock& held : held_) {
    const bool claimed = std::any_of(frames.begin(), frames.end(), [&](const Span& f) {
      return Overlaps(held.span.begin, held.span.end, f.begin, f.end);
    });
    const bool still_pending = held.span.end > pending_at_;
    if (claimed || (block_logged && still_pending)) {
      out.push_back(LogLine{ReceivedLine(held.stamp, held.bytes)});
    } else if (still_pending) {
      kept.push_back(std::move(held));
    }
  }
  held_ = std::move(kept);
}

DisplaySteps ReceiveDecoder::Settle() {
  DisplaySteps out;
  GiveUp(pending_.size());
  ReportGivenUp(out);
  Reset();
  return out;
}

void ReceiveDecoder::Reset() {
  Drop(pending_.size());
  held_.clear();
  given_up_ = 0;
}

void ReceiveDecoder::GiveUp(std::size_t n) {
  given_up_ = n >= kGivenUpCap - given_up_ ? kGivenUpCap : given_up_ + n;
}

void ReceiveDecoder::ReportGivenUp(DisplaySteps& out) {
  if (given_up_ <= kDecodeAbove) return;
  out.push_back(LogLine{CheckFailureLine()});
  given_up_ = 0;
}

}  // namespace rtutest
