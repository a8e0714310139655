// The mapping needs no device: every field termios holds is checked on the records alone.
#include "serial/platform/posix/termios_mapping.h"
#include "serial/platform/posix/line_drain.h"
#include "serial/platform/posix/uart_divisor.h"

#include <asm/termbits.h>
#include <gtest/gtest.h>
#include <linux/serial.h>

#include <cerrno>
#include <optional>

namespace serial::platform::posix {
namespace {

DCB Block8N1(std::uint32_t rate = 9600) {
  return DCB{.DCBlength = kDcbLength, .BaudRate = rate, .fBinary = 1, .ByteSize = 8,
             .XonChar = 0x11, .XoffChar = 0x13, .EvtChar = 0x0A};
}

// What a terminal looks like before it was made raw.
TermiosImage Cooked() {
  TermiosImage image;
  image.c_iflag = ICRNL | IXON | BRKINT | IMAXBEL | ISTRIP;
  image.c_oflag = OPOST | ONLCR;
  image.c_cflag = B38400 | CS8 | CREAD | HUPCL;
  image.c_lflag = ICANON | ECHO | ECHOE | ISIG | IEXTEN;
  image.c_ispeed = image.c_ospeed = 38400;
  return image;
}

TermiosImage Stored(const DCB& dcb) {
  TermiosImage image = Cooked();
  StoreDcb(dcb, image);
  return image;
}

TEST(TermiosMapping, RatesUseTheirCodeOrBother) {
  struct Case {
    std::uint32_t rate;
    std::uint32_t code;
  };
  const Case cases[] = {{110, B110},          {9600, B9600},   {14400, BOTHER},
                        {28800, BOTHER},      {33600, BOTHER}, {56000, BOTHER},
                        {57600, B57600},      {76800, BOTHER}, {128000, BOTHER},
                        {230400, B230400},    {250000, BOTHER}, {256000, BOTHER},
                        {921600, B921600},    {1000000, B1000000}};
  for (const Case& c : cases) {
    const TermiosImage image = Stored(Block8N1(c.rate));
    EXPECT_EQ(image.c_cflag & CBAUD, c.code) << c.rate;
    EXPECT_EQ(image.c_cflag & CIBAUD, 0u) << "input rate follows the output rate";
    EXPECT_EQ(image.c_ospeed, c.rate);
    EXPECT_EQ(image.c_ispeed, c.rate);
  }
}

TEST(TermiosMapping, FrameBits) {
  struct Case {
    std::uint8_t size, parity, stop;
    std::uint32_t cflag;  // of CSIZE | PARENB | PARODD | CMSPAR | CSTOPB
  };
  const Case cases[] = {
      {8, NOPARITY, ONESTOPBIT, CS8},
      {7, EVENPARITY, ONESTOPBIT, CS7 | PARENB},
      {7, ODDPARITY, TWOSTOPBITS, CS7 | PARENB | PARODD | CSTOPB},
      {6, MARKPARITY, ONESTOPBIT, CS6 | PARENB | PARODD | CMSPAR},
      {8, SPACEPARITY, TWOSTOPBITS, CS8 | PARENB | CMSPAR | CSTOPB},
      {5, NOPARITY, ONE5STOPBITS, CS5 | CSTOPB},
  };
  for (const Case& c : cases) {
    DCB dcb = Block8N1();
    dcb.ByteSize = c.size;
    dcb.Parity = c.parity;
    dcb.StopBits = c.stop;
    ASSERT_EQ(CheckDcb(dcb), 0);
    const std::uint32_t frame = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB;
    EXPECT_EQ(Stored(dcb).c_cflag & frame, c.cflag) << int(c.size) << int(c.parity);
  }
}

TEST(TermiosMapping, FlowControlAndCheckFlags) {
  struct Case {
    const char* what;
    void (*set)(DCB&);
    std::uint32_t iflag;  // of INPCK | IXON | IXOFF
    bool crtscts;
  };
  const Case cases[] = {
      {"none", [](DCB&) {}, 0, false},
      {"parity check", [](DCB& d) { d.fParity = 1; }, INPCK, false},
      {"xon/xoff out", [](DCB& d) { d.fOutX = 1; }, IXON, false},
      {"xon/xoff in", [](DCB& d) { d.fInX = 1; }, IXOFF, false},
      {"cts out", [](DCB& d) { d.fOutxCtsFlow = 1; }, 0, true},
      {"rts handshake", [](DCB& d) { d.fRtsControl = RTS_CONTROL_HANDSHAKE; }, 0, true},
      {"rts enabled", [](DCB& d) { d.fRtsControl = RTS_CONTROL_ENABLE; }, 0, false},
      {"dtr/dsr kept only", [](DCB& d) { d.fOutxDsrFlow = 1; d.fDtrControl = 2; }, 0, false},
  };
  for (const Case& c : cases) {
    DCB dcb = Block8N1();
    c.set(dcb);
    const TermiosImage image = Stored(dcb);
    EXPECT_EQ(image.c_iflag & (INPCK | IXON | IXOFF), c.iflag) << c.what;
    EXPECT_EQ((image.c_iflag & PARMRK) != 0, (c.iflag & INPCK) != 0) << c.what;
    EXPECT_EQ((image.c_cflag & CRTSCTS) != 0, c.crtscts) << c.what;
  }
}

TEST(TermiosMapping, RawModeWithoutHangUpOnClose) {
  DCB dcb = Block8N1();
  dcb.XonChar = 0x01;
  dcb.XoffChar = 0x02;
  const TermiosImage image = Stored(dcb);
  EXPECT_EQ(image.c_iflag & (ICRNL | ISTRIP | BRKINT | IMAXBEL | IXON), 0u);
  EXPECT_EQ(image.c_oflag & OPOST, 0u);
  EXPECT_EQ(image.c_lflag & (ICANON | ECHO | ECHOE | ISIG | IEXTEN), 0u);
  EXPECT_EQ(image.c_cflag & (CLOCAL | CREAD | HUPCL), CLOCAL | CREAD);
  EXPECT_EQ(image.c_cc[VMIN], 1);
  EXPECT_EQ(image.c_cc[VTIME], 0);
  EXPECT_EQ(image.c_cc[VSTART], 0x01);
  EXPECT_EQ(image.c_cc[VSTOP], 0x02);
}

// Whatever another program left on the terminal, nothing may change or stop the data
// once it is open; the rate and frame stay until the first block is set.
TEST(TermiosMapping, RawModeClearsEveryFlagThatChangesData) {
  TermiosImage image = Cooked();
  image.c_iflag = ~0u;
  image.c_oflag = ~0u;
  image.c_lflag = ~0u;
  image.c_cflag = B38400 | CS7 | PARENB | CSTOPB | CRTSCTS | HUPCL;
  MakeRaw(image);
  EXPECT_EQ(image.c_iflag, IGNBRK) << "only breaks are kept out of the data";
  EXPECT_EQ(image.c_oflag, 0u);
  EXPECT_EQ(image.c_lflag, 0u);
  EXPECT_EQ(image.c_cflag, B38400 | CS7 | PARENB | CSTOPB | CLOCAL | CREAD);
}

// What the driver reads back after setting the line: anything but the frame asked, or a
// rate further off than a UART's divisor gives, is a block it did not take.
TEST(TermiosMapping, TakenOnlyWhenTheDriverRunsWhatWasAsked) {
  struct Case {
    const char* what;
    void (*driver)(TermiosImage&);
    int error;
  };
  const Case cases[] = {
      {"as asked", [](TermiosImage&) {}, 0},
      {"rate 0.9 % off", [](TermiosImage& t) { t.c_ospeed = 250000 - 2250; }, 0},
      {"rate 2 % off", [](TermiosImage& t) { t.c_ospeed = 245000; }, EINVAL},
      {"fell back to 9600", [](TermiosImage& t) { t.c_cflag = (t.c_cflag & ~CBAUD) | B9600; },
       EINVAL},
      {"8 bits kept for 6", [](TermiosImage& t) { t.c_cflag |= CS8; }, EINVAL},
      {"odd for mark", [](TermiosImage& t) { t.c_cflag &= ~CMSPAR; }, EINVAL},
      {"1 stop bit for 2", [](TermiosImage& t) { t.c_cflag &= ~CSTOPB; }, EINVAL},
      {"no RTS/CTS", [](TermiosImage& t) { t.c_cflag &= ~CRTSCTS; }, EINVAL},
      {"local and receiver flags", [](TermiosImage& t) { t.c_cflag ^= HUPCL; }, 0},
  };
  DCB dcb = Block8N1(250000);
  dcb.ByteSize = 6;
  dcb.Parity = MARKPARITY;
  dcb.StopBits = TWOSTOPBITS;
  dcb.fOutxCtsFlow = 1;
  const TermiosImage asked = Stored(dcb);
  for (const Case& c : cases) {
    TermiosImage taken = asked;
    c.driver(taken);
    EXPECT_EQ(CheckTaken(asked, taken), c.error) << c.what;
  }
}

// A 16550 on a PC's 1.8432 MHz clock (base 115200) runs the nearest whole divisor; what is
// not known to divide that way is left to the terminal's own reading.
TEST(TermiosMapping, RateA16550DivisorRuns) {
  const UartClock pc{PORT_16550A, 115200, 0};
  struct Case {
    UartClock clock;
    std::uint32_t asked;
    std::optional<std::uint32_t> runs;
  };
  const Case cases[] = {
      {pc, 9600, 9600},      {pc, 115200, 115200}, {pc, 56000, 57600},
      {pc, 100000, 115200},  {pc, 300000, 115200}, {pc, 1, 2},  // divisor at most 0xFFFF
      {{PORT_8250, 115200, 0}, 1200, 1200},
      {{PORT_UNKNOWN, 115200, 0}, 56000, std::nullopt},         // USB serial
      {{PORT_16550A, 115200, ASYNC_SPD_CUST}, 38400, std::nullopt},
      {{PORT_16550A, 115200, ASYNC_MAGIC_MULTIPLIER}, 230400, std::nullopt},
      {{PORT_16550A, 0, 0}, 9600, std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(DividedRate(c.clock, c.asked), c.runs) << c.asked;
}

// Closing waits for the output at most twice its line time plus a margin.
TEST(TermiosMapping, CharacterTimeAndDrainBudget) {
  struct Case {
    std::uint32_t rate;
    std::uint8_t size, parity, stop;
    std::int64_t character_us;
    std::int64_t budget_ms;  // for 53 queued bytes
  };
  const Case cases[] = {
      {9600, 8, NOPARITY, ONESTOPBIT, 1042, 211},
      {9600, 7, EVENPARITY, ONESTOPBIT, 1042, 211},
      {300, 8, EVENPARITY, TWOSTOPBITS, 40000, 4340},
      {115200, 8, NOPARITY, ONESTOPBIT, 87, 110},
  };
  for (const Case& c : cases) {
    DCB dcb = Block8N1(c.rate);
    dcb.ByteSize = c.size;
    dcb.Parity = c.parity;
    dcb.StopBits = c.stop;
    const auto character = CharacterTime(Stored(dcb));
    EXPECT_EQ(character.count(), c.character_us) << c.rate;
    EXPECT_EQ(DrainBudget(character, 53).count(), c.budget_ms) << c.rate;
  }
  EXPECT_EQ(DrainBudget(std::chrono::microseconds(1042), 0).count(), 100);
}

// The driver counts neither the UART's FIFO nor what it holds: at 1200 bit/s a 16550A shows
// 1 byte queued while 16 more are still on their way. The drain waits for all of them, and
// a queue counts as stalled only after longer than the FIFO takes.
TEST(TermiosMapping, DrainLimitsCountTheTransmitFifo) {
  const auto character = CharacterTime(Stored(Block8N1(1200)));
  const auto fifo_time = 17 * character;
  const DrainLimits sixteen = DrainLimitsFor(character, 1, 16);
  EXPECT_GT(sixteen.budget, fifo_time);
  EXPECT_GT(sixteen.stall, fifo_time);
  const DrainLimits deep = DrainLimitsFor(character, 1, 256);  // a 16950's FIFO and more
  EXPECT_GT(deep.budget, 257 * character);
  EXPECT_GT(deep.stall, 256 * character);
  // A driver that tells no FIFO gets the deepest the 8250 fills.
  EXPECT_GT(DrainLimitsFor(character, 1, 0).stall, 64 * character);
}

TEST(TermiosMapping, RefusesWhatASerialDriverRefuses) {
  struct Case {
    const char* what;
    void (*set)(DCB&);
    int error;
  };
  const Case cases[] = {
      {"8N1", [](DCB&) {}, 0},
      {"4 data bits", [](DCB& d) { d.ByteSize = 4; }, EINVAL},
      {"9 data bits", [](DCB& d) { d.ByteSize = 9; }, EINVAL},
      {"parity 5", [](DCB& d) { d.Parity = 5; }, EINVAL},
      {"stop bits 3", [](DCB& d) { d.StopBits = 3; }, EINVAL},
      {"1.5 stop with 8 bits", [](DCB& d) { d.StopBits = ONE5STOPBITS; }, EINVAL},
      {"2 stop with 5 bits", [](DCB& d) { d.ByteSize = 5; d.StopBits = TWOSTOPBITS; }, EINVAL},
      {"rate 0 would hang up", [](DCB& d) { d.BaudRate = 0; }, EINVAL},
      {"xon = xoff with flow", [](DCB& d) { d.fInX = 1; d.XoffChar = d.XonChar; }, EINVAL},
      {"xon = xoff, no flow", [](DCB& d) { d.XoffChar = d.XonChar; }, 0},
  };
  for (const Case& c : cases) {
    DCB dcb = Block8N1();
    c.set(dcb);
    EXPECT_EQ(CheckDcb(dcb), c.error) << c.what;
  }
}

// Every combination of what termios holds survives store and load, also into a block
// whose termios fields held other values before.
TEST(TermiosMapping, RoundTripOfEveryFieldTermiosHolds) {
  const std::uint32_t rates[] = {300, 9600, 14400, 76800, 115200, 460800};
  int checked = 0;
  for (std::uint32_t rate : rates) {
    for (std::uint8_t size = 5; size <= 8; ++size) {
      for (std::uint8_t parity = NOPARITY; parity <= SPACEPARITY; ++parity) {
        for (std::uint8_t stop : {ONESTOPBIT, size == 5 ? ONE5STOPBITS : TWOSTOPBITS}) {
          for (unsigned flags = 0; flags < 8; ++flags) {
            DCB dcb = Block8N1(rate);
            dcb.ByteSize = size;
            dcb.Parity = parity;
            dcb.StopBits = stop;
            dcb.fParity = flags & 1;
            dcb.fOutX = (flags >> 1) & 1;
            dcb.fInX = (flags >> 2) & 1;
            DCB loaded = Block8N1(1200);
            loaded.ByteSize = 6;
            loaded.Parity = MARKPARITY;
            loaded.XonChar = 0x55;
            loaded.fOutX = !dcb.fOutX;
            LoadDcb(Stored(dcb), loaded);
            ASSERT_EQ(loaded, dcb) << rate << " " << int(size) << int(parity) << int(stop);
            ++checked;
          }
        }
      }
    }
  }
  EXPECT_EQ(checked, 6 * 4 * 5 * 2 * 8);
}

TEST(TermiosMapping, LoadKeepsWhatTermiosCannotHold) {
  DCB set = Block8N1();
  set.XonLim = 512;
  set.XoffLim = 512;
  set.EofChar = 0x1A;
  set.ErrorChar = 0x3F;
  set.fErrorChar = 1;
  set.fNull = 1;
  set.fAbortOnError = 1;
  set.fDsrSensitivity = 1;
  set.fTXContinueOnXoff = 1;
  set.fOutxDsrFlow = 1;
  set.fDtrControl = DTR_CONTROL_HANDSHAKE;
  set.fRtsControl = RTS_CONTROL_TOGGLE;
  DCB loaded = set;
  LoadDcb(Stored(set), loaded);
  EXPECT_EQ(loaded, set);
}

TEST(TermiosMapping, HandshakeFlagDecidesWhenTheBlockDisagrees) {
  TermiosImage on = Stored(Block8N1());
  on.c_cflag |= CRTSCTS;
  DCB dcb = Block8N1();
  LoadDcb(on, dcb);
  EXPECT_EQ(dcb.fOutxCtsFlow, 1u);
  EXPECT_EQ(dcb.fRtsControl, RTS_CONTROL_HANDSHAKE);

  DCB cts_only = Block8N1();
  cts_only.fOutxCtsFlow = 1;  // agrees with the flag: its own split is kept
  LoadDcb(on, cts_only);
  EXPECT_EQ(cts_only.fRtsControl, RTS_CONTROL_DISABLE);

  LoadDcb(Stored(Block8N1()), dcb);  // flag off
  EXPECT_EQ(dcb.fOutxCtsFlow, 0u);
  EXPECT_EQ(dcb.fRtsControl, RTS_CONTROL_ENABLE);
}

TEST(TermiosMapping, LoadsAStandardCodeWithoutTheSpeedFields) {
  TermiosImage image = Stored(Block8N1());
  image.c_cflag = (image.c_cflag & ~CBAUD) | B57600;
  image.c_ispeed = image.c_ospeed = 0;
  DCB dcb = Block8N1();
  LoadDcb(image, dcb);
  EXPECT_EQ(dcb.BaudRate, 57600u);
}

}  // namespace
}  // namespace serial::platform::posix
