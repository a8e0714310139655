#include "serial/platform/posix/termios_mapping.h"

#include <asm/termbits.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

namespace serial::platform::posix {
namespace {

static_assert(NCCS == std::tuple_size_v<decltype(TermiosImage::c_cc)>);

struct StandardRate {
  std::uint32_t rate;
  std::uint32_t code;
};

// Rates with a code of their own; every other rate travels as BOTHER with the value.
constexpr StandardRate kStandardRates[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

std::uint32_t RateCode(std::uint32_t rate) {
  for (const auto& r : kStandardRates) {
    if (r.rate == rate) return r.code;
  }
  return BOTHER;
}

void Set(std::uint32_t& flags, std::uint32_t bits, bool on) {
  flags = on ? (flags | bits) : (flags & ~bits);
}

bool CtsRtsHandshake(const DCB& dcb) {
  return dcb.fOutxCtsFlow || dcb.fRtsControl == RTS_CONTROL_HANDSHAKE;
}

void StoreFrame(const DCB& dcb, TermiosImage& image) {
  static constexpr std::uint32_t kSize[] = {CS5, CS6, CS7, CS8};
  image.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB);
  image.c_cflag |= kSize[dcb.ByteSize - 5];
  switch (dcb.Parity) {
    case ODDPARITY: image.c_cflag |= PARENB | PARODD; break;
    case EVENPARITY: image.c_cflag |= PARENB; break;
    case MARKPARITY: image.c_cflag |= PARENB | CMSPAR | PARODD; break;
    case SPACEPARITY: image.c_cflag |= PARENB | CMSPAR; break;
    default: break;
  }
  // With 5 data bits the UART sends 1.5 stop bits for CSTOPB.
  if (dcb.StopBits != ONESTOPBIT) image.c_cflag |= CSTOPB;
}

std::uint8_t ParityOf(std::uint32_t cflag) {
  if (!(cflag & PARENB)) return NOPARITY;
  if (cflag & CMSPAR) return (cflag & PARODD) ? MARKPARITY : SPACEPARITY;
  return (cflag & PARODD) ? ODDPARITY : EVENPARITY;
}

std::uint8_t ByteSizeOf(std::uint32_t cflag) {
  switch (cflag & CSIZE) {
    case CS5: return 5;
    case CS6: return 6;
    case CS7: return 7;
    default: return 8;
  }
}

// CRTSCTS is one flag for two fields. A block that agrees with the device keeps its own
// split; otherwise the device's flag decides both.
void LoadHandshake(bool crtscts, DCB& dcb) {
  if (crtscts == CtsRtsHandshake(dcb)) return;
  dcb.fOutxCtsFlow = crtscts;
  if (crtscts) {
    dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
  } else if (dcb.fRtsControl == RTS_CONTROL_HANDSHAKE) {
    dcb.fRtsControl = RTS_CONTROL_ENABLE;  // RTS stays raised once the handshake is off
  }
}

}  // namespace

std::uint32_t RateOf(const TermiosImage& image) {
  const std::uint32_t code = image.c_cflag & CBAUD;
  if (code != BOTHER) {
    for (const auto& r : kStandardRates) {
      if (r.code == code) return r.rate;
    }
  }
  return image.c_ospeed;
}

void StoreRate(std::uint32_t rate, TermiosImage& image) {
  image.c_cflag &= ~(CBAUD | CIBAUD);  // input rate 0: the same as the output rate
  image.c_cflag |= RateCode(rate);
  image.c_ispeed = rate;
  image.c_ospeed = rate;
}

int CheckDcb(const DCB& dcb) {
  const bool bad_rate = dcb.BaudRate == 0;
  const bool bad_size = dcb.ByteSize < 5 || dcb.ByteSize > 8;
  const bool bad_parity = dcb.Parity > SPACEPARITY;
  const bool bad_stop = dcb.StopBits > TWOSTOPBITS ||
                        (dcb.StopBits == ONE5STOPBITS && dcb.ByteSize != 5) ||
                        (dcb.StopBits == TWOSTOPBITS && dcb.ByteSize == 5);
  const bool bad_chars = (dcb.fOutX || dcb.fInX) && dcb.XonChar == dcb.XoffChar;
  return (bad_rate || bad_size || bad_parity || bad_stop || bad_chars) ? EINVAL : 0;
}

void MakeRaw(TermiosImage& image) {
  // Nothing the device had may change or stop the data: no XON/XOFF, no parity check or
  // marking, no RTS/CTS, no translation, no line editing. The block sets what it asks.
  // A break is not data (the tty layer would give a 00 byte): the driver's counters
  // report it.
  image.c_iflag = IGNBRK;
  image.c_oflag = 0;
  image.c_lflag = 0;
  image.c_cflag &= ~(HUPCL | CRTSCTS);
  image.c_cflag |= CLOCAL | CREAD;
  image.c_cc[VMIN] = 1;
  image.c_cc[VTIME] = 0;
}

void StoreDcb(const DCB& dcb, TermiosImage& image) {
  MakeRaw(image);
  StoreRate(dcb.BaudRate, image);
  StoreFrame(dcb, image);
  // With the parity check on, bytes with errors come marked (FF 00 X; FF data as FF FF)
  // instead of as 00, so that the backend can deliver them as received.
  Set(image.c_iflag, INPCK | PARMRK, dcb.fParity);
  Set(image.c_iflag, IXON, dcb.fOutX);
  Set(image.c_iflag, IXOFF, dcb.fInX);
  Set(image.c_cflag, CRTSCTS, CtsRtsHandshake(dcb));
  image.c_cc[VSTART] = dcb.XonChar;
  image.c_cc[VSTOP] = dcb.XoffChar;
}

void LoadDcb(const TermiosImage& image, DCB& dcb) {
  dcb.BaudRate = RateOf(image);
  dcb.ByteSize = ByteSizeOf(image.c_cflag);
  dcb.Parity = ParityOf(image.c_cflag);
  const bool cstopb = (image.c_cflag & CSTOPB) != 0;
  dcb.StopBits = !cstopb ? ONESTOPBIT : (dcb.ByteSize == 5 ? ONE5STOPBITS : TWOSTOPBITS);
  dcb.fParity = (image.c_iflag & INPCK) != 0;
  dcb.fOutX = (image.c_iflag & IXON) != 0;
  dcb.fInX = (image.c_iflag & IXOFF) != 0;
  LoadHandshake((image.c_cflag & CRTSCTS) != 0, dcb);
  dcb.XonChar = image.c_cc[VSTART];
  dcb.XoffChar = image.c_cc[VSTOP];
}

bool MarksInput(const TermiosImage& image) { return (image.c_iflag & PARMRK) != 0; }

std::chrono::microseconds CharacterTime(const TermiosImage& image) {
  const std::uint32_t cflag = image.c_cflag;
  const std::uint32_t bits = 1 + ByteSizeOf(cflag) + ((cflag & PARENB) ? 1 : 0) +
                             ((cflag & CSTOPB) ? 2 : 1);
  const std::uint32_t rate = std::max<std::uint32_t>(RateOf(image), 1);
  return std::chrono::microseconds((std::uint64_t{bits} * 1'000'000 + rate - 1) / rate);
}

int CheckTaken(const TermiosImage& asked, const TermiosImage& taken) {
  // A UART divides its clock: the rate it runs at is within about 1 % of the one asked.
  const std::int64_t want = RateOf(asked);
  const std::int64_t got = RateOf(taken);
  const bool rate_off = std::llabs(got - want) * 100 > want;
  constexpr std::uint32_t kFormat = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS;
  const bool format_off = (asked.c_cflag & kFormat) != (taken.c_cflag & kFormat);
  return rate_off || format_off ? EINVAL : 0;
}

}  // namespace serial::platform::posix
