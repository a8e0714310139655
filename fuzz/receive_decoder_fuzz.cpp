// Sequences of blocks through the window's receive decoder, as the 200 ms ticks see them,
// with sends (which settle what is pending) and openings (which forget it) in between.
// Every tick's lines and cells equal those of the rules written out plainly; pending bytes
// stay at 52 or fewer between ticks, however large a block; and a response that arrives in
// any number of pieces, alone, after a few noise bytes or after an echo of its request, is
// decoded exactly once with no check failure line (after 31 to 61 noise bytes: with
// exactly one).
#include <cstdint>

#include <QString>

#include "app/logic/display_steps.h"
#include "app/logic/receive_decoder.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/fuzz_input.h"
#include "fuzz/receive/reference_decoder.h"
#include "modbus/crc16.h"
#include "modbus/requests.h"

namespace {

using modbus::ByteString;
using rtutest::DisplaySteps;

const QString kStamp = QStringLiteral("S");

struct Decoders {
  explicit Decoders(const QString& separator) : window(separator), reference(separator) {}
  rtutest::ReceiveDecoder window;
  fuzz::ReferenceDecoder reference;
};

DisplaySteps Same(const DisplaySteps& got, const DisplaySteps& expected, const Decoders& d) {
  FUZZ_REQUIRE(got == expected);
  FUZZ_REQUIRE(d.window.PendingSize() == d.reference.PendingSize());
  FUZZ_REQUIRE(d.window.PendingSize() <= 52);
  return got;
}

DisplaySteps Tick(Decoders& d, const ByteString& block) {
  const DisplaySteps expected = d.reference.Tick(block, kStamp);
  return Same(d.window.Tick(block, kStamp), expected, d);
}

DisplaySteps Settle(Decoders& d) {
  const DisplaySteps expected = d.reference.Settle();
  return Same(d.window.Settle(), expected, d);
}

// A block of up to 8 KiB in a pattern: what a device that streams without pause leaves.
ByteString BigBlock(fuzz::FuzzInput& in) {
  ByteString block(in.U16() % 8192);
  const std::uint8_t step = in.Byte();
  std::uint8_t b = in.Byte();
  for (auto& x : block) x = b += step;
  return block;
}

// The documented example answer, one of all-zero registers and one of all-FF registers.
ByteString Answer(int which) {
  ByteString r = {0x01, 0x03, 0x30};
  if (which == 0) {
    const ByteString head = {0x00, 0x00, 0x3F, 0x80, 0x00, 0x00, 0x41, 0x20,
                             0xA5, 0xE3, 0x41, 0xBB, 0x00, 0x00, 0xBF, 0x00};
    r.insert(r.end(), head.begin(), head.end());
    r.insert(r.end(), 17, 0x00);
    const ByteString tail = {0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01};
    r.insert(r.end(), tail.begin(), tail.end());
    r.insert(r.end(), 4, 0x00);
  } else {
    r.insert(r.end(), 48, which == 1 ? 0x00 : 0xFF);
  }
  modbus::AppendCrc16(r);
  return r;
}

struct Count {
  int decodes = 0;
  int failures = 0;
};

void CountLines(const DisplaySteps& steps, Count& c) {
  for (const auto& step : steps) {
    const auto* line = std::get_if<rtutest::LogLine>(&step);
    if (line == nullptr) continue;
    if (line->text.startsWith(QStringLiteral("AI0="))) ++c.decodes;
    if (line->text == QStringLiteral("CRC校验失败！")) ++c.failures;
  }
}

// Line noise of n bytes, the same for every run.
ByteString Noise(std::size_t n) {
  ByteString noise(n);
  for (std::size_t i = 0; i < n; ++i) noise[i] = static_cast<std::uint8_t>(i * 37 + 11);
  return noise;
}

// A quiet line, then noise or an echo, then the answer in pieces, then a quiet tick. Up to
// 30 bytes of noise are given up silently.
void Transaction(Decoders& d, fuzz::FuzzInput& in) {
  Settle(d);
  Tick(d, {});
  ByteString burst;
  const int prefix = in.Range(0, 3);
  if (prefix == 1) burst = {0x7F, 0xFF, 0x13};
  if (prefix == 2) burst = modbus::ReadAllRequest(1);
  if (prefix == 3) burst = Noise(in.Range(31, 61));  // more would be two lines' worth
  const ByteString answer = Answer(in.Range(0, 2));
  burst.insert(burst.end(), answer.begin(), answer.end());
  Count count;
  for (std::size_t at = 0; at < burst.size();) {
    const std::size_t n = std::min<std::size_t>(burst.size() - at, in.Range(1, 40));
    CountLines(Tick(d, ByteString(burst.begin() + at, burst.begin() + at + n)), count);
    at += n;
  }
  CountLines(Tick(d, {}), count);
  // However the noise was given up (trimmed, or in front of the answer), it is one report.
  FUZZ_REQUIRE(count.decodes == 1);
  FUZZ_REQUIRE(count.failures == (prefix == 3 ? 1 : 0));
}

void Step(Decoders& d, fuzz::FuzzInput& in) {
  switch (in.Range(0, 7)) {
    case 0:
    case 1: Tick(d, in.Bytes(80)); break;
    case 2: Tick(d, {}); break;
    case 3: Tick(d, BigBlock(in)); break;
    case 4: Settle(d); break;
    case 5:
      d.window.Reset();
      d.reference.Reset();
      FUZZ_REQUIRE(d.window.PendingSize() == 0);
      break;
    default: Transaction(d, in); break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::FuzzInput in(data, size);
  Decoders d(in.Bool() ? QStringLiteral(",") : QStringLiteral("."));
  while (!in.Empty()) Step(d, in);
  return 0;
}
