// One step of a settings run: the step itself, the failures it may raise, and what must
// hold right after it.
#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <string>

#include "fuzz/fuzz_check.h"
#include "fuzz/settings/settings_rig.h"
#include "fuzz/settings/settings_values.h"

namespace fuzz {
namespace {

using namespace serial;

// The settings object of group g (data control, buffers, characters, time-outs).
TPersistent& Group(TCustomComm& c, int g) {
  switch (g) {
    case 0: return c.DataControl();
    case 1: return c.Buffers();
    case 2: return c.EventChars();
    default: return c.Timeouts();
  }
}

void AssignFromOther(SettingsRig& rig, int g) {
  TCustomComm& c = rig.comm;
  switch (g) {
    case 0: c.SetDataControl(rig.other.DataControl()); break;
    case 1: c.SetBuffers(rig.other.Buffers()); break;
    case 2: c.SetEventChars(rig.other.EventChars()); break;
    default: c.SetTimeouts(rig.other.Timeouts()); break;
  }
}

void AssignSelf(TCustomComm& c, int g) {
  switch (g) {
    case 0: c.SetDataControl(c.DataControl()); break;
    case 1: c.SetBuffers(c.Buffers()); break;
    case 2: c.SetEventChars(c.EventChars()); break;
    default: c.SetTimeouts(c.Timeouts()); break;
  }
}

// Assignment takes every value the source reports.
void CheckAssigned(SettingsRig& rig, int g) {
  TCustomComm& c = rig.comm;
  TCustomComm& o = rig.other;
  if (g == 0) {
    FUZZ_REQUIRE(c.DataControl().DataBits() == o.DataControl().DataBits());
    FUZZ_REQUIRE(c.DataControl().Parity() == o.DataControl().Parity());
    FUZZ_REQUIRE(c.DataControl().StopBits() == o.DataControl().StopBits());
  } else if (g == 1) {
    FUZZ_REQUIRE(c.Buffers().InputSize() == o.Buffers().InputSize());
    FUZZ_REQUIRE(c.Buffers().OutputSize() == o.Buffers().OutputSize());
    FUZZ_REQUIRE(c.Buffers().InputTimeout() == o.Buffers().InputTimeout());
  } else if (g == 2) {
    FUZZ_REQUIRE(c.EventChars().XonChar() == o.EventChars().XonChar());
    FUZZ_REQUIRE(c.EventChars().EventChar() == o.EventChars().EventChar());
  } else {
    FUZZ_REQUIRE(c.Timeouts().ReadInterval() == o.Timeouts().ReadInterval());
    FUZZ_REQUIRE(c.Timeouts().WriteConstant() == o.Timeouts().WriteConstant());
  }
}

// From the other component, from itself (nothing happens), from nothing or from an object
// of another class (refused, nothing changes).
void AssignStep(SettingsRig& rig, FuzzInput& in, Allowed& allowed) {
  const int g = in.Range(0, 3);
  const int mode = in.Range(0, 3);
  if (mode == 0) {
    AssignFromOther(rig, g);
    CheckAssigned(rig, g);
    return;
  }
  const Snapshot before = Snap(rig.comm);
  if (mode == 1) {
    AssignSelf(rig.comm, g);
    FUZZ_REQUIRE(Snap(rig.comm) == before);
    return;
  }
  allowed.assign_error = true;
  const TPersistent* source = mode == 2 ? nullptr : &Group(rig.other, (g + 1) % 4);
  try {
    Group(rig.comm, g).Assign(source);
  } catch (const EAssignError&) {
    FUZZ_REQUIRE(Snap(rig.comm) == before);
    throw;
  }
  FUZZ_REQUIRE(!"an assignment from nothing or another class must be refused");
}

// A setter call, Open or Close on the component that settings are assigned from.
void OtherStep(SettingsRig& rig, FuzzInput& in, Allowed&) {
  const int which = in.Range(0, kValueStepCount + 1);
  try {
    if (which == kValueStepCount) {
      if (!rig.other.IsOpen()) rig.other.Open();
    } else if (which == kValueStepCount + 1) {
      if (rig.other.IsOpen()) rig.other.Close();
    } else {
      Allowed ignored;
      RunValueStep(which, rig.other, in, ignored);
    }
  } catch (const std::invalid_argument&) {
  }
}

void OpenStep(SettingsRig& rig, FuzzInput&, Allowed& allowed) {
  const bool was_open = rig.comm.IsOpen();
  if (was_open) allowed.AllowCode(DEVICE_ALREADY_OPENED);
  const platform::DCB expected = was_open ? platform::DCB{} : BuildDCB(SettingsAsRead(rig.comm));
  rig.state->ClearCalls();
  bool opened = false;
  try {
    opened = rig.comm.Open();
  } catch (const EDeviceError& e) {
    // Open while open leaves the first connection; a configuration failure leaves the
    // device open.
    FUZZ_REQUIRE(rig.comm.IsOpen());
    throw;
  }
  FUZZ_REQUIRE(opened == rig.comm.IsOpen());
  if (!opened) return;
  // The device is configured from the stored settings.
  const auto blocks = rig.state->ArgsOf<platform::DCB>("SetCommState");
  FUZZ_REQUIRE(!blocks.empty() && blocks.front() == expected);
}

void CloseStep(SettingsRig& rig, FuzzInput&, Allowed& allowed) {
  if (!rig.comm.IsOpen()) allowed.AllowCode(DEVICE_NOT_OPENED);
  rig.comm.Close();
  FUZZ_REQUIRE(!rig.comm.IsOpen());
}

// The component asks for the family and version for every queue size it clamps.
void VersionStep(SettingsRig& rig, FuzzInput& in, Allowed&) {
  const bool nt = in.Bool();
  rig.state->SetVersion(platform::OsVersion{
      .dwPlatformId = nt ? platform::VER_PLATFORM_WIN32_NT : platform::VER_PLATFORM_WIN32_WINDOWS,
      .dwMajorVersion = static_cast<std::uint32_t>(in.Range(3, 6))});
  rig.bound_raised = true;
}

using RigStep = void (*)(SettingsRig&, FuzzInput&, Allowed&);
constexpr RigStep kRigSteps[] = {AssignStep, OtherStep, OpenStep, CloseStep, VersionStep};
constexpr int kRigStepCount = sizeof kRigSteps / sizeof kRigSteps[0];

// Device calls a step may be made to fail, and the code each failure surfaces as.
struct Injected {
  const char* call;
  int code;  // 0: the failure is not reported
};
constexpr Injected kInjected[] = {
    {"SetCommState", DEVICE_UPDATE_DCB},     {"SetupComm", DEVICE_UPDATE_BUFFERS},
    {"SetCommTimeouts", DEVICE_UPDATE_TIMEOUTS}, {"GetCommState", 0},
    {"GetCommProperties", 0},               {"GetCommTimeouts", 0},
    {"PurgeComm", 0},                       {"CreateFile", 0}};

void Dispatch(SettingsRig& rig, int op, FuzzInput& in, Allowed& allowed) {
  if (op < kValueStepCount)
    RunValueStep(op, rig.comm, in, allowed);
  else
    kRigSteps[op - kValueStepCount](rig, in, allowed);
}

void RunGuarded(SettingsRig& rig, int op, FuzzInput& in, Allowed& allowed) {
  try {
    Dispatch(rig, op, in, allowed);
  } catch (const EDeviceError& e) {
    if (!allowed.CodeAllowed(e.ErrorCode())) std::fprintf(stderr, "raised: %s\n", e.what());
    FUZZ_REQUIRE(allowed.CodeAllowed(e.ErrorCode()));
  } catch (const EAssignError&) {
    FUZZ_REQUIRE(allowed.assign_error);
  } catch (const std::invalid_argument& e) {
    if (!allowed.invalid_argument) std::fprintf(stderr, "raised: %s\n", e.what());
    FUZZ_REQUIRE(allowed.invalid_argument);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "raised: %s\n", e.what());
    FUZZ_REQUIRE(!"a setter raised an undocumented failure");
  }
}

// While closed no device call is made but the version query (and CreateFile by Open).
void CheckNoDeviceCalls(const SettingsRig& rig) {
  for (const std::string& name : rig.state->CallNames()) {
    if (name != "GetVersion" && name != "CreateFile") std::fprintf(stderr, "call: %s\n", name.c_str());
    FUZZ_REQUIRE(name == "GetVersion" || name == "CreateFile");
  }
}

// After a failed apply the device lags behind the stored values until the next apply.
void Resync(SettingsRig& rig) {
  if (!rig.comm.IsOpen()) return;
  rig.comm.UpdateDCB();
  rig.comm.UpdateBuffers();
  rig.comm.UpdateTimeouts();
}

}  // namespace

void RunSettingsStep(SettingsRig& rig, FuzzInput& in) {
  const std::uint8_t op_byte = in.Byte();
  const int op = (op_byte & 0x7F) % (kValueStepCount + kRigStepCount);
  Allowed allowed;
  const Injected* injected = nullptr;
  if (op_byte & 0x80) {  // this step runs with one device call failing
    injected = &kInjected[in.Byte() % (sizeof kInjected / sizeof kInjected[0])];
    rig.state->FailCall(injected->call);
    if (injected->code != 0) allowed.AllowCode(injected->code);
  }
  const bool was_open = rig.comm.IsOpen();
  rig.state->ClearCalls();
  RunGuarded(rig, op, in, allowed);
  if (!was_open && !rig.comm.IsOpen()) CheckNoDeviceCalls(rig);
  if (injected != nullptr) {
    rig.state->ClearFailure(injected->call);
    Resync(rig);
  }
}

}  // namespace fuzz
