#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "modbus/crc16.h"
#include "modbus/hex_text.h"
#include "modbus/requests.h"
#include "modbus/response.h"
#include "modbus/tests/reference_frames.h"

namespace modbus {
namespace {

ByteString Bytes(std::string_view s) { return ByteString(s.begin(), s.end()); }

TEST(Crc16, ReferenceVectors) {
  struct Case {
    ByteString data;
    ByteString check;
  };
  const Case cases[] = {
      {{}, {0xFF, 0xFF}},
      {{0x01, 0x03, 0x00, 0x00, 0x00, 0x18}, {0x45, 0xC0}},
      {Bytes("123456789"), {0x37, 0x4B}},
  };
  for (const auto& c : cases) EXPECT_EQ(Crc16(c.data), c.check) << BytesToHex(c.data);
}

TEST(Crc16, ZeroBytesDoNotEndTheData) {
  const ByteString a = {0x01, 0x00, 0x00};
  const ByteString b = {0x01, 0x00};
  EXPECT_NE(Crc16(a), Crc16(b));
  EXPECT_EQ(Crc16(a).size(), 2U);
}

TEST(HexText, Digits) {
  EXPECT_EQ(ByteToHex(0), "00");
  EXPECT_EQ(ByteToHex(10), "0A");
  EXPECT_EQ(ByteToHex(255), "FF");
  EXPECT_EQ(BytesToHex(ByteString{0x00, 0x0A, 0xFF}), "00 0A FF ");
  EXPECT_EQ(BytesToHex(ByteString{0xAB}), "AB ");
  EXPECT_EQ(BytesToHex(ByteString{}), "");
}

TEST(Requests, ReadAllForSeveralAddresses) {
  EXPECT_EQ(BytesToHex(ReadAllRequest(1)), "01 03 00 00 00 18 45 C0 ");
  const ByteString two = ReadAllRequest(2);
  EXPECT_EQ(two[0], 0x02);
  EXPECT_NE(ByteString(two.end() - 2, two.end()), (ByteString{0x45, 0xC0}));
  EXPECT_TRUE(FrameCheckPasses(two));
  EXPECT_EQ(ReadAllRequest(257), ReadAllRequest(1));
  EXPECT_EQ(ReadAllRequest(256)[0], 0x00);
  EXPECT_EQ(ReadAllRequest(-1)[0], 0xFF);
  EXPECT_EQ(ReadAllRequest(300)[0], 0x2C);
}

TEST(Requests, RelayFramesForSlaveOne) {
  for (const auto& c : testing_frames::kRelayFrames) {
    EXPECT_EQ(BytesToHex(RelayRequest(1, c.relay, c.on)), c.hex) << c.relay << c.on;
  }
  EXPECT_THROW(RelayRequest(1, 0, true), std::out_of_range);
  EXPECT_THROW(RelayRequest(1, 5, true), std::out_of_range);
}

TEST(Requests, ModeFrameIsConstant) {
  EXPECT_EQ(BytesToHex(RtuModeFrameBytes()), testing_frames::kModeFrameHex);
  unsigned sum = 0;
  for (int i = 0; i < 8; ++i) sum += RtuModeFrame[i];
  EXPECT_EQ(sum & 0xFFU, RtuModeFrame[8]);
}

TEST(Response, ExampleHasTheDocumentedCheck) {
  const ByteString r = testing_frames::ExampleResponse();
  ASSERT_EQ(r.size(), kReadResponseLength);
  EXPECT_EQ(r[51], 0x25);
  EXPECT_EQ(r[52], 0x0B);
  EXPECT_TRUE(FrameCheckPasses(r));
}

TEST(Response, ExampleDecodes) {
  const ReadResponse v = DecodeReadLayout(testing_frames::ExampleResponse());
  const float expected[8] = {1.0F, 10.0F, 23.456F, -0.5F, 0, 0, 0, 0};
  for (int k = 0; k < 8; ++k) {
    ASSERT_TRUE(v.analog_inputs[k].has_value());
    EXPECT_FLOAT_EQ(*v.analog_inputs[k], expected[k]) << k;
  }
  const std::uint8_t di[4] = {1, 0, 1, 0};
  const std::uint8_t dout[4] = {0, 1, 0, 0};
  for (int j = 0; j < 4; ++j) {
    EXPECT_EQ(v.digital_inputs[j], di[j]);
    EXPECT_EQ(v.digital_outputs[j], dout[j]);
  }
}

TEST(Response, AnyChangedByteFailsTheCheck) {
  const ByteString r = testing_frames::ExampleResponse();
  for (std::size_t i = 0; i < r.size(); ++i) {
    for (int bit = 0; bit < 8; ++bit) {
      ByteString changed = r;
      changed[i] ^= static_cast<std::uint8_t>(1U << bit);
      EXPECT_FALSE(FrameCheckPasses(changed)) << "byte " << i << " bit " << bit;
    }
  }
}

TEST(Response, OneTrailingByteFailsUnlessItIsZero) {
  for (int extra = 0; extra < 256; ++extra) {
    ByteString r = testing_frames::ExampleResponse();
    r.push_back(static_cast<std::uint8_t>(extra));
    EXPECT_EQ(FrameCheckPasses(r), extra == 0) << extra;
  }
  ByteString r = testing_frames::ExampleResponse();
  r.push_back(0);
  const ReadResponse v = DecodeReadLayout(r);
  EXPECT_FLOAT_EQ(*v.analog_inputs[2], 23.456F);
  EXPECT_EQ(v.digital_outputs[1], 1);
}

TEST(Response, RegistersAreNotInterchangeable) {
  EXPECT_EQ(AnalogFromWire(0x00, 0x00, 0x3F, 0x80), 1.0F);
  const float swapped = AnalogFromWire(0x3F, 0x80, 0x00, 0x00);
  EXPECT_NE(swapped, 1.0F);
  EXPECT_LT(std::fabs(swapped), 0.0005F);
  for (float f : {1.0F, -0.5F, 23.456F, 1e30F}) {
    const auto w = AnalogToWire(f);
    EXPECT_EQ(AnalogFromWire(w[0], w[1], w[2], w[3]), f);
  }
}

TEST(Response, OnlyTheLowByteOfAnOutputCounts) {
  ByteString r = testing_frames::ExampleResponse();
  r[44 - 1] = 0x01;  // high byte of register 20 (DO1)
  r[45 - 1] = 0x00;
  EXPECT_EQ(DecodeReadLayout(r).digital_outputs[0], 0x00);
}

TEST(Response, ShortBlocksYieldOnlyWhatLiesInside) {
  const ByteString full = testing_frames::ExampleResponse();
  for (std::size_t n = 0; n <= full.size(); ++n) {
    const ReadResponse v = DecodeReadLayout(ByteView(full).first(n));
    for (std::size_t k = 0; k < 8; ++k) EXPECT_EQ(v.analog_inputs[k].has_value(), 4 + 4 * k + 3 <= n);
    for (int j = 1; j <= 4; ++j) {
      EXPECT_EQ(v.digital_inputs[j - 1].has_value(), 35U + 2 * j <= n) << n;
      EXPECT_EQ(v.digital_outputs[j - 1].has_value(), 43U + 2 * j <= n) << n;
    }
  }
}

TEST(Response, DegenerateBlocksHaveDefinedResults) {
  EXPECT_FALSE(FrameCheckPasses(ByteString{}));
  EXPECT_FALSE(FrameCheckPasses(ByteString{0xFF}));
  EXPECT_TRUE(FrameCheckPasses(ByteString{0xFF, 0xFF}));  // the check of nothing
  ByteString big(1 << 20, 0x5A);
  EXPECT_FALSE(FrameCheckPasses(big));
  EXPECT_TRUE(DecodeReadLayout(big).digital_outputs[3].has_value());
}

}  // namespace
}  // namespace modbus
