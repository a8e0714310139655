#include "fuzz/receive/reference_decoder.h"

#include <algorithm>
#include <cstdint>
#include <set>

#include "app/logic/response_display.h"
#include "modbus/crc16.h"
#include "modbus/hex_text.h"
#include "modbus/response.h"

namespace fuzz {
namespace {

constexpr std::size_t kAbove = 30;
constexpr std::size_t kUnknown = SIZE_MAX;

bool CheckPasses(modbus::ByteView bytes) {
  if (bytes.size() < 4) return false;
  const modbus::ByteString check = modbus::Crc16(bytes.first(bytes.size() - 2));
  return std::equal(check.begin(), check.end(), bytes.end() - 2);
}

bool Logged(modbus::ByteView block) {
  return std::any_of(block.begin(), block.end(), [](std::uint8_t b) { return b > 0x20; }) ||
         CheckPasses(block);
}

QString Received(const QString& stamp, modbus::ByteView bytes) {
  return stamp + QStringLiteral(" 接收：") + QString::fromLatin1(modbus::BytesToHex(bytes));
}

// 0: no frame can start at `at`; kUnknown: one may, but its length cannot be told yet.
std::size_t LengthAt(modbus::ByteView all, std::size_t at) {
  if (all.size() - at < 2) return kUnknown;
  const std::uint8_t f = all[at + 1];
  if (f >= 0x80) return 5;
  if (f == 6 || f == 16) return 8;
  if (f != 3) return 0;
  if (all.size() - at < 3) return kUnknown;
  return all[at + 2] + 5U <= 53 ? all[at + 2] + 5U : 0;
}

}  // namespace

rtutest::DisplaySteps ReferenceDecoder::Tick(modbus::ByteView block, const QString& stamp) {
  const int number = next_block_++;
  const bool logged = Logged(block);
  if (!logged && !block.empty()) unlogged_[number] = {stamp, modbus::ByteString(block.begin(), block.end())};
  pending_.insert(pending_.end(), block.begin(), block.end());
  origin_.insert(origin_.end(), block.size(), number);

  rtutest::DisplaySteps after;
  const Found found = Search(!block.empty(), after);
  std::set<int> claimed;
  for (const auto& [begin, end] : found.frames) {
    for (std::size_t i = begin; i < end; ++i) claimed.insert(origin_[i]);
  }
  const std::set<int> still(origin_.begin() + static_cast<std::ptrdiff_t>(found.done), origin_.end());
  rtutest::DisplaySteps out;
  for (auto it = unlogged_.begin(); it != unlogged_.end();) {
    const bool pending = still.count(it->first) > 0;
    if (claimed.count(it->first) > 0 || (logged && pending)) {
      out.push_back(rtutest::LogLine{Received(it->second.stamp, it->second.bytes)});
      it = unlogged_.erase(it);
    } else if (!pending) {
      it = unlogged_.erase(it);
    } else {
      ++it;
    }
  }
  if (logged) out.push_back(rtutest::LogLine{Received(stamp, block)});
  out.insert(out.end(), after.begin(), after.end());
  Take(found.done);
  if (block.empty()) given_up_ = 0;
  return out;
}

ReferenceDecoder::Found ReferenceDecoder::Search(bool fresh, rtutest::DisplaySteps& out) {
  Found found;
  const modbus::ByteView all(pending_);
  auto frame = [&](std::size_t begin, std::size_t end) {
    Report(out);
    given_up_ = 0;
    found.frames.emplace_back(begin, end);
    if (end - begin <= kAbove) return;
    const auto values = rtutest::DecodeReadResponse(all.subspan(begin, end - begin), separator_);
    out.insert(out.end(), values.begin(), values.end());
  };
  if (CheckPasses(all)) {
    frame(0, all.size());
    found.done = all.size();
    return found;
  }
  std::size_t at = 0;
  std::size_t passed = 0;  // where the bytes not yet given up begin
  while (at < all.size()) {
    const std::size_t length = LengthAt(all, at);
    const bool complete = length != 0 && length != kUnknown && length <= all.size() - at;
    if (complete && CheckPasses(all.subspan(at, length))) {
      given_up_ += at - passed;
      frame(at, at + length);
      at += length;
      passed = at;
      continue;
    }
    if (fresh && length != 0 && !complete) break;  // a frame still short of bytes
    ++at;
  }
  given_up_ += at - passed;
  Report(out);
  found.done = at;
  return found;
}

rtutest::DisplaySteps ReferenceDecoder::Settle() {
  rtutest::DisplaySteps out;
  given_up_ += pending_.size();
  Report(out);
  Reset();
  return out;
}

void ReferenceDecoder::Reset() {
  Take(pending_.size());
  unlogged_.clear();
  given_up_ = 0;
}

void ReferenceDecoder::Report(rtutest::DisplaySteps& out) {
  if (given_up_ <= kAbove) return;
  out.push_back(rtutest::LogLine{QStringLiteral("CRC校验失败！")});
  given_up_ = 0;
}

void ReferenceDecoder::Take(std::size_t n) {
  pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(n));
  origin_.erase(origin_.begin(), origin_.begin() + static_cast<std::ptrdiff_t>(n));
}

}  // namespace fuzz
