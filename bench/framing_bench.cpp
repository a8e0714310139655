// Cost of the frame check and of decoding one read-all answer.
#include <benchmark/benchmark.h>

#include <array>
#include <string>

#include "bench/support/table_reporter.h"
#include "modbus/crc16.h"
#include "modbus/response.h"

namespace {

// A read-all answer of slave 1 with a correct check (AIN0..3 = 1.0, 10.0, 23.456, -0.5).
// Written out here: building it with vector inserts, as the test frames do, draws a false
// -Warray-bounds from g++ 12 at -O3.
constexpr std::array<std::uint8_t, 53> kReadAllAnswer = {
    0x01, 0x03, 0x30, 0x00, 0x00, 0x3F, 0x80, 0x00, 0x00, 0x41, 0x20, 0xA5, 0xE3, 0x41,
    0xBB, 0x00, 0x00, 0xBF, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x25, 0x0B};

void BM_Crc16(benchmark::State& state) {
  modbus::ByteString data(static_cast<std::size_t>(state.range(0)));
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 31U);
  for (auto _ : state) benchmark::DoNotOptimize(modbus::Crc16Value(data));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
  state.SetLabel("Framing, Crc16 over " + std::to_string(state.range(0)) + " B");
}
BENCHMARK(BM_Crc16)->Arg(8)->Arg(53)->Arg(4096);

void BM_CheckAndDecodeReadResponse(benchmark::State& state) {
  const modbus::ByteString response(kReadAllAnswer.begin(), kReadAllAnswer.end());
  if (!modbus::FrameCheckPasses(response)) state.SkipWithError("the answer's check is wrong");
  for (auto _ : state) {
    const bool ok = modbus::FrameCheckPasses(response);
    benchmark::DoNotOptimize(ok);
    auto values = modbus::DecodeReadLayout(response);
    benchmark::DoNotOptimize(values);
  }
  state.SetLabel("Framing, check and decode one 53-byte answer");
}
BENCHMARK(BM_CheckAndDecodeReadResponse);

}  // namespace

int main(int argc, char** argv) { return bench::RunGoogleBenchmarks(argc, argv); }
