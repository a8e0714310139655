// Address conversion, the open button's choices, status and failure texts, log lines,
// the list of present serial devices, and why an opening failed.
#include <grp.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>

#include "app/logic/log_lines.h"
#include "app/logic/open_failure.h"
#include "app/logic/port_choice.h"
#include "app/logic/serial_ports.h"
#include "app/logic/slave_address.h"
#include "app/logic/window_texts.h"
#include "modbus/requests.h"

namespace rtutest {
namespace {

TEST(SlaveAddressFromText, AcceptedTexts) {
  struct Case {
    std::string text;
    std::int32_t value;
  };
  const Case cases[] = {
      {"2", 2}, {" 2", 2}, {"   2", 2}, {"$0A", 10}, {"0x0a", 10}, {"-1", -1},
      {"300", 300}, {"+7", 7}, {"007", 7}, {"0", 0}, {"-0", 0},
      {"xFF", 255}, {"XfF", 255}, {"0X10", 16}, {" $10", 16},
      {"2147483647", std::numeric_limits<std::int32_t>::max()},
      {"-2147483648", std::numeric_limits<std::int32_t>::min()},
      {"$FFFFFFFF", -1}, {"0xffffffff", -1}, {"$80000000", std::numeric_limits<std::int32_t>::min()},
      {"$000000001", 1}, {"00000000000000000002", 2},
  };
  for (const Case& c : cases) {
    const auto value = SlaveAddressFromText(c.text);
    ASSERT_TRUE(value.has_value()) << '"' << c.text << '"';
    EXPECT_EQ(*value, c.value) << '"' << c.text << '"';
  }
}

TEST(SlaveAddressFromText, RefusedTexts) {
  const std::string cases[] = {
      "", " ", "2 ", "1.5", "abc", "$", "0x", "0X", "x", "X", "-", "+", "--1", "+-1",
      "-$10", "+0x10", "- 1", "\t2", "2\n", "0x1g", "$G", "1e3", "2147483648",
      "-2147483649", "99999999999999999999", "$100000000", "0x123456789",
      std::string("2\0", 2), "\xEF\xBC\x92",  // full-width digit two
  };
  for (const std::string& text : cases) {
    EXPECT_FALSE(SlaveAddressFromText(text).has_value()) << '"' << text << '"';
  }
}

TEST(BaudChoiceFor, TableAndUnmatchedTexts) {
  using serial::brCustom;
  struct Case {
    std::string text;
    BaudChoice choice;
  };
  const Case cases[] = {
      {"300", {serial::br300, {}}}, {"600", {serial::br600, {}}}, {"1200", {serial::br1200, {}}},
      {"2400", {serial::br2400, {}}}, {"4800", {serial::br4800, {}}},
      {"9600", {serial::br9600, {}}}, {"19200", {serial::br19200, {}}},
      {"38400", {serial::br38400, {}}}, {"57600", {serial::br57600, {}}},
      {"115200", {serial::br115200, {}}},
      {"14400", {brCustom, 14400}}, {"28800", {brCustom, 28800}}, {"33600", {brCustom, 33600}},
      {"76800", {brCustom, 76800}}, {"230400", {brCustom, 230400}},
      {"460800", {brCustom, 460800}}, {"921600", {brCustom, 921600}},
      // No match: the 9600 of the step before the table.
      {"56000", {serial::br9600, {}}}, {" 4800", {serial::br9600, {}}},
      {"4800 ", {serial::br9600, {}}}, {"110", {serial::br9600, {}}},
      {"", {serial::br9600, {}}}, {"abc", {serial::br9600, {}}},
  };
  for (const Case& c : cases) EXPECT_EQ(BaudChoiceFor(c.text), c.choice) << '"' << c.text << '"';
}

TEST(DataFormatChoiceFor, CharacterByCharacter) {
  using serial::db7;
  using serial::db8;
  struct Case {
    std::string text;
    DataFormatChoice choice;
  };
  const Case cases[] = {
      {"8N1", {db8, serial::paNone, serial::sb1}},
      {"7O2", {db7, serial::paOdd, serial::sb2}},
      {"8E1", {db8, serial::paEven, serial::sb1}},
      {"8e1", {db8, {}, serial::sb1}},  // lower case keeps the earlier parity
      {"8", {db8, {}, {}}},
      {"7E", {db7, serial::paEven, {}}},
      {"8N1 extra", {db8, serial::paNone, serial::sb1}},
      {"9M3", {{}, {}, {}}},
      {"N81", {{}, {}, serial::sb1}},
      {"\uFF18", {{}, {}, {}}},  // full-width: one character, three bytes
      {"\uFF18N1", {{}, serial::paNone, serial::sb1}},
      {"8\uFF2F2", {db8, {}, serial::sb2}},
      {"\U0001D7D6E2", {{}, serial::paEven, serial::sb2}},  // beyond the basic plane
  };
  for (const Case& c : cases) {
    const auto choice = DataFormatChoiceFor(QString::fromStdString(c.text).toStdU32String());
    ASSERT_TRUE(choice.has_value()) << c.text;
    EXPECT_EQ(*choice, c.choice) << '"' << c.text << '"';
  }
  EXPECT_FALSE(DataFormatChoiceFor(U"").has_value());
}

TEST(WindowTexts, OpenStatus) {
  EXPECT_EQ(OpenSuccessText("COM1", "9600", "8N1"), QStringLiteral("COM1打开成功,BaudRate=9600,参数=8N1"));
  EXPECT_EQ(OpenSuccessText("/dev/pts/3", " 4800", "8e1"),
            QStringLiteral("/dev/pts/3打开成功,BaudRate= 4800,参数=8e1"));
  EXPECT_EQ(OpenFailureText("COM3"), QStringLiteral("COM3打开失败"));
}

TEST(WindowTexts, FailureBoxFullStopRule) {
  struct Case {
    QString message;
    QString shown;
  };
  const Case cases[] = {
      {"Device not opened.", "Device not opened."},
      {"Unable to read from port. (Win32 error 5: Input/output error)",
       "Unable to read from port. (Win32 error 5: Input/output error)"},
      {"Device locked", "Device locked."},
      {"code 7", "code 7."},
      {"a/", "a/."},          // '/' sorts after '.'
      {"a-", "a-"},           // '-' sorts before it
      {"a,", "a,"},
      {"a!", "a!"},
      {QStringLiteral("打开失败"), QStringLiteral("打开失败.")},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(FailureBoxText(c.message), c.shown) << c.message.toStdString();
}

TEST(LogLines, ExactTexts) {
  const QString stamp = QStringLiteral("2024/3/5 14:07:09");
  EXPECT_EQ(SentLine(stamp, modbus::ReadAllRequest(1)),
            QStringLiteral("2024/3/5 14:07:09 发送：01 03 00 00 00 18 45 C0 "));
  const modbus::ByteString block = {0x0D, 0x0A, 0x41};
  EXPECT_EQ(ReceivedLine(stamp, block), QStringLiteral("2024/3/5 14:07:09 接收：0D 0A 41 "));
  EXPECT_EQ(CheckFailureLine(), QStringLiteral("CRC校验失败！"));
  EXPECT_EQ(SendFailureLine(), QStringLiteral("发送失败！"));
  EXPECT_EQ(AnalogLine(3, "-0.500"), QStringLiteral("AI3=-0.500"));
  EXPECT_EQ(AnalogLine(0, "  INF"), QStringLiteral("AI0=  INF"));
  EXPECT_EQ(DigitalInputLine(1, 0x01), QStringLiteral("DI1=01 "));
  EXPECT_EQ(DigitalOutputLine(4, 0xAB), QStringLiteral("DO4=AB "));
}

TEST(LogLines, BlankBlocksAreLeftOutButNeverAFrame) {
  using B = modbus::ByteString;
  EXPECT_FALSE(IsLoggedBlock(B{}));
  EXPECT_FALSE(IsLoggedBlock(B{0x00}));
  EXPECT_FALSE(IsLoggedBlock(B{0x0D, 0x0A}));
  EXPECT_FALSE(IsLoggedBlock(B{0x20, 0x00, 0x1F}));
  EXPECT_FALSE(IsLoggedBlock(B(40, 0x00)));
  EXPECT_TRUE(IsLoggedBlock(B{0x21}));
  EXPECT_TRUE(IsLoggedBlock(B{0x00, 0x80, 0x00}));
  EXPECT_TRUE(IsLoggedBlock(B{0xFF}));
  EXPECT_TRUE(IsLoggedBlock(B{0x01, 0x10, 0x00, 0x15, 0x00, 0x01, 0x10, 0x0D}));  // relay 2, slave 1
  EXPECT_FALSE(IsLoggedBlock(B{0x01, 0x10, 0x00, 0x15, 0x00, 0x01, 0x10, 0x0C}));  // one bit off
}

class SerialDeviceNamesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = std::filesystem::temp_directory_path() /
            ("rtutest_dev_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "_" + std::to_string(reinterpret_cast<std::uintptr_t>(this)));
    std::filesystem::create_directories(root_);
  }
  void TearDown() override { std::filesystem::remove_all(root_); }
  void Touch(const std::filesystem::path& p) {
    std::filesystem::create_directories(p.parent_path());
    std::ofstream(p).put('x');
  }
  std::filesystem::path root_;
};

// "name|description" for each port, in order.
QStringList Listed(const QList<SerialPortInfo>& ports) {
  QStringList lines;
  for (const SerialPortInfo& port : ports) lines << port.name + "|" + port.description;
  return lines;
}

TEST_F(SerialDeviceNamesTest, WithoutSysfsEveryNodeInGroupsAndNumberOrder) {
  for (const char* n : {"ttyS10", "ttyS2", "ttyUSB0", "ttyACM1", "tty0", "null", "ttyprintk"}) {
    Touch(root_ / n);
  }
  Touch(root_ / "serial" / "by-id" / "usb-FTDI_adapter-if00-port0");
  const QString r = QString::fromStdString(root_.string());
  const QStringList expected = {r + "/serial/by-id/usb-FTDI_adapter-if00-port0|", r + "/ttyUSB0|",
                                r + "/ttyACM1|", r + "/ttyS2|", r + "/ttyS10|"};
  EXPECT_EQ(Listed(SerialPortsUnder(root_, root_ / "no-sysfs")), expected);
}

// The device tree of the bench's guest: two UARTs, two serial-core ports with none behind
// them, an FTDI adapter, a cdc-acm port and the gadget's own end, plus a platform UART.
TEST_F(SerialDeviceNamesTest, SysfsLeavesOutPortsWithNoUartAndDescribesUsbPorts) {
  const std::filesystem::path dev = root_ / "dev", sys = root_ / "sys";
  const auto port = [&](const std::string& name, const std::string& device, const char* type) {
    Touch(dev / name);
    std::filesystem::create_directories(sys / "devices" / device);
    std::filesystem::create_directories(sys / "class" / "tty" / name);
    if (!device.empty()) {
      std::filesystem::create_directory_symlink(sys / "devices" / device, sys / "class" / "tty" / name / "device");
    }
    if (type) std::ofstream(sys / "class" / "tty" / name / "type") << type << "\n";
  };
  const auto usb = [&](const std::string& device, std::initializer_list<const char*> strings) {
    std::ofstream(sys / "devices" / device / "idVendor") << "0525\n";
    const char* fields[] = {"manufacturer", "product", "serial"};
    int i = 0;
    for (const char* s : strings) std::ofstream(sys / "devices" / device / fields[i++]) << s << "\n";
  };
  port("ttyS0", "pnp0/00:04", "4");
  port("ttyS1", "pnp0/00:03", "4");
  port("ttyS2", "platform/serial8250", "0");
  port("ttyS10", "platform/serial8250", "0");
  port("ttyAMA0", "platform/9000000.pl011", "83");
  port("ttyUSB0", "pci/usb1/1-1/1-1:1.0/ttyUSB0", nullptr);
  usb("pci/usb1/1-1", {"QEMU", "QEMU USB SERIAL"});
  port("ttyACM0", "platform/dummy_hcd.0/usb3/3-1/3-1:2.0", nullptr);
  usb("platform/dummy_hcd.0/usb3/3-1", {"Bench", "ACM-line", "BENCH0001"});
  port("ttyGS0", "", nullptr);
  port("tty0", "", nullptr);
  std::filesystem::create_directories(sys / "class" / "tty" / "ttyS5");  // no node in dev
  std::filesystem::create_directories(dev / "serial" / "by-id");
  std::filesystem::create_symlink("../../ttyACM0", dev / "serial" / "by-id" / "usb-Bench_ACM-line_BENCH0001-if00");
  std::filesystem::create_symlink("../../ttyUSB9", dev / "serial" / "by-id" / "usb-gone-if00-port0");

  const QString d = QString::fromStdString(dev.string());
  const QStringList expected = {d + "/serial/by-id/usb-Bench_ACM-line_BENCH0001-if00|Bench ACM-line BENCH0001",
                                d + "/ttyUSB0|QEMU QEMU USB SERIAL",
                                d + "/ttyACM0|Bench ACM-line BENCH0001",
                                d + "/ttyS0|",
                                d + "/ttyS1|",
                                d + "/ttyAMA0|"};
  EXPECT_EQ(Listed(SerialPortsUnder(dev, sys)), expected);
  EXPECT_TRUE(IsPortWithoutUart(dev / "ttyS2", sys));
  EXPECT_FALSE(IsPortWithoutUart(dev / "ttyS0", sys));
  EXPECT_FALSE(IsPortWithoutUart(dev / "ttyACM0", sys));
  EXPECT_FALSE(IsPortWithoutUart(dev / "absent", sys));
}

TEST_F(SerialDeviceNamesTest, MissingFoldersGiveNothing) {
  EXPECT_TRUE(SerialPortsUnder(root_, root_ / "no-sysfs").isEmpty());
  EXPECT_TRUE(SerialPortsUnder(root_ / "absent", root_ / "no-sysfs").isEmpty());
  EXPECT_TRUE(SerialDeviceNames(root_ / "absent").isEmpty());
}

TEST_F(SerialDeviceNamesTest, OwnerGroupOfAFile) {
  Touch(root_ / "ttyUSB0");
  const group* mine = ::getgrgid(::getegid());  // a new file takes the creator's group
  ASSERT_NE(mine, nullptr);
  EXPECT_EQ(OwnerGroup(root_ / "ttyUSB0"), QString::fromLocal8Bit(mine->gr_name));
  EXPECT_EQ(OwnerGroup(root_ / "absent"), QString());
}

struct ReasonCase {
  OpenStep step;
  int error;
  QStringList parts;  // each must appear in the reason
  bool no_uart = false;
};

class OpenFailureReasonTest : public ::testing::TestWithParam<ReasonCase> {};

TEST_P(OpenFailureReasonTest, NamesTheCauseWithTheSystemsText) {
  const ReasonCase& c = GetParam();
  const OpenFailure failure{c.step, c.error, QString::fromLocal8Bit(std::strerror(c.error)), "/dev/ttyUSB0",
                            "dialout", {"/dev/ttyS0", "/dev/ttyACM0"}, "76800", "7O2", ErrorCodes::Errno,
                            c.no_uart};
  const QString reason = OpenFailureReason(failure);
  for (const QString& part : c.parts) EXPECT_TRUE(reason.contains(part)) << reason.toStdString();
  EXPECT_TRUE(reason.contains(QStringLiteral("（系统错误 %1：%2）").arg(c.error).arg(failure.system_text)))
      << reason.toStdString();
  EXPECT_FALSE(reason.contains(u'\n'));
}

INSTANTIATE_TEST_SUITE_P(
    EachCause, OpenFailureReasonTest,
    ::testing::Values(
        ReasonCase{OpenStep::Open, ENOENT, {"没有这个设备：/dev/ttyUSB0", "/dev/ttyS0、/dev/ttyACM0"}},
        ReasonCase{OpenStep::Open, EACCES,
                   {"没有权限打开 /dev/ttyUSB0", "用户组 dialout", "sudo usermod -aG dialout $USER", "重新登录"}},
        ReasonCase{OpenStep::Open, EBUSY, {"/dev/ttyUSB0 正被其他程序使用"}},
        ReasonCase{OpenStep::Open, ENOTTY, {"/dev/ttyUSB0 不是串口设备", "/dev/ttyS0"}},
        ReasonCase{OpenStep::Open, EIO, {"无法打开 /dev/ttyUSB0"}},
        ReasonCase{OpenStep::Open, EIO, {"/dev/ttyUSB0 这个端口没有 UART", "没有串口芯片", "/dev/ttyS0、/dev/ttyACM0"}, true},
        ReasonCase{OpenStep::ControlBlock, EINVAL, {"不接受所设的波特率 76800 或数据格式 7O2"}},
        ReasonCase{OpenStep::Queues, EINVAL, {"收发缓冲区大小"}},
        ReasonCase{OpenStep::Timeouts, EINVAL, {"超时时间"}}));

// A refusal on Windows carries Windows codes: 5 is a port held by another program there,
// not EIO, and no code gets the Linux group advice.
TEST(OpenFailureReason, WindowsCodesTakeTheWindowsTable) {
  OpenFailure f{OpenStep::Open, 5, QStringLiteral("拒绝访问"), "COM3", {}, {"COM1"}, {}, {},
                ErrorCodes::Windows};
  EXPECT_EQ(OpenFailureReason(f), QStringLiteral("COM3 正被其他程序使用（系统错误 5：拒绝访问）。请先关闭占用该串口的程序。"));
  for (int code : {1, 13}) {
    f.error = code;
    EXPECT_FALSE(OpenFailureReason(f).contains(QStringLiteral("usermod"))) << code;
  }
}

TEST(OpenFailureReason, WithoutDevicesGroupOrCode) {
  OpenFailure f{OpenStep::Open, ENOENT, "No such file or directory", "COM3", {}, {}, {}, {}};
  EXPECT_TRUE(OpenFailureReason(f).endsWith(QStringLiteral("本机没有找到串口设备。")));
  f.error = EACCES;
  EXPECT_TRUE(OpenFailureReason(f).contains(QStringLiteral("sudo usermod -aG <用户组> $USER")));
  f.error = 0;
  EXPECT_TRUE(OpenFailureReason(f).contains(QStringLiteral("系统未给出错误代码")));
  f.step = OpenStep::EmptyFormat;
  EXPECT_EQ(OpenFailureReason(f), QStringLiteral("没有填写数据格式，未打开 COM3。"));
}

}  // namespace
}  // namespace rtutest
