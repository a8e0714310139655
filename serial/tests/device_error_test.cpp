// The component's failure: fixed messages by code, and the form with the system's error.
#include "serial/device_error.h"

#include <gtest/gtest.h>

namespace serial {
namespace {

struct Fixed {
  std::int32_t code;
  const char* message;
};

class DeviceErrorMessage : public testing::TestWithParam<Fixed> {};

TEST_P(DeviceErrorMessage, CarriesTheComponentsCodeAndText) {
  const EDeviceError error = EDeviceError::Fixed(GetParam().code);
  EXPECT_EQ(error.ErrorCode(), GetParam().code);
  EXPECT_STREQ(error.what(), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, DeviceErrorMessage,
    testing::Values(Fixed{1, "Device not opened."}, Fixed{2, "Device is allready opened."},
                    Fixed{3, "Unable to update device control block."},
                    Fixed{4, "Device locked. Cannot perform send operations."},
                    Fixed{5, "Device locked. Cannot perform read operations."},
                    Fixed{6, "Unable to update IO buffers."},
                    Fixed{7, "Unable to update Timeouts."},
                    Fixed{10, "Unable to read from port."}));

TEST(DeviceError, SystemFormKeepsTheComponentsCodeAndAppendsTheSystemsCodeAndText) {
  const EDeviceError error =
      EDeviceError::WithSystemError(DEVICE_READ_FAILED, 5, "Input/output error");
  EXPECT_EQ(error.ErrorCode(), 10);
  EXPECT_STREQ(error.what(), "Unable to read from port. (Win32 error 5: Input/output error)");
}

TEST(DeviceError, SystemTextLosesTrailingBlanksControlCharactersAndFullStops) {
  struct Case {
    const char* raw;
    const char* trimmed;
  };
  for (const Case& c : {Case{"Access is denied.\r\n", "Access is denied"},
                        Case{"No such device. . \t\x7f", "No such device"},
                        Case{"v1.2 inside kept", "v1.2 inside kept"},
                        Case{"  leading kept", "  leading kept"},
                        Case{". \r\n", ""}, Case{"", ""},
                        Case{"\xE6\x8B\x92\xE7\xBB\x9D\xE8\xAE\xBF\xE9\x97\xAE\xE3\x80\x82\r\n",
                             "\xE6\x8B\x92\xE7\xBB\x9D\xE8\xAE\xBF\xE9\x97\xAE"},  // 拒绝访问。
                        Case{"\xE5\x87\xBA\xE9\x94\x99\xEF\xBC\x8E \xE3\x80\x82", "\xE5\x87\xBA\xE9\x94\x99"}}) {
    EXPECT_EQ(TrimSystemText(c.raw), c.trimmed) << c.raw;
  }
  EXPECT_STREQ(EDeviceError::WithSystemError(10, 6, "The handle is invalid. \r\n").what(),
               "Unable to read from port. (Win32 error 6: The handle is invalid)");
}

}  // namespace
}  // namespace serial
