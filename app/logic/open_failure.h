#pragma once
// Why an opening of the port failed, in words the user can act on. The status text stays
// the device name followed by "打开失败"; this reason goes beside it (the panel's tooltip
// and one line on standard error).
#include <QString>
#include <QStringList>

namespace rtutest {

// The call that failed: the opening itself or one of the settings applied after it; or
// the data format text was empty, and the device was not asked at all.
enum class OpenStep { Open, ControlBlock, Queues, Timeouts, EmptyFormat };

// Whose codes `error` holds.
enum class ErrorCodes { Errno, Windows };

struct OpenFailure {
  OpenStep step = OpenStep::Open;
  int error = 0;          // the system's code (see codes); 0 when the system gave none
  QString system_text;    // the system's own text for that code
  QString device;         // the file the typed name stands for
  QString owner_group;    // the group owning that file; empty when it is not known
  QStringList present;    // the serial devices present on this machine
  QString baud;           // the baud and format texts, for a refused control block
  QString format;
  ErrorCodes codes = ErrorCodes::Errno;
  bool no_uart = false;   // the file is a port the kernel registered with no UART behind it
};

// One line of Chinese text naming the cause and what to do, with the system's own text.
QString OpenFailureReason(const OpenFailure& failure);

}  // namespace rtutest
