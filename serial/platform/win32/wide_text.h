#pragma once
// The component carries text as UTF-8; the system's wide calls take and give UTF-16.
#include <string>
#include <string_view>

namespace serial::platform::win32 {

// Invalid sequences become U+FFFD.
std::wstring WideFromUtf8(std::string_view text);
std::string Utf8FromWide(std::wstring_view text);

}  // namespace serial::platform::win32
