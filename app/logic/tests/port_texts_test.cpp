// The typed port name and the Windows reason for a refused opening: pure functions, run on
// Linux and, cross-built, under Wine.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/logic/port_name.h"
#include "app/logic/windows_open_reason.h"

namespace rtutest {
namespace {

TEST(PortName, TypedNamesBecomeTheDevicesName) {
  struct Case {
    std::u32string typed;
    std::string name;
  };
  for (const Case& c : {
           Case{U"COM3", "COM3"},
           Case{U"  COM3\t", "COM3"},
           Case{U"COM3:", "COM3"},
           Case{U"com12: ", "com12"},
           Case{U"\\\\.\\COM12", "COM12"},          // typed with the prefix: not doubled
           Case{U" \\\\.\\COM12:", "COM12"},
           Case{U"ＣＯＭ３", "COM3"},               // full-width, as an input method types it
           Case{U"\u3000ＣＯＭ１２：\u3000", "COM12"},  // ideographic blanks, full-width colon
           Case{U"/dev/ttyUSB0 ", "/dev/ttyUSB0"},
           Case{U"COM:", "COM:"},                   // no number: kept as typed
           Case{U"CNCA0:", "CNCA0:"},
           Case{U"串口1", "\xE4\xB8\xB2\xE5\x8F\xA3" "1"},  // other characters kept, in UTF-8
           Case{U"   ", ""},
       }) {
    EXPECT_EQ(PortNameFor(c.typed), c.name);
  }
}

struct WindowsCase {
  int error;
  std::vector<std::string> parts;  // each must appear in the reason
};

class WindowsOpenReasonTest : public ::testing::TestWithParam<WindowsCase> {};

TEST_P(WindowsOpenReasonTest, NamesTheCauseWithTheSystemsCodeAndText) {
  const WindowsCase& c = GetParam();
  const std::string reason = WindowsOpenReason(c.error, "系统的说明", "COM9", {"COM1", "COM3"});
  for (const std::string& part : c.parts) EXPECT_NE(reason.find(part), std::string::npos) << reason;
  EXPECT_NE(reason.find("（系统错误 " + std::to_string(c.error) + "：系统的说明）"), std::string::npos)
      << reason;
  EXPECT_EQ(reason.find("usermod"), std::string::npos) << reason;
  EXPECT_EQ(reason.find('\n'), std::string::npos) << reason;
}

INSTANTIATE_TEST_SUITE_P(
    EachCode, WindowsOpenReasonTest,
    ::testing::Values(WindowsCase{2, {"没有这个串口：COM9", "本机现有的串口：COM1、COM3。"}},
                      WindowsCase{3, {"没有这个串口：COM9", "COM1、COM3"}},
                      WindowsCase{5, {"COM9 正被其他程序使用", "请先关闭占用该串口的程序"}},
                      WindowsCase{87, {"COM9 不是有效的串口名", "COM1、COM3"}},
                      WindowsCase{123, {"COM9 不是有效的串口名"}},
                      WindowsCase{31, {"COM9 的设备不工作或已被拔出"}},
                      WindowsCase{433, {"COM9 的设备不工作或已被拔出"}},
                      WindowsCase{1167, {"COM9 的设备不工作或已被拔出", "重新打开"}},
                      WindowsCase{1, {"无法打开 COM9"}},
                      WindowsCase{13, {"无法打开 COM9"}},
                      WindowsCase{32, {"无法打开 COM9"}}));

TEST(WindowsOpenReason, WithoutPortsOrCode) {
  EXPECT_EQ(WindowsOpenReason(2, "x", "COM9", {}), "没有这个串口：COM9（系统错误 2：x）。本机没有找到串口。");
  EXPECT_EQ(WindowsOpenReason(0, "", "COM9", {}), "无法打开 COM9（系统未给出错误代码）。");
}

}  // namespace
}  // namespace rtutest
