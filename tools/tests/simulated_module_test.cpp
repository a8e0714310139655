// The simulated module on real pseudo-terminals, as another program (the tool) sees it.
#include "tools/qlm7305_sim/simulated_module.h"

#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <termios.h>

#include <filesystem>
#include <fstream>

#include "modbus/crc16.h"
#include "modbus/requests.h"
#include "modbus/response.h"
#include "modbus/tests/reference_frames.h"
#include "tools/qlm7305_sim/stable_link.h"
#include "tools/tests/fd_io.h"
#include "tools/tests/strict_master.h"

namespace sim {
namespace {

using modbus::ByteString;
using std::chrono::milliseconds;
using testing::OpenRawClient;
using testing::ReadBytes;
using testing::WriteAll;

constexpr milliseconds kPatience(5000);  // only a failing test waits this long

SimulatorOptions FastFixed() {
  SimulatorOptions o;
  o.baud = 115200;
  o.values = ValueMode::kFixed;
  return o;
}

ByteString Exchange(int fd, const ByteString& request, std::size_t reply_length) {
  EXPECT_TRUE(WriteAll(fd, request));
  return ReadBytes(fd, reply_length, kPatience);
}

class TempDir {
 public:
  TempDir()
      : path_(std::filesystem::temp_directory_path() /
              ("qlm7305-sim-" + std::to_string(::getpid()) + "-" + std::to_string(++count_))) {
    std::filesystem::create_directories(path_);
  }
  ~TempDir() { std::filesystem::remove_all(path_); }
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }

 private:
  static inline int count_ = 0;
  std::filesystem::path path_;
};

TEST(SimulatedModule, AnswersOurReadRequestOnItsPty) {
  SimulatedModule module(FastFixed());
  const UniqueFd client = OpenRawClient(module.SlavePath());
  ASSERT_TRUE(client.Valid()) << module.SlavePath();
  const ByteString reply = Exchange(client.Get(), modbus::ReadAllRequest(1), 53);
  EXPECT_EQ(reply.size(), 53U);
  EXPECT_TRUE(modbus::FrameCheckPasses(reply));
  EXPECT_EQ(reply, modbus::testing_frames::ExampleResponse());
  EXPECT_TRUE(module.WaitUntil([](const ModuleCounters& c) { return c.replies == 1; }, kPatience));
  EXPECT_EQ(module.RecentRequests(), std::vector<ByteString>{modbus::ReadAllRequest(1)});
}

TEST(SimulatedModule, LiveValuesDecodeWithinTheirRange) {
  SimulatorOptions options = FastFixed();
  options.values = ValueMode::kLive;
  SimulatedModule module(options);
  const UniqueFd client = OpenRawClient(module.SlavePath());
  const ByteString reply = Exchange(client.Get(), modbus::ReadAllRequest(1), 53);
  ASSERT_TRUE(modbus::FrameCheckPasses(reply));
  const auto values = modbus::DecodeReadLayout(reply);
  for (const auto& v : values.analog_inputs) {
    ASSERT_TRUE(v.has_value());
    EXPECT_GT(*v, -1.0F);
    EXPECT_LT(*v, 25.0F);
  }
  EXPECT_EQ(values.digital_outputs[0], 0);
}

TEST(SimulatedModule, ModeFrameThenRelayRequestSwitchesTheRelay) {
  SimulatedModule module(FastFixed());
  const UniqueFd client = OpenRawClient(module.SlavePath());
  ASSERT_TRUE(WriteAll(client.Get(), modbus::RtuModeFrameBytes()));
  const ByteString request = modbus::RelayRequest(1, 3, true);
  const ByteString reply = Exchange(client.Get(), request, 8);
  EXPECT_EQ(ByteString(reply.begin(), reply.begin() + 6),
            ByteString(request.begin(), request.begin() + 6));
  EXPECT_TRUE(modbus::FrameCheckPasses(reply));
  EXPECT_EQ(module.RelayValues(), (Relays{0, 1, 1, 0}));
  const ModuleCounters c = module.Counters();
  EXPECT_EQ(c.requests, 2U);
  EXPECT_EQ(c.mode_frames, 1U);
}

// A master that ends a frame at 1.5 characters of silence sees every reply whole at
// 9600 bit/s: the read-all answer, and both kinds of relay write. The split and late-reply
// faults stay what they are: two frames, or one frame later.
class StrictMaster : public ::testing::Test {
 protected:
  static constexpr LineTiming kTiming{9600};
  static constexpr int kRounds = 20;

  static SimulatorOptions Options(FaultOptions faults = {}) {
    SimulatorOptions o;
    o.baud = kTiming.baud;
    o.values = ValueMode::kFixed;
    o.faults = faults;
    return o;
  }
  // The reply of each round, checked to be `frames` frames together making `expected`;
  // returns the shortest wait for a reply's first bytes.
  Duration ExpectEachReply(SimulatedModule& module, const ByteString& request,
                       const ByteString& expected, std::size_t frames) {
    const UniqueFd client = OpenRawClient(module.SlavePath());
    EXPECT_TRUE(client.Valid()) << module.SlavePath();
    Duration earliest = Duration::max();
    for (int round = 0; round < kRounds; ++round) {
      const testing::StrictReply reply =
          testing::StrictExchange(client.Get(), request, expected.size(), kTiming, kPatience);
      ByteString joined;
      for (const ByteString& f : reply.frames) joined.insert(joined.end(), f.begin(), f.end());
      EXPECT_EQ(joined, expected) << "round " << round;
      EXPECT_EQ(reply.frames.size(), frames) << "round " << round << ", largest gap "
                                             << reply.largest_gap.count() << " ns";
      largest_gap_ = std::max(largest_gap_, reply.largest_gap);
      earliest = std::min(earliest, reply.first_byte_after);
    }
    return earliest;
  }
  // The measure: the longest silence inside one frame that the master saw.
  void TearDown() override {
    RecordProperty("largest_gap_us", static_cast<int>(largest_gap_.count() / 1000));
  }

  Duration largest_gap_{};
};

TEST_F(StrictMaster, SeesEachReplyAsOneFrame) {
  SimulatedModule module(Options());
  ByteString single = {0x01, 0x06, 0x00, 0x16, 0x00, 0x01};  // relay 3 on, function 6
  modbus::AppendCrc16(single);
  ExpectEachReply(module, modbus::ReadAllRequest(1), modbus::testing_frames::ExampleResponse(), 1);
  const ByteString relay = modbus::RelayRequest(1, 1, true);
  ByteString relay_reply(relay.begin(), relay.begin() + 6);
  modbus::AppendCrc16(relay_reply);
  ExpectEachReply(module, relay, relay_reply, 1);
  ExpectEachReply(module, single, single, 1);
  EXPECT_EQ(module.RelayValues(), (Relays{1, 1, 1, 0}));
}

TEST_F(StrictMaster, SeesASplitReplyAsTwoFramesAndALateOneWhole) {
  SimulatedModule split(Options({.split_pieces = 2, .split_gap = std::chrono::milliseconds(20)}));
  ExpectEachReply(split, modbus::ReadAllRequest(1), modbus::testing_frames::ExampleResponse(), 2);
  SimulatedModule late(Options({.late = std::chrono::milliseconds(100)}));
  EXPECT_GE(ExpectEachReply(late, modbus::ReadAllRequest(1), modbus::testing_frames::ExampleResponse(), 1),
            std::chrono::milliseconds(100));
}

// A client closing its end must not take the module away from the next client, and must
// not leave the terminal locked to it.
TEST(SimulatedModule, OutlivesClientsAndLiftsTheirExclusiveMode) {
  SimulatedModule module(FastFixed());
  {
    const UniqueFd first = OpenRawClient(module.SlavePath());
    ASSERT_TRUE(first.Valid());
    ASSERT_EQ(::ioctl(first.Get(), TIOCEXCL), 0);
  }
  ASSERT_TRUE(
      module.WaitUntil([](const ModuleCounters& c) { return c.client_closes >= 1; }, kPatience));
  const UniqueFd second = OpenRawClient(module.SlavePath());
  ASSERT_TRUE(second.Valid());
  int exclusive = 1;
  ASSERT_EQ(::ioctl(second.Get(), TIOCGEXCL, &exclusive), 0);
  EXPECT_EQ(exclusive, 0);
  EXPECT_EQ(Exchange(second.Get(), modbus::ReadAllRequest(1), 53).size(), 53U);
}

TEST(SimulatedModule, HangsUpAndComesBackBehindItsLink) {
  TempDir dir;
  SimulatorOptions options = FastFixed();
  options.faults.hangup_after = 1;
  options.faults.hangup_for = milliseconds(50);
  options.link = dir / "module";
  SimulatedModule module(options);
  EXPECT_EQ(std::filesystem::read_symlink(options.link).string(), module.SlavePath());
  {
    const UniqueFd client = OpenRawClient(options.link);
    EXPECT_EQ(Exchange(client.Get(), modbus::ReadAllRequest(1), 53).size(), 53U);
    EXPECT_TRUE(testing::WaitForHangUp(client.Get(), kPatience));
  }
  ASSERT_TRUE(
      module.WaitUntil([](const ModuleCounters& c) { return c.line_opens == 2; }, kPatience));
  EXPECT_EQ(module.Counters().hangups, 1U);
  EXPECT_EQ(std::filesystem::read_symlink(options.link).string(), module.SlavePath());
  const UniqueFd again = OpenRawClient(options.link);
  EXPECT_EQ(Exchange(again.Get(), modbus::ReadAllRequest(1), 53),
            modbus::testing_frames::ExampleResponse());
  module.Stop();
  EXPECT_FALSE(std::filesystem::is_symlink(options.link));
}

TEST(SimulatedModule, StopEndsServingAndClosesTheLine) {
  SimulatedModule module(FastFixed());
  const UniqueFd client = OpenRawClient(module.SlavePath());
  module.Stop();
  module.Stop();
  EXPECT_TRUE(testing::WaitForHangUp(client.Get(), kPatience));
}

// A real device is any terminal given by path; here the slave of a pty whose master plays
// the tool's part.
TEST(SimulatedModule, ServesADeviceGivenByPath) {
  Line wire = Line::OpenPseudoTerminal(9600);
  SimulatorOptions options = FastFixed();
  options.device = wire.Path();
  SimulatedModule module(options);
  EXPECT_EQ(module.SlavePath(), wire.Path());
  EXPECT_EQ(Exchange(wire.Fd(), modbus::ReadAllRequest(1), 53),
            modbus::testing_frames::ExampleResponse());
}

TEST(SimulatedModule, RefusesWhatItCannotOpen) {
  SimulatorOptions options = FastFixed();
  options.device = "/dev/no-such-serial-port";
  EXPECT_THROW(SimulatedModule{options}, std::system_error);
  options.device = "/dev/null";
  options.baud = 12345;
  try {
    SimulatedModule module(options);
    ADD_FAILURE() << "opened at an impossible rate";
  } catch (const std::system_error& e) {
    EXPECT_NE(std::string(e.what()).find("12345 baud"), std::string::npos) << e.what();
  }
}

TEST(StableLink, ReplacesAStaleLinkButNeverAFile) {
  TempDir dir;
  const std::string path = dir / "module";
  std::filesystem::create_symlink("/dev/pts/999", path);
  {
    StableLink link(path, "/dev/null");
    EXPECT_EQ(std::filesystem::read_symlink(path), "/dev/null");
    link.Retarget("/dev/zero");
    EXPECT_EQ(std::filesystem::read_symlink(path), "/dev/zero");
  }
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(path)));
  const std::string file = dir / "file";
  { std::ofstream(file) << "keep"; }
  EXPECT_THROW(StableLink(file, "/dev/null"), std::system_error);
  EXPECT_TRUE(std::filesystem::is_regular_file(file));
}

TEST(StableLink, IsWithdrawnWhileTheDeviceIsGoneAndPlacedAgain) {
  TempDir dir;
  const std::string path = dir / "module";
  StableLink link(path, "/dev/null");
  link.Withdraw();
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(path)));
  link.Retarget("/dev/zero");
  EXPECT_EQ(std::filesystem::read_symlink(path), "/dev/zero");
}

TEST(StableLink, LeavesALinkSomeoneElseReplaced) {
  TempDir dir;
  const std::string path = dir / "module";
  {
    StableLink link(path, "/dev/null");
    std::filesystem::remove(path);
    std::filesystem::create_symlink("/dev/zero", path);
  }
  EXPECT_EQ(std::filesystem::read_symlink(path), "/dev/zero");
}

}  // namespace
}  // namespace sim
