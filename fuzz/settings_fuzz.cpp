// Random sequences of setter calls, assignments, Open and Close on a port component over
// the in-memory device, some with a device call made to fail. Every step raises only what
// it is documented to raise, and the settings invariants hold after each.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_input.h"
#include "fuzz/settings/settings_rig.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  constexpr int kMaxSteps = 200;
  fuzz::FuzzInput in(data, size);
  fuzz::SettingsRig rig;
  fuzz::CheckSettingsInvariants(rig);
  for (int step = 0; step < kMaxSteps && !in.Empty(); ++step) {
    fuzz::RunSettingsStep(rig, in);
    fuzz::CheckSettingsInvariants(rig);
  }
  return 0;
}
