// Text between the component and a Chinese Windows: Wine run with LC_ALL=zh_CN.UTF-8, whose
// ANSI code page is 936 (GBK). The system's error texts must reach the component as UTF-8,
// whole, and without their closing full stop; a name must reach the system unchanged.
#include <gtest/gtest.h>

#include <string>

#include "serial/device_error.h"
#include "serial/platform/win32/unique_handle.h"
#include "serial/platform/win32/wide_text.h"
#include "serial/platform/win32/win32_platform.h"
#include "serial/platform/win32/windows_api.h"

namespace serial {
namespace {

bool ValidUtf8(const std::string& text) {
  return text.empty() || ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                                               static_cast<int>(text.size()), nullptr, 0) > 0;
}

bool HasChinese(const std::string& text) {
  for (wchar_t c : platform::win32::WideFromUtf8(text)) {
    if (c >= 0x4E00 && c <= 0x9FFF) return true;
  }
  return false;
}

TEST(ChineseSystem, ErrorTextsArriveAsUtf8WithoutTheirFullStop) {
  ASSERT_EQ(::GetACP(), 936u)
      << "this program must run with LC_ALL=zh_CN.UTF-8 (CTest sets it), and that locale must "
         "exist on the machine: localedef -i zh_CN -f UTF-8 zh_CN.UTF-8 (scripts/setup windows)";
  platform::win32::Win32Platform platform;
  // The codes of a refused opening and of an unplugged adapter.
  for (int code : {2, 5, 22, 31, 87, 109, 995, 1167}) {
    const std::string text = platform.ErrorText(code);
    EXPECT_TRUE(ValidUtf8(text)) << code;
    EXPECT_TRUE(HasChinese(text)) << code << ": " << text;
    const std::string trimmed = TrimSystemText(text);
    EXPECT_FALSE(trimmed.ends_with("\xE3\x80\x82")) << code << ": " << trimmed;  // 。
    EXPECT_EQ(trimmed.find_first_of("\r\n"), std::string::npos) << code;
  }
  const std::string denied = TrimSystemText(platform.ErrorText(5));
  EXPECT_EQ(EDeviceError::WithSystemError(DEVICE_READ_FAILED, 5, platform.ErrorText(5)).what(),
            "Unable to read from port. (Win32 error 5: " + denied + ")");
}

// A port name is UTF-8 in the component; the system must get the same characters, whatever
// its ANSI code page. A file with a Chinese name in the device namespace stands in for a
// port named so (COM ports under Wine can only be COMn).
TEST(ChineseSystem, ANameInChineseReachesTheSystemWhole) {
  wchar_t folder[MAX_PATH] = {};
  ASSERT_GT(::GetTempPathW(MAX_PATH, folder), 0u);
  const std::wstring path = std::wstring(folder) + L"\u4E32\u53E3\u6D4B\u8BD5.bin";  // 串口测试
  platform::win32::UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr,
                                                   CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(file) << "the test's file: error " << ::GetLastError();
  file.Reset();
  auto [device, error] = platform::win32::Win32Platform().CreateFile(
      "\\\\.\\" + platform::win32::Utf8FromWide(path));
  EXPECT_NE(device, nullptr) << "refused with error " << error.code;
  device.reset();
  ::DeleteFileW(path.c_str());
}

}  // namespace
}  // namespace serial
