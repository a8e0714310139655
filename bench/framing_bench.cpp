// Cost of the frame check and of decoding one read-all answer.
#include <benchmark/benchmark.h>

#include "modbus/crc16.h"
#include "modbus/response.h"
#include "modbus/tests/reference_frames.h"

namespace {

void BM_Crc16(benchmark::State& state) {
  modbus::ByteString data(static_cast<std::size_t>(state.range(0)));
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 31U);
  for (auto _ : state) benchmark::DoNotOptimize(modbus::Crc16Value(data));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_Crc16)->Arg(8)->Arg(53)->Arg(4096);

void BM_CheckAndDecodeReadResponse(benchmark::State& state) {
  const modbus::ByteString response = modbus::testing_frames::ExampleResponse();
  for (auto _ : state) {
    const bool ok = modbus::FrameCheckPasses(response);
    benchmark::DoNotOptimize(ok);
    auto values = modbus::DecodeReadLayout(response);
    benchmark::DoNotOptimize(values);
  }
}
BENCHMARK(BM_CheckAndDecodeReadResponse);

}  // namespace
