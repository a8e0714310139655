#pragma once
// The user's locale formats the traffic log uses: time stamps and the decimal separator.
#include <QLocale>
#include <QString>

#include "app/logic/time_stamp.h"
#include "app/logic/value_text.h"

namespace rtutest {

struct LogLocale {
  TimeStampFormat time_stamp;
  QString decimal_separator = QStringLiteral(".");

  static LogLocale From(const QLocale& locale) {
    return {TimeStampFormat::FromLocale(locale), DecimalSeparatorOf(locale)};
  }
};

}  // namespace rtutest
