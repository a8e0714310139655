#pragma once
// The port name the open button hands the component, from the text typed into the name
// field. The status text keeps quoting the text as typed; only the device is asked for
// this name.
#include <string>
#include <string_view>

namespace rtutest {

// Full-width letters, digits and signs (what a Chinese input method may type, "ＣＯＭ３")
// and the ideographic space are folded to their ASCII forms; surrounding blanks are
// dropped; a typed device prefix "\\.\" is dropped, since the component adds its own; so
// is the colon of a DOS device name ("COM3:"). Everything else is kept as typed, in UTF-8.
std::string PortNameFor(std::u32string_view typed);

}  // namespace rtutest
