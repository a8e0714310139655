#pragma once
// A port component on the in-memory fake device, with the fake's state at hand.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "serial/custom_comm.h"
#include "serial/platform/fake/fake_platform.h"
#include "serial/tests/code_of.h"

namespace serial::testing_support {

using Names = std::vector<std::string>;
using Bytes = std::vector<std::uint8_t>;

struct FakePort {
  std::shared_ptr<platform::fake::FakePlatform> platform =
      std::make_shared<platform::fake::FakePlatform>();
  std::shared_ptr<platform::fake::FakeState> state = platform->State();
  TXComm comm{platform};

  // Opens the port and forgets the calls opening made.
  void OpenAndClear() {
    ASSERT_TRUE(comm.Open());
    state->ClearCalls();
  }
  // The calls that reached the device, without the version query of the queue clamp and
  // without the event thread's mask and waits (its own tests cover those).
  Names DeviceCalls() const {
    Names names = state->CallNames();
    for (const char* name : {"GetVersion", "SetCommMask", "WaitCommEvent"}) {
      std::erase(names, std::string(name));
    }
    return names;
  }
  std::vector<platform::DCB> Applied() const {
    return state->ArgsOf<platform::DCB>("SetCommState");
  }
};

}  // namespace serial::testing_support
