#pragma once
// A port component on the in-memory device, with a second component on its own device to
// assign settings objects from, and what a run of setter calls may and may not raise.
#include <cstdint>
#include <memory>
#include <string>

#include "fuzz/fuzz_input.h"
#include "serial/custom_comm.h"
#include "serial/platform/fake/fake_platform.h"

namespace fuzz {

struct SettingsRig {
  std::shared_ptr<serial::platform::fake::FakePlatform> platform =
      std::make_shared<serial::platform::fake::FakePlatform>();
  std::shared_ptr<serial::platform::fake::FakeState> state = platform->State();
  serial::TXComm comm{platform};
  std::shared_ptr<serial::platform::fake::FakePlatform> other_platform =
      std::make_shared<serial::platform::fake::FakePlatform>();
  serial::TXComm other{other_platform};
  // Once the queue size bound of the other operating system family was in force, stored
  // sizes up to 8192 are legitimate.
  bool bound_raised = false;
};

// The failures one step may raise; anything else breaks the run.
struct Allowed {
  std::uint32_t device_codes = 0;  // bit n: EDeviceError with ErrorCode n
  bool invalid_argument = false;   // an enumeration value outside its members was passed
  bool assign_error = false;       // assignment from an absent object or another class

  void AllowCode(int code) { device_codes |= 1U << code; }
  bool CodeAllowed(int code) const {
    return code >= 0 && code < 32 && (device_codes & (1U << code)) != 0;
  }
};

// Every value a setter can change, as the component reports it (reads consult the device
// while open); equal snapshots mean nothing changed.
struct Snapshot {
  serial::platform::DCB dcb;  // BuildDCB of the line settings as read
  serial::TBaudRate baud_rate = serial::br9600;
  serial::TFlowControl flow_control = serial::fcNone;
  std::string device_name;
  std::uint16_t output_size = 0;
  std::uint16_t input_timeout = 0;
  std::uint16_t output_timeout = 0;
  serial::TimeoutValues timeouts;
  friend bool operator==(const Snapshot&, const Snapshot&) = default;
};

serial::StoredLineSettings SettingsAsRead(serial::TCustomComm& comm);
Snapshot Snap(serial::TCustomComm& comm);

// Runs one step taken from the input: a setter call, an assignment, Open, Close, reads or
// a change of the reported operating system, possibly with one device call made to fail.
void RunSettingsStep(SettingsRig& rig, FuzzInput& in);

// The properties that hold after every step.
void CheckSettingsInvariants(SettingsRig& rig);

}  // namespace fuzz
