#include "app/logic/time_stamp.h"

namespace rtutest {
namespace {

// Fields of a Qt time format string found outside quoted text.
struct TimeFields {
  qsizetype hour_at = -1;
  qsizetype hour_length = 0;
  qsizetype marker_at = -1;
  QString after_hour;  // literal text between the hour and the minutes
};

bool IsMarker(QChar c) { return c == u'A' || c == u'a'; }

TimeFields ScanTimeFormat(const QString& f) {
  TimeFields fields;
  bool quoted = false;
  bool collecting = false;
  for (qsizetype i = 0; i < f.size(); ++i) {
    const QChar c = f[i];
    if (c == u'\'') {
      quoted = !quoted;
      continue;
    }
    if (!quoted && (c == u'h' || c == u'H') && fields.hour_at < 0) {
      fields.hour_at = i;
      while (i + fields.hour_length < f.size() && f[i + fields.hour_length] == c) ++fields.hour_length;
      i += fields.hour_length - 1;
      collecting = true;
    } else if (!quoted && c == u'm' && collecting) {
      collecting = false;
    } else if (!quoted && IsMarker(c) && fields.marker_at < 0) {
      fields.marker_at = i;
    } else if (collecting) {
      fields.after_hour += c;
    }
  }
  return fields;
}

bool IsPlainSeparator(const QString& text) {
  if (text.isEmpty()) return false;
  for (QChar c : text) {
    if (c.isLetterOrNumber()) return false;
  }
  return true;
}

QString HourText(int hour, const TimeStampFormat& format) {
  if (format.twelve_hour) hour = hour % 12 == 0 ? 12 : hour % 12;
  return format.hour_leading_zero ? QString::asprintf("%02d", hour) : QString::number(hour);
}

QString TimeText(const QTime& t, const TimeStampFormat& format) {
  const QString& sep = format.time_separator;
  QString text = HourText(t.hour(), format) + sep + QString::asprintf("%02d", t.minute()) +
                 sep + QString::asprintf("%02d", t.second());
  if (!format.twelve_hour) return text;
  const QString& marker = t.hour() < 12 ? format.am_text : format.pm_text;
  if (marker.isEmpty()) return text;
  return format.marker_before ? marker + u' ' + text : text + u' ' + marker;
}

}  // namespace

TimeStampFormat TimeStampFormat::FromLocale(const QLocale& locale) {
  TimeStampFormat format;
  format.locale = locale;
  format.date_format = locale.dateFormat(QLocale::ShortFormat);
  const TimeFields fields = ScanTimeFormat(locale.timeFormat(QLocale::LongFormat));
  if (fields.hour_at >= 0) format.hour_leading_zero = fields.hour_length >= 2;
  format.twelve_hour = fields.marker_at >= 0;
  format.marker_before = fields.marker_at >= 0 && fields.marker_at < fields.hour_at;
  if (IsPlainSeparator(fields.after_hour)) format.time_separator = fields.after_hour;
  format.am_text = locale.amText();
  format.pm_text = locale.pmText();
  return format;
}

QString FormatTimeStamp(const QDateTime& when, const TimeStampFormat& format) {
  const QString date = format.locale.toString(when.date(), format.date_format);
  const QTime time = when.time();
  if (time.hour() == 0 && time.minute() == 0 && time.second() == 0) return date;
  return date + u' ' + TimeText(time, format);
}

}  // namespace rtutest
