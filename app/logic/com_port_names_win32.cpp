#include "app/logic/com_port_names.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace rtutest {

std::vector<std::string> ComPortNames() {
  std::vector<std::string> names;
  HKEY key = nullptr;
  if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
      ERROR_SUCCESS) {
    return names;
  }
  for (DWORD index = 0;; ++index) {
    char value_name[256];
    DWORD value_name_size = sizeof value_name;
    char data[256];
    DWORD data_size = sizeof data - 1;
    DWORD type = 0;
    const LONG result = ::RegEnumValueA(key, index, value_name, &value_name_size, nullptr, &type,
                                        reinterpret_cast<BYTE*>(data), &data_size);
    if (result == ERROR_NO_MORE_ITEMS) break;
    if (result != ERROR_SUCCESS || type != REG_SZ) continue;  // too long, or not a name
    data[data_size] = '\0';
    std::string name(data);  // stops at the terminating NUL the value may hold
    if (!name.empty()) names.push_back(std::move(name));
  }
  ::RegCloseKey(key);
  SortComPortNames(names);
  return names;
}

}  // namespace rtutest
