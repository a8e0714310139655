// Opening, reading, the relay buttons and the slave address, against the simulated module
// on a pseudo-terminal.
#include <optional>

#include <QLineEdit>
#include <QPushButton>

#include "app/tests/window_on_module_cases.h"
#include "modbus/tests/reference_frames.h"
#include "tests/e2e/module_window.h"

namespace rtutest::e2e {
namespace {

using modbus::ByteString;
using namespace testing;  // the shared cases

const ByteString kModeFrame = modbus::testing_frames::ModeFrame();
const ByteString kReadSlave1 = modbus::testing_frames::ReadSlave1();
const ByteString kReadSlave2 = modbus::testing_frames::ReadSlave2();

// The pseudo-terminal line of the shared cases: the module in this process, every frame it
// received readable.
class PtyModule : public ModuleWindow {
 protected:
  void Connect() { Start(FixedModule()); }
  std::optional<ByteString> WireHolding(std::size_t bytes) {
    ByteString wire;
    test_support::WaitFor(
        [&] {
          seen_ = Module().Counters().requests;  // before the frames: a later one ends the wait
          wire.clear();
          for (const ByteString& frame : Module().RecentRequests()) {
            wire.insert(wire.end(), frame.begin(), frame.end());
          }
          return wire.size() >= bytes;
        },
        [&](std::chrono::milliseconds left) {
          Module().WaitUntil([this](const sim::ModuleCounters& c) { return c.requests > seen_; }, left);
        });
    return wire;
  }
  std::optional<int> RelayAtModule(int relay) { return Module().RelayValues()[relay - 1]; }

 private:
  std::uint64_t seen_ = 0;
};
INSTANTIATE_TYPED_TEST_SUITE_P(Pty, WindowAgainstModule, PtyModule);

using AgainstModule = ModuleWindow;

TEST_F(AgainstModule, AnswerToTheModeFrameIsLoggedByTheTickInThePause) {
  sim::SimulatorOptions options = FixedModule();
  options.answer_mode = true;  // this module echoes the mode frame
  Start(options);
  mode_answer_bytes_ = 9;
  PressOpen();
  ReadAndTick();
  const QStringList expected = QStringList{SentLine(kModeFrame), ReceivedLine(kModeFrame),
                                           SentLine(kReadSlave1), ReceivedLine(modbus::testing_frames::ExampleResponse())} +
                               ExampleValueLines();
  EXPECT_EQ(Log(), expected);
  EXPECT_EQ(CheckFailures(), 0);
}

class AddressedModule : public AgainstModule {
 protected:
  void StartModuleAt(std::uint8_t address) {
    sim::SimulatorOptions options = FixedModule();
    options.address = address;
    Start(options);
  }
  void Confirm(const QString& address) {
    window_.Controls().edmodaddr->setText(address);
    window_.Controls().Button2->click();
  }
};

TEST_F(AddressedModule, ConfirmedAddressTwoReadsAModuleAtTwo) {
  StartModuleAt(2);
  Confirm("2");
  PressOpen();
  ReadAndTick();
  EXPECT_EQ(Module().RecentRequests().back(), kReadSlave2);
  ASSERT_EQ(Log().size(), 3 + 16);
  EXPECT_TRUE(Log()[2].startsWith(ReceivedLine({0x02, 0x03, 0x30, 0x00, 0x00, 0x3F, 0x80})));
  EXPECT_EQ(Tail(16), ExampleValueLines());
  EXPECT_EQ(CheckFailures(), 0);
}

TEST_F(AddressedModule, ModuleAtTwoStaysSilentToAddressOne) {
  StartModuleAt(2);
  PressOpen();  // the window starts at address 1
  const std::uint64_t before = Module().Counters().requests;
  PressRead();
  ASSERT_TRUE(WaitForMoreRequests(before, 2));
  // The module decides on its answer as the request ends: none was scheduled.
  EXPECT_EQ(Module().Counters().replies, 0U);
  EXPECT_EQ(Module().RecentRequests().back(), kReadSlave1);
  Tick();
  EXPECT_EQ(Log(), (QStringList{SentLine(kModeFrame), SentLine(kReadSlave1)}));
  EXPECT_EQ(Cell(1), "");
}

}  // namespace
}  // namespace rtutest::e2e
