#pragma once
// The time stamp at the start of a traffic log line, in the user's locale formats.
#include <QDateTime>
#include <QLocale>
#include <QString>

namespace rtutest {

// How a locale writes a time stamp: its short date, then hours, minutes and seconds joined
// by its time separator, in 12- or 24-hour form. Built from a QLocale, or by hand in tests.
struct TimeStampFormat {
  QLocale locale = QLocale::c();     // renders the date (month names, digits)
  QString date_format = "yyyy-MM-dd";
  QString time_separator = ":";
  bool hour_leading_zero = true;
  bool twelve_hour = false;
  bool marker_before = false;        // AM/PM marker before the time rather than after it
  QString am_text = "AM";
  QString pm_text = "PM";

  // Reads the locale's short date format and long time format. The time separator is
  // the text between the hour and the minutes; where that text holds letters or digits
  // (Korean, Japanese forms that spell out the units) ":" is used instead.
  static TimeStampFormat FromLocale(const QLocale& locale);
};

// Date, one blank, time; no fractions of a second. At exactly 00:00:00 only the date.
QString FormatTimeStamp(const QDateTime& when, const TimeStampFormat& format);

}  // namespace rtutest
