#include "tools/qlm7305_sim/module_model.h"

#include <gtest/gtest.h>

#include "modbus/crc16.h"
#include "modbus/hex_text.h"
#include "modbus/requests.h"
#include "modbus/response.h"
#include "modbus/tests/reference_frames.h"

namespace sim {
namespace {

using modbus::ByteString;
using std::chrono::seconds;

ByteString WithCheck(ByteString frame) {
  modbus::AppendCrc16(frame);
  return frame;
}

Frame Modbus(ByteString bytes) { return {FrameKind::kModbus, std::move(bytes)}; }

ModuleModel FixedModule(ModelOptions options = {}) {
  return ModuleModel(
      options, [](Duration) { return ExampleInputs(); }, ExampleRelays());
}

TEST(ModuleModel, FixedValuesAnswerTheReadWithTheReferenceFrame) {
  ModuleModel module = FixedModule();
  const auto reply = module.Handle(Modbus(modbus::ReadAllRequest(1)), Duration{});
  ASSERT_TRUE(reply.has_value());
  EXPECT_EQ(*reply, modbus::testing_frames::ExampleResponse()) << modbus::BytesToHex(*reply);
}

TEST(ModuleModel, AnalogueValuesTravelLowWordFirst) {
  InputValues inputs;
  inputs.analog[0] = 1.0F;
  const RegisterImage image = MakeRegisterImage(inputs, Relays{});
  EXPECT_EQ(image[0], 0x0000);
  EXPECT_EQ(image[1], 0x3F80);
}

// Every function and exception path of slave 1 holding the example values.
TEST(ModuleModel, AnswersEachRequestAsASlaveShould) {
  struct Case {
    const char* what;
    ByteString request;
    std::optional<ByteString> reply;
  };
  const Case cases[] = {
      {"read the relays", WithCheck({0x01, 0x03, 0x00, 0x14, 0x00, 0x04}),
       ByteString{0x01, 0x03, 0x08, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0xA8, 0x17}},
      {"read past register 23", WithCheck({0x01, 0x03, 0x00, 0x17, 0x00, 0x02}),
       ByteString{0x01, 0x83, 0x02, 0xC0, 0xF1}},
      {"read from register 24", WithCheck({0x01, 0x03, 0x00, 0x18, 0x00, 0x01}),
       ByteString{0x01, 0x83, 0x02, 0xC0, 0xF1}},
      {"read no register", WithCheck({0x01, 0x03, 0x00, 0x00, 0x00, 0x00}),
       ByteString{0x01, 0x83, 0x03, 0x01, 0x31}},
      {"read 126 registers", WithCheck({0x01, 0x03, 0x00, 0x00, 0x00, 0x7E}),
       ByteString{0x01, 0x83, 0x03, 0x01, 0x31}},
      {"write relays 3 and 4", WithCheck({0x01, 0x10, 0x00, 0x16, 0x00, 0x02, 0x04, 0, 1, 0, 1}),
       ByteString{0x01, 0x10, 0x00, 0x16, 0x00, 0x02, 0xA0, 0x0C}},
      {"write a digital input", WithCheck({0x01, 0x10, 0x00, 0x13, 0x00, 0x01, 0x02, 0x00, 0x01}),
       ByteString{0x01, 0x90, 0x02, 0xCD, 0xC1}},
      {"write past register 23",
       WithCheck({0x01, 0x10, 0x00, 0x16, 0x00, 0x03, 0x06, 0, 1, 0, 1, 0, 1}),
       ByteString{0x01, 0x90, 0x02, 0xCD, 0xC1}},
      {"byte count not twice the quantity",
       WithCheck({0x01, 0x10, 0x00, 0x14, 0x00, 0x02, 0x02, 0x00, 0x01}),
       ByteString{0x01, 0x90, 0x03, 0x0C, 0x01}},
      {"write a digital input with function 6", WithCheck({0x01, 0x06, 0x00, 0x13, 0x00, 0x01}),
       ByteString{0x01, 0x86, 0x02, 0xC3, 0xA1}},
      {"write register 24 with function 6", WithCheck({0x01, 0x06, 0x00, 0x18, 0x00, 0x01}),
       ByteString{0x01, 0x86, 0x02, 0xC3, 0xA1}},
      {"function 6 without its value", {0x01, 0x06, 0x00, 0x14, 0x00}, std::nullopt},
      {"read input registers", WithCheck({0x01, 0x04, 0x00, 0x00, 0x00, 0x01}),
       ByteString{0x01, 0x84, 0x01, 0x82, 0xC0}},
      {"unknown function", WithCheck({0x01, 0x2B, 0x0E, 0x01, 0x00}),
       ByteString{0x01, 0xAB, 0x01, 0x9E, 0xF0}},
      {"another slave", modbus::ReadAllRequest(2), std::nullopt},
      {"broadcast read", modbus::ReadAllRequest(0), std::nullopt},
      {"too short to be a read", {0x01, 0x03, 0x00, 0x00}, std::nullopt},
      {"write without its data", {0x01, 0x10, 0x00, 0x14, 0x00, 0x01, 0x02, 0x00}, std::nullopt},
  };
  for (const auto& c : cases) {
    ModuleModel module = FixedModule();
    const auto reply = module.Handle(Modbus(c.request), Duration{});
    EXPECT_EQ(reply, c.reply) << c.what;  // replies with their checks written out
  }
}

// Function 6 with a relay's register and value: what a master sends for one register.
ByteString SingleWrite(std::uint8_t address, int relay, bool on) {
  return WithCheck({address, kWriteSingleRegister, 0x00,
                    static_cast<std::uint8_t>(modbus::kFirstRelayRegister + relay - 1), 0x00,
                    static_cast<std::uint8_t>(on ? 1 : 0)});
}

// Functions 16 (the tool's request, echoed in six bytes) and 6 (echoed whole) alike.
TEST(ModuleModel, EachRelayWriteSwitchesExactlyItsRelay) {
  for (const bool single : {false, true}) {
    for (int relay = 1; relay <= modbus::kRelayCount; ++relay) {
      for (const bool on : {true, false}) {
        ModuleModel module(
            ModelOptions{}, [](Duration) { return InputValues{}; }, Relays{7, 7, 7, 7});
        const ByteString request = single ? SingleWrite(1, relay, on) : modbus::RelayRequest(1, relay, on);
        const auto reply = module.Handle(Modbus(request), Duration{});
        ASSERT_TRUE(reply.has_value());
        EXPECT_EQ(*reply, single ? request : WithCheck(ByteString(request.begin(), request.begin() + 6)));
        Relays expected{7, 7, 7, 7};
        expected[relay - 1] = on ? 1 : 0;
        EXPECT_EQ(module.RelayValues(), expected)
            << (single ? "function 6, " : "function 16, ") << "relay " << relay << (on ? " on" : " off");
        EXPECT_EQ(module.Registers(Duration{})[19 + relay], on ? 1 : 0);
      }
    }
  }
}

TEST(ModuleModel, ABroadcastWriteTakesEffectWithoutAReply) {
  ModuleModel module(
      ModelOptions{}, [](Duration) { return InputValues{}; }, Relays{});
  EXPECT_FALSE(module.Handle(Modbus(modbus::RelayRequest(0, 3, true)), Duration{}).has_value());
  EXPECT_FALSE(module.Handle(Modbus(SingleWrite(0, 1, true)), Duration{}).has_value());
  EXPECT_EQ(module.RelayValues(), (Relays{1, 0, 1, 0}));
}

TEST(ModuleModel, AnswersAtItsOwnAddressOnly) {
  ModuleModel module = FixedModule({.address = 17});
  EXPECT_FALSE(module.Handle(Modbus(modbus::ReadAllRequest(1)), Duration{}).has_value());
  const auto reply = module.Handle(Modbus(modbus::ReadAllRequest(17)), Duration{});
  ASSERT_TRUE(reply.has_value());
  EXPECT_EQ((*reply)[0], 17);
  EXPECT_TRUE(modbus::FrameCheckPasses(*reply));
}

TEST(ModuleModel, TheModeFrameIsSilentUnlessAskedToAnswer) {
  const Frame mode{FrameKind::kMode, modbus::RtuModeFrameBytes()};
  EXPECT_FALSE(FixedModule().Handle(mode, Duration{}).has_value());
  EXPECT_EQ(FixedModule({.answer_mode = true}).Handle(mode, Duration{}), mode.bytes);
}

TEST(LiveInputs, RepeatForASeedAndTimeAndMoveOverTime) {
  const LiveInputs a(42);
  const LiveInputs b(42);
  const LiveInputs other(43);
  EXPECT_EQ(a.At(seconds(3)).analog, b.At(seconds(3)).analog);
  EXPECT_NE(a.At(seconds(3)).analog, other.At(seconds(3)).analog);
  std::array<bool, modbus::kDigitalInputs> toggled{};
  const InputValues first = a.At(Duration{});
  for (int s = 0; s <= 60; ++s) {
    const InputValues now = a.At(seconds(s));
    for (std::size_t k = 0; k < now.analog.size(); ++k) {
      EXPECT_GE(now.analog[k], -1.0F);
      EXPECT_LE(now.analog[k], 25.0F);
    }
    for (std::size_t j = 0; j < now.digital.size(); ++j) {
      EXPECT_LE(now.digital[j], 1);
      toggled[j] = toggled[j] || now.digital[j] != first.digital[j];
    }
  }
  EXPECT_EQ(toggled, (std::array<bool, 4>{true, true, true, true}));
  EXPECT_NE(a.At(seconds(1)).analog, a.At(seconds(2)).analog);
}

}  // namespace
}  // namespace sim
