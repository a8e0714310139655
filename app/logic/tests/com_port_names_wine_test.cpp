// The port suggestions on Windows: the registry's SERIALCOMM key, read under Wine (whose
// prefix lists COM1 there), and the order they are offered in.
#include <gtest/gtest.h>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <algorithm>
#include <cstring>

#include "app/logic/com_port_names.h"

namespace rtutest {
namespace {

using Names = std::vector<std::string>;

TEST(ComPortNames, NumberOrderThenOtherNamesWithoutRepeats) {
  Names names{"COM10", "COM2", "CNCA0", "COM1", "COM2", "COMX", "COM03"};
  SortComPortNames(names);
  EXPECT_EQ(names, (Names{"COM1", "COM2", "COM03", "COM10", "CNCA0", "COMX"}));
}

// Adds a port driver's value to the key for the test's duration.
class RegistryPort {
 public:
  RegistryPort(const char* value, const char* name) : value_(value) {
    EXPECT_EQ(::RegCreateKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0,
                                nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &key_,
                                nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(::RegSetValueExA(key_, value, 0, REG_SZ, reinterpret_cast<const BYTE*>(name),
                               static_cast<DWORD>(std::strlen(name) + 1)),
              ERROR_SUCCESS);
  }
  ~RegistryPort() {
    ::RegDeleteValueA(key_, value_);
    ::RegCloseKey(key_);
  }

 private:
  const char* value_;
  HKEY key_ = nullptr;
};

TEST(ComPortNames, TheRegistrysPortsInNumberOrder) {
  RegistryPort ten("\\Device\\RtutestSerial10", "COM10");
  RegistryPort two("\\Device\\RtutestSerial2", "COM2");
  const Names names = ComPortNames();
  const auto at = [&](const char* name) { return std::find(names.begin(), names.end(), name); };
  ASSERT_NE(at("COM2"), names.end());
  ASSERT_NE(at("COM10"), names.end());
  EXPECT_LT(at("COM2"), at("COM10"));
}

}  // namespace
}  // namespace rtutest
