// The three texts the open button reads (port name, baud rate, data format), as they come
// out of the controls, applied to a port the way the open button applies them, several
// openings in a row. The baud text is matched whole and exactly against the table or gives
// 9600; each of the first three format characters sets its one value or keeps the earlier
// opening's; an empty format is refused; the device is configured with exactly that; and the
// name maps onto a path that stays where the name says.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include <QString>

#include "app/logic/port_choice.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/fuzz_input.h"
#include "serial/custom_comm.h"
#include "serial/platform/fake/fake_platform.h"
#include "serial/platform/posix/device_name.h"

namespace {

using namespace serial;

// The rates the baud box knows; 0 in `member` stands for brCustom.
struct Rate {
  std::string_view text;
  TBaudRate member;
  std::uint32_t value;
};
constexpr std::array<Rate, 17> kRates = {{
    {"9600", br9600, 9600},       {"4800", br4800, 4800},       {"2400", br2400, 2400},
    {"1200", br1200, 1200},       {"600", br600, 600},          {"300", br300, 300},
    {"19200", br19200, 19200},    {"38400", br38400, 38400},    {"57600", br57600, 57600},
    {"115200", br115200, 115200}, {"230400", brCustom, 230400}, {"460800", brCustom, 460800},
    {"921600", brCustom, 921600}, {"14400", brCustom, 14400},   {"28800", brCustom, 28800},
    {"33600", brCustom, 33600},   {"76800", brCustom, 76800}}};

struct Expected {
  TBaudRate rate = br9600;
  std::uint32_t value = 9600;
  TDataBits bits = db8;
  TParity parity = paNone;
  TStopBits stop = sb1;
};

std::string ControlText(fuzz::FuzzInput& in) {
  // Often a text of the baud table, so that matches are common; else any text.
  const std::uint8_t choice = in.Byte();
  if (choice & 0x80) return std::string(kRates[choice % kRates.size()].text);
  const std::vector<std::uint8_t> bytes = in.Bytes(10);
  const QString text = QString::fromUtf8(reinterpret_cast<const char*>(bytes.data()),
                                         static_cast<qsizetype>(bytes.size()));
  return text.toStdString();
}

void ExpectBaud(const std::string& text, Expected& e) {
  e.rate = br9600;
  e.value = 9600;
  for (const Rate& r : kRates) {
    if (r.text != text) continue;
    e.rate = r.member;
    e.value = r.value;
    break;
  }
}

// The text's characters: the texts come out of the controls as valid UTF-8, so a character
// starts at every byte that is not a continuation byte (10xxxxxx).
std::vector<std::string> Characters(const std::string& text) {
  std::vector<std::string> chars;
  for (const char c : text) {
    if ((static_cast<std::uint8_t>(c) & 0xC0) != 0x80 || chars.empty()) chars.emplace_back();
    chars.back() += c;
  }
  return chars;
}

void ExpectFormat(const std::string& text, Expected& e) {
  std::vector<std::string> c = Characters(text);
  c.resize(3);
  if (c[0] == "8" || c[0] == "7") e.bits = c[0] == "8" ? db8 : db7;
  if (c[1] == "N") e.parity = paNone;
  if (c[1] == "E") e.parity = paEven;
  if (c[1] == "O") e.parity = paOdd;
  if (c[2] == "1" || c[2] == "2") e.stop = c[2] == "1" ? sb1 : sb2;
}

// What the open button does with the baud and format texts.
bool Apply(TXComm& port, const std::string& baud_text, const std::string& format_text) {
  port.SetBaudRate(br9600);
  const rtutest::BaudChoice baud = rtutest::BaudChoiceFor(baud_text);
  FUZZ_REQUIRE(baud.custom_value.has_value() == (baud.rate == brCustom));
  if (baud.custom_value) {
    port.SetBaudRate(brCustom);
    port.SetBaudValue(*baud.custom_value);
  } else {
    port.SetBaudRate(baud.rate);
  }
  const auto format = rtutest::DataFormatChoiceFor(QString::fromStdString(format_text).toStdU32String());
  FUZZ_REQUIRE(format.has_value() == !format_text.empty());
  if (!format) return false;
  if (format->data_bits) port.DataControl().SetDataBits(*format->data_bits);
  if (format->parity) port.DataControl().SetParity(*format->parity);
  if (format->stop_bits) port.DataControl().SetStopBits(*format->stop_bits);
  return true;
}

void CheckPort(TXComm& port, const Expected& e) {
  FUZZ_REQUIRE(port.BaudRate() == e.rate);
  FUZZ_REQUIRE(port.BaudValue() == e.value);
  FUZZ_REQUIRE(port.DataControl().DataBits() == e.bits);
  FUZZ_REQUIRE(port.DataControl().Parity() == e.parity);
  FUZZ_REQUIRE(port.DataControl().StopBits() == e.stop);
}

// A name with a NUL byte is cut short where the system reads the path; see
// docs/reliability.md (open defects). The other names are checked here.
void CheckDevicePath(const std::string& name) {
  const auto result = platform::posix::DevicePath("\\\\.\\" + name);
  const auto* path = std::get_if<std::string>(&result);
  if (path == nullptr || name.find('\0') != std::string::npos) return;
  FUZZ_REQUIRE(!path->empty() && path->front() == '/');
  FUZZ_REQUIRE(path->find("/../") == std::string::npos && !path->ends_with("/.."));
  if (name.front() == '/') FUZZ_REQUIRE(*path == name);
  if (name.front() != '/' && !path->starts_with("/dev/ttyS")) FUZZ_REQUIRE(*path == "/dev/" + name);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::FuzzInput in(data, size);
  auto platform = std::make_shared<platform::fake::FakePlatform>();
  TXComm port(platform);
  Expected expected;
  for (int opening = 0; opening < 8 && !in.Empty(); ++opening) {
    const std::string name = ControlText(in);
    const std::string baud_text = ControlText(in);
    const std::string format_text = ControlText(in);
    CheckDevicePath(name);
    port.SetDeviceName(name);
    ExpectBaud(baud_text, expected);
    const bool accepted = Apply(port, baud_text, format_text);
    if (accepted) ExpectFormat(format_text, expected);
    CheckPort(port, expected);
    if (!accepted) continue;
    // The device gets what the port holds.
    FUZZ_REQUIRE(port.Open());
    const platform::DCB dcb = platform->State()->Dcb();
    FUZZ_REQUIRE(dcb.BaudRate == expected.value && dcb.ByteSize == expected.bits + 4);
    FUZZ_REQUIRE(dcb.Parity == expected.parity && dcb.StopBits == expected.stop);
    CheckPort(port, expected);
    port.Close();
  }
  return 0;
}
