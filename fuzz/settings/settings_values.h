#pragma once
// Setter calls with values taken from the input, on any component: the same steps change
// the component under test and the one its settings objects are assigned from.
#include "fuzz/fuzz_input.h"
#include "fuzz/settings/settings_rig.h"

namespace fuzz {

inline constexpr int kValueStepCount = 13;

// Step `which` (0..kValueStepCount-1): one setter call; notes in allowed what it may raise.
void RunValueStep(int which, serial::TCustomComm& comm, FuzzInput& in, Allowed& allowed);

}  // namespace fuzz
