#include "app/logic/receive_decoder.h"

#include "app/logic/log_lines.h"
#include "app/logic/response_display.h"
#include "modbus/response.h"

namespace rtutest {
namespace {
// Any count above the failure threshold behaves the same; the cap keeps it from wrapping.
constexpr std::size_t kGivenUpCap = 1U << 20;
constexpr std::size_t kKeptCapacity = 4096;
}  // namespace

DisplaySteps ReceiveDecoder::Tick(modbus::ByteView block, const QString& stamp) {
  DisplaySteps out;
  if (IsLoggedBlock(block)) out.push_back(LogLine{ReceivedLine(stamp, block)});
  pending_.insert(pending_.end(), block.begin(), block.end());
  const bool fresh = !block.empty();
  while (pending_.size() > kDecodeAbove && Step(fresh, out)) {
  }
  if (!fresh && !pending_.empty()) Empty();  // only 30 or fewer can be left here
  // A huge block leaves at most 52 bytes behind; give back the room it took.
  if (pending_.capacity() > kKeptCapacity) pending_.shrink_to_fit();
  return out;
}

bool ReceiveDecoder::Step(bool fresh, DisplaySteps& out) {
  const modbus::ByteView all(pending_);
  if (modbus::FrameCheckPasses(all)) {
    Decode(all, out);
    return false;
  }
  if (all.size() >= kAnswerLength && modbus::FrameCheckPasses(all.last(kAnswerLength))) {
    GiveUp(all.size() - kAnswerLength);
    Decode(all.last(kAnswerLength), out);
    return false;
  }
  if (!fresh) {
    GiveUp(all.size());
    ReportGivenUp(out);
    Empty();
    return false;
  }
  if (all.size() >= kAnswerLength) {
    const std::size_t drop = all.size() - (kAnswerLength - 1);
    GiveUp(drop);
    ReportGivenUp(out);
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(drop));
    return true;
  }
  return false;
}

DisplaySteps ReceiveDecoder::Settle() {
  DisplaySteps out;
  if (pending_.size() > kDecodeAbove) {
    GiveUp(pending_.size());
    ReportGivenUp(out);
  }
  Empty();
  return out;
}

void ReceiveDecoder::Reset() { Empty(); }

void ReceiveDecoder::GiveUp(std::size_t n) {
  given_up_ = n >= kGivenUpCap - given_up_ ? kGivenUpCap : given_up_ + n;
}

void ReceiveDecoder::ReportGivenUp(DisplaySteps& out) {
  if (given_up_ <= kDecodeAbove) return;
  out.push_back(LogLine{CheckFailureLine()});
  given_up_ = 0;
}

void ReceiveDecoder::Empty() {
  pending_.clear();
  given_up_ = 0;
}

void ReceiveDecoder::Decode(modbus::ByteView bytes, DisplaySteps& out) {
  ReportGivenUp(out);
  const DisplaySteps values = DecodeReadResponse(bytes, decimal_separator_);
  out.insert(out.end(), values.begin(), values.end());
  Empty();  // after the values: `bytes` may point into pending_
}

}  // namespace rtutest
