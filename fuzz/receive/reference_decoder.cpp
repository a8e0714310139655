#include "fuzz/receive/reference_decoder.h"

#include <algorithm>

#include "app/logic/response_display.h"
#include "modbus/crc16.h"
#include "modbus/hex_text.h"
#include "modbus/response.h"

namespace fuzz {
namespace {

constexpr std::size_t kAbove = 30;
constexpr std::size_t kAnswer = 53;

bool Logged(modbus::ByteView block) {
  if (std::any_of(block.begin(), block.end(), [](std::uint8_t b) { return b > 0x20; })) return true;
  if (block.size() < 4) return false;
  const modbus::ByteString check = modbus::Crc16(block.first(block.size() - 2));
  return std::equal(check.begin(), check.end(), block.end() - 2);
}

}  // namespace

rtutest::DisplaySteps ReferenceDecoder::Tick(modbus::ByteView block, const QString& stamp) {
  rtutest::DisplaySteps out;
  if (Logged(block)) {
    out.push_back(rtutest::LogLine{stamp + QStringLiteral(" 接收：") +
                                   QString::fromLatin1(modbus::BytesToHex(block))});
  }
  pending_.insert(pending_.end(), block.begin(), block.end());
  const bool fresh = !block.empty();
  while (pending_.size() > kAbove && Turn(fresh, out)) {
  }
  if (!fresh) Empty();
  return out;
}

bool ReferenceDecoder::Turn(bool fresh, rtutest::DisplaySteps& out) {
  const std::size_t n = pending_.size();
  if (modbus::FrameCheckPasses(pending_)) {
    Decode(pending_, out);
    return false;
  }
  if (n >= kAnswer && modbus::FrameCheckPasses(modbus::ByteView(pending_).last(kAnswer))) {
    GiveUp(n - kAnswer, out);
    Decode(modbus::ByteString(pending_.end() - kAnswer, pending_.end()), out);
    return false;
  }
  if (!fresh) {
    GiveUp(n, out);
    Empty();
    return false;
  }
  if (n < kAnswer) return false;
  GiveUp(n - (kAnswer - 1), out);
  pending_.erase(pending_.begin(), pending_.end() - (kAnswer - 1));
  return true;
}

rtutest::DisplaySteps ReferenceDecoder::Settle() {
  rtutest::DisplaySteps out;
  if (pending_.size() > kAbove) GiveUp(pending_.size(), out);
  Empty();
  return out;
}

void ReferenceDecoder::GiveUp(std::size_t n, rtutest::DisplaySteps& out) {
  given_up_ += n;
  Report(out);
}

void ReferenceDecoder::Report(rtutest::DisplaySteps& out) {
  if (given_up_ <= kAbove) return;
  out.push_back(rtutest::LogLine{QStringLiteral("CRC校验失败！")});
  given_up_ = 0;
}

void ReferenceDecoder::Decode(modbus::ByteString bytes, rtutest::DisplaySteps& out) {
  Report(out);
  const rtutest::DisplaySteps values = rtutest::DecodeReadResponse(bytes, separator_);
  out.insert(out.end(), values.begin(), values.end());
  Empty();
}

void ReferenceDecoder::Empty() {
  pending_.clear();
  given_up_ = 0;
}

}  // namespace fuzz
