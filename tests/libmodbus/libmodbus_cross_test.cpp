// Our request frames and our simulator checked against libmodbus: a libmodbus RTU slave
// must accept what the tool sends, and libmodbus as master must read the simulator.
#include <gtest/gtest.h>
#include <modbus.h>

#include <cerrno>
#include <memory>
#include <mutex>
#include <thread>

#include "modbus/requests.h"
#include "modbus/response.h"
#include "tools/qlm7305_sim/line.h"
#include "tools/qlm7305_sim/module_values.h"
#include "tools/qlm7305_sim/simulated_module.h"
#include "tools/tests/fd_io.h"

namespace {

using modbus::ByteString;
using std::chrono::milliseconds;

constexpr milliseconds kPatience(5000);  // only a failing test waits this long

struct ContextDeleter {
  void operator()(modbus_t* ctx) const {
    modbus_close(ctx);
    modbus_free(ctx);
  }
};
using Context = std::unique_ptr<modbus_t, ContextDeleter>;

struct MappingDeleter {
  void operator()(modbus_mapping_t* m) const { modbus_mapping_free(m); }
};
using Mapping = std::unique_ptr<modbus_mapping_t, MappingDeleter>;

// libmodbus opens the device by path with its own terminal settings.
Context ConnectRtu(const std::string& path) {
  Context ctx(modbus_new_rtu(path.c_str(), 9600, 'N', 8, 1));
  if (!ctx) return ctx;
  modbus_set_slave(ctx.get(), 1);
  if (modbus_connect(ctx.get()) != 0) {
    ADD_FAILURE() << "libmodbus cannot open " << path << ": " << modbus_strerror(errno);
    return nullptr;
  }
  return ctx;
}

// Values every field of the layout can be told apart by.
sim::InputValues KnownInputs() {
  sim::InputValues v;
  v.analog = {3.25F, -7.5F, 0.001F, 12345.678F, -0.0F, 4.0F, 19.99F, 1e-6F};
  v.digital = {1, 0, 0x0101, 1};
  return v;
}

// A libmodbus slave 1 on the slave side of a pty, answering `requests` requests on a thread;
// each wait for a request is bounded, so a lost request ends the thread instead of a hang.
class LibmodbusSlave {
 public:
  LibmodbusSlave(const std::string& path, const sim::RegisterImage& registers, int requests)
      : ctx_(ConnectRtu(path)), mapping_(modbus_mapping_new(0, 0, modbus::kRegisterCount, 0)) {
    std::copy(registers.begin(), registers.end(), mapping_->tab_registers);
    if (!ctx_) return;
    modbus_set_indication_timeout(ctx_.get(), 2, 0);
    thread_ = std::thread([this, requests] { Serve(requests); });
  }
  ~LibmodbusSlave() {
    if (thread_.joinable()) thread_.join();
  }
  LibmodbusSlave(const LibmodbusSlave&) = delete;
  LibmodbusSlave& operator=(const LibmodbusSlave&) = delete;

  bool Ready() const { return ctx_ != nullptr; }
  sim::RegisterImage Registers() const {
    std::lock_guard lock(mutex_);
    sim::RegisterImage image{};
    std::copy(mapping_->tab_registers, mapping_->tab_registers + image.size(), image.begin());
    return image;
  }

 private:
  void Serve(int requests) {
    std::array<std::uint8_t, MODBUS_RTU_MAX_ADU_LENGTH> request{};
    while (requests > 0) {
      const int length = modbus_receive(ctx_.get(), request.data());
      if (length < 0) return;
      if (length == 0) continue;  // another slave's request
      std::lock_guard lock(mutex_);
      modbus_reply(ctx_.get(), request.data(), length, mapping_.get());
      --requests;
    }
  }

  Context ctx_;
  Mapping mapping_;
  mutable std::mutex mutex_;
  std::thread thread_;
};

ByteString Exchange(int fd, const ByteString& request, std::size_t reply_length) {
  EXPECT_TRUE(sim::testing::WriteAll(fd, request));
  return sim::testing::ReadBytes(fd, reply_length, kPatience);
}

TEST(LibmodbusSlave, AnswersOurReadRequestWithItsValues) {
  sim::Line pty = sim::Line::OpenPseudoTerminal(9600);
  const sim::Relays relays{0, 1, 0, 0x0100};
  LibmodbusSlave slave(pty.Path(), sim::MakeRegisterImage(KnownInputs(), relays), 1);
  ASSERT_TRUE(slave.Ready());

  const ByteString reply =
      Exchange(pty.Fd(), modbus::ReadAllRequest(1), modbus::kReadResponseLength);
  ASSERT_EQ(reply.size(), modbus::kReadResponseLength);
  EXPECT_TRUE(modbus::FrameCheckPasses(reply));
  const modbus::ReadResponse values = modbus::DecodeReadLayout(reply);
  for (int k = 0; k < modbus::kAnalogInputs; ++k) {
    ASSERT_TRUE(values.analog_inputs[k].has_value());
    EXPECT_EQ(std::bit_cast<std::uint32_t>(*values.analog_inputs[k]),
              std::bit_cast<std::uint32_t>(KnownInputs().analog[k]))
        << "AIN" << k;
  }
  const std::array<std::optional<std::uint8_t>, 4> inputs = {1, 0, 1, 1};
  const std::array<std::optional<std::uint8_t>, 4> outputs = {0, 1, 0, 0};
  EXPECT_EQ(values.digital_inputs, inputs);  // only low bytes are shown
  EXPECT_EQ(values.digital_outputs, outputs);
}

TEST(LibmodbusSlave, EachOfOurRelayRequestsChangesExactlyItsRegister) {
  sim::Line pty = sim::Line::OpenPseudoTerminal(9600);
  const sim::RegisterImage start = sim::MakeRegisterImage(KnownInputs(), {5, 5, 5, 5});
  LibmodbusSlave slave(pty.Path(), start, 2 * modbus::kRelayCount);
  ASSERT_TRUE(slave.Ready());

  sim::RegisterImage expected = start;
  for (int relay = 1; relay <= modbus::kRelayCount; ++relay) {
    for (const bool on : {true, false}) {
      const ByteString request = modbus::RelayRequest(1, relay, on);
      const ByteString reply = Exchange(pty.Fd(), request, 8);
      ASSERT_EQ(reply.size(), 8U) << "relay " << relay;
      EXPECT_TRUE(modbus::FrameCheckPasses(reply));
      EXPECT_TRUE(std::equal(reply.begin(), reply.begin() + 6, request.begin()));
      expected[modbus::kFirstRelayRegister + relay - 1] = on ? 1 : 0;
      EXPECT_EQ(slave.Registers(), expected) << "relay " << relay << (on ? " on" : " off");
    }
  }
}

class LibmodbusMaster : public ::testing::Test {
 protected:
  // A strict master: more than 1.5 characters of silence inside a reply is a failure.
  LibmodbusMaster() : module_(Options()), ctx_(ConnectRtu(module_.SlavePath())) {
    if (!ctx_) return;
    modbus_set_response_timeout(ctx_.get(), 2, 0);
    modbus_set_byte_timeout(ctx_.get(), 0, 1563);  // 15 bit times at 9600 bit/s
  }
  static sim::SimulatorOptions Options() {
    sim::SimulatorOptions o;
    o.values = sim::ValueMode::kFixed;
    return o;
  }

  sim::SimulatedModule module_;
  Context ctx_;
};

TEST_F(LibmodbusMaster, ReadsTheSimulatorsRegisters) {
  ASSERT_TRUE(ctx_);
  for (int round = 0; round < 20; ++round) {
    std::array<std::uint16_t, modbus::kRegisterCount> registers{};
    ASSERT_EQ(modbus_read_registers(ctx_.get(), 0, modbus::kRegisterCount, registers.data()),
              modbus::kRegisterCount)
        << "round " << round << ": " << modbus_strerror(errno);
    EXPECT_EQ(registers, sim::MakeRegisterImage(sim::ExampleInputs(), sim::ExampleRelays()));
  }
}

// Function 16 (libmodbus's write of several registers) and function 6 (its write of one).
TEST_F(LibmodbusMaster, WritesRelaysEitherWayAndReadsThemBack) {
  ASSERT_TRUE(ctx_);
  const std::uint16_t on = 1;
  ASSERT_EQ(modbus_write_registers(ctx_.get(), 22, 1, &on), 1) << modbus_strerror(errno);
  ASSERT_EQ(modbus_write_register(ctx_.get(), 23, 1), 1) << modbus_strerror(errno);
  ASSERT_EQ(modbus_write_register(ctx_.get(), 21, 0), 1) << modbus_strerror(errno);
  EXPECT_EQ(module_.RelayValues(), (sim::Relays{0, 0, 1, 1}));
  std::array<std::uint16_t, 4> relays{};
  ASSERT_EQ(modbus_read_registers(ctx_.get(), 20, 4, relays.data()), 4) << modbus_strerror(errno);
  EXPECT_EQ(relays, (std::array<std::uint16_t, 4>{0, 0, 1, 1}));
}

TEST_F(LibmodbusMaster, GetsTheSimulatorsExceptions) {
  ASSERT_TRUE(ctx_);
  std::array<std::uint16_t, 4> buffer{};
  EXPECT_EQ(modbus_read_registers(ctx_.get(), 22, 4, buffer.data()), -1);
  EXPECT_EQ(errno, EMBXILADD);
  EXPECT_EQ(modbus_write_registers(ctx_.get(), 3, 1, buffer.data()), -1);
  EXPECT_EQ(errno, EMBXILADD);
  EXPECT_EQ(modbus_write_register(ctx_.get(), 19, 1), -1);
  EXPECT_EQ(errno, EMBXILADD);
  EXPECT_EQ(modbus_write_bit(ctx_.get(), 20, 1), -1);
  EXPECT_EQ(errno, EMBXILFUN);
}

}  // namespace
