#pragma once
// Why Windows refused to open a port, from its error code (GetLastError after CreateFileW),
// in words the user can act on. Windows codes are not errno values: 5 is a port another
// program holds, not an input/output error.
#include <string>
#include <string_view>
#include <vector>

namespace rtutest {

// One line of Chinese text (UTF-8) naming the cause, with the system's code and text;
// `ports` are the COM ports the registry lists, named when the port was not found or its
// name is not one.
std::string WindowsOpenReason(int error, std::string_view system_text, std::string_view port,
                              const std::vector<std::string>& ports);

}  // namespace rtutest
