// Turning a line event set into OnData and OnCommEvent.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "serial/tests/fake_port.h"

namespace serial {
namespace {

using testing_support::FakePort;

struct Log {
  std::vector<std::string> entries;
  void Attach(TXComm& comm) {
    comm.SetOnData([this](TCustomComm&, std::uint32_t received) {
      entries.push_back("data " + std::to_string(received));
    });
    comm.SetOnCommEvent([this](TCustomComm&, TDeviceEvents events) {
      entries.push_back("event " + std::to_string(events.bits()));
    });
  }
};

struct DispatchCase {
  TDeviceEvents events;
  TDeviceEvents monitor;
  std::vector<std::string> expected;
};

TEST(DispatchEvents, DataComesFirstAndOnlyMonitoredEventsArePassedOn) {
  const TDeviceEvents defaults{deChar, deFlag, deOutEmpty};
  for (const DispatchCase& c : {
           DispatchCase{{deRing}, defaults, {}},
           DispatchCase{{deChar}, {}, {"data 2"}},
           DispatchCase{{deFlag}, {}, {"data 2"}},
           DispatchCase{{deChar, deCTS}, {deCTS}, {"data 2", "event 8"}},
           DispatchCase{{deOutEmpty}, defaults, {"event 4"}},
           DispatchCase{{}, defaults, {}},
       }) {
    FakePort p;
    Log log;
    log.Attach(p.comm);
    p.comm.SetMonitorEvents(c.monitor);
    p.OpenAndClear();
    p.state->Feed({1, 2});
    p.comm.DispatchEvents(c.events);
    EXPECT_EQ(log.entries, c.expected) << c.events.bits();
  }
}

TEST(DispatchEvents, DoesNothingWhileClosed) {
  FakePort p;
  Log log;
  log.Attach(p.comm);
  p.comm.DispatchEvents({deChar, deOutEmpty});
  EXPECT_TRUE(log.entries.empty());
  EXPECT_TRUE(p.state->CallNames().empty());
}

// The notification operations are the overridable points of a derived component.
class RecordingComm : public TCustomComm {
 public:
  using TCustomComm::TCustomComm;
  std::vector<std::string> calls;

 protected:
  void DoCommEvent(TDeviceEvents events) override {
    calls.push_back("comm " + std::to_string(events.bits()));
    TCustomComm::DoCommEvent(events);
  }
  void DoData(std::uint32_t received) override {
    calls.push_back("data " + std::to_string(received));
  }
};

TEST(DispatchEvents, GoesThroughTheOverridableOperations) {
  auto platform = std::make_shared<platform::fake::FakePlatform>();
  TCompleteComm<RecordingComm> comm(platform);
  ASSERT_TRUE(comm.Open());
  platform->State()->Feed({7});
  comm.DispatchEvents({deFlag});
  comm.SendString(std::vector<std::uint8_t>{1});  // the send's [deOutEmpty]
  EXPECT_EQ(comm.calls, (std::vector<std::string>{"comm 2", "data 1", "comm 4"}));
}

}  // namespace
}  // namespace serial
