#pragma once
// The device control block mapped onto termios and back, as pure functions of the two
// records (no device): what termios can hold goes into it; everything else the backend
// keeps as last set.
#include <chrono>

#include "serial/platform/comm_types.h"
#include "serial/platform/posix/termios_image.h"

namespace serial::platform::posix {

// 0 when the device can carry the block out, else EINVAL: rate 0 (it would hang the line
// up), data bits outside 5..8, unknown parity or stop bits, 1.5 stop bits with other than
// 5 data bits or 2 with 5 (the UART gives 1.5 there), XON equal to XOFF with XON/XOFF on.
int CheckDcb(const DCB& dcb);

// Raw mode for a serial line: every input, output and local flag off (no echo, editing,
// translation, signals, XON/XOFF or parity check) but breaks ignored as data, no RTS/CTS;
// receiver on, modem status ignored for opening, no hang-up on close. Rate and frame stay.
void MakeRaw(TermiosImage& image);

// The block applied onto image (the device's current settings): rate, data bits, parity,
// stop bits, parity check (errors then marked, PARMRK), XON/XOFF and their characters,
// RTS/CTS handshake; raw mode.
// The block must have passed CheckDcb.
void StoreDcb(const DCB& dcb, TermiosImage& image);

// What image holds, read into dcb; dcb otherwise keeps its values (those last set).
void LoadDcb(const TermiosImage& image, DCB& dcb);

// The rate the image holds, and a rate stored into it (its code where it has one).
std::uint32_t RateOf(const TermiosImage& image);
void StoreRate(std::uint32_t rate, TermiosImage& image);

// The terminal marks bytes received with errors (PARMRK).
bool MarksInput(const TermiosImage& image);

// The time one character (start, data, parity and stop bits) takes at the image's rate.
std::chrono::microseconds CharacterTime(const TermiosImage& image);

// 0 when the driver took what was asked, else EINVAL: rate within 1 % (what a UART's
// divisor gives), data bits, parity (mark and space included), stop bits and RTS/CTS.
int CheckTaken(const TermiosImage& asked, const TermiosImage& taken);

}  // namespace serial::platform::posix
