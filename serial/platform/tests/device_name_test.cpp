#include "serial/platform/posix/device_name.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace serial::platform::posix {
namespace {

TEST(DevicePath, MapsNamesAsTheComponentFormsThem) {
  struct Case {
    std::string name;
    std::string path;
  };
  const Case cases[] = {
      {"\\\\.\\COM1", "/dev/ttyS0"},
      {"\\\\.\\com12", "/dev/ttyS11"},
      {"\\\\.\\ttyUSB0", "/dev/ttyUSB0"},
      {"\\\\.\\serial/by-id/usb-FTDI_x-if00-port0", "/dev/serial/by-id/usb-FTDI_x-if00-port0"},
      {"\\\\.\\/dev/pts/3", "/dev/pts/3"},
      {"/dev/ttyACM0", "/dev/ttyACM0"},     // without the prefix, as given
      {"\\\\.\\COM0", "/dev/COM0"},         // not a COM number
      {"\\\\.\\COM1x", "/dev/COM1x"},
      {"\\\\.\\COM99999999999", "/dev/COM99999999999"},  // no overflow into a small number
      {"\\\\.\\..x", "/dev/..x"},           // a component that merely starts with dots
  };
  for (const Case& c : cases) {
    const auto result = DevicePath(c.name);
    ASSERT_TRUE(std::holds_alternative<std::string>(result)) << c.name;
    EXPECT_EQ(std::get<std::string>(result), c.path) << c.name;
  }
}

TEST(DevicePath, RefusesNamesThatLeaveTheDeviceFolderOrAreEmpty) {
  struct Case {
    std::string name;
    int error;
  };
  const Case cases[] = {
      {"\\\\.\\", ENOENT},
      {"", ENOENT},
      {"\\\\.\\../etc/passwd", EACCES},
      {"\\\\.\\serial/../../etc/shadow", EACCES},
      {"\\\\.\\/dev/../etc/passwd", EACCES},
      {"\\\\.\\..", EACCES},
      {"\\\\.\\pts/..", EACCES},
      {std::string("\\\\.\\..\0x", 8), EINVAL},
      {std::string("\\\\.\\ttyUSB0\0junk", 16), EINVAL},
  };
  for (const Case& c : cases) {
    const auto result = DevicePath(c.name);
    ASSERT_TRUE(std::holds_alternative<int>(result)) << c.name;
    EXPECT_EQ(std::get<int>(result), c.error) << c.name;
  }
}

}  // namespace
}  // namespace serial::platform::posix
