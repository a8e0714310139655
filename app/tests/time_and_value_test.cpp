// Time stamps and analogue values in the user's locale formats.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>

#include "app/logic/log_locale.h"
#include "app/logic/time_stamp.h"
#include "app/logic/value_text.h"

namespace rtutest {
namespace {

QDateTime At(int h, int m, int s, int ms = 0) {
  return QDateTime(QDate(2024, 3, 5), QTime(h, m, s, ms));
}

struct StampCase {
  QDateTime when;
  QString text;
};

void ExpectStamps(const TimeStampFormat& format, std::initializer_list<StampCase> cases) {
  for (const StampCase& c : cases) {
    EXPECT_EQ(FormatTimeStamp(c.when, format), c.text) << c.when.toString(Qt::ISODate).toStdString();
  }
}

TEST(TimeStamp, TwelveHourLocaleWithMarkerAfter) {
  const TimeStampFormat f = TimeStampFormat::FromLocale(QLocale("en_US"));
  EXPECT_TRUE(f.twelve_hour);
  EXPECT_FALSE(f.hour_leading_zero);
  EXPECT_FALSE(f.marker_before);
  ExpectStamps(f, {{At(14, 7, 9), "3/5/24 2:07:09 PM"},
                   {At(9, 5, 3), "3/5/24 9:05:03 AM"},
                   {At(0, 0, 1), "3/5/24 12:00:01 AM"},
                   {At(12, 0, 0), "3/5/24 12:00:00 PM"},
                   {At(23, 59, 59, 999), "3/5/24 11:59:59 PM"},
                   {At(0, 0, 0), "3/5/24"},
                   {At(0, 0, 0, 999), "3/5/24"}});
}

TEST(TimeStamp, CommaLocaleTwentyFourHours) {
  const TimeStampFormat f = TimeStampFormat::FromLocale(QLocale("de_DE"));
  EXPECT_FALSE(f.twelve_hour);
  EXPECT_TRUE(f.hour_leading_zero);
  ExpectStamps(f, {{At(14, 7, 9), "05.03.24 14:07:09"},
                   {At(9, 5, 3, 500), "05.03.24 09:05:03"},
                   {At(0, 0, 1), "05.03.24 00:00:01"},
                   {At(0, 0, 0), "05.03.24"}});
}

TEST(TimeStamp, LocaleTimeSeparatorAndHourWithoutZero) {
  // Finnish writes hours without a leading zero and joins the fields with full stops.
  const TimeStampFormat f = TimeStampFormat::FromLocale(QLocale("fi_FI"));
  EXPECT_EQ(f.time_separator, ".");
  ExpectStamps(f, {{At(9, 5, 3), "5.3.2024 9.05.03"}, {At(14, 7, 9), "5.3.2024 14.07.09"}});
}

TEST(TimeStamp, MarkerBeforeTheTime) {
  // Korean puts the marker first and spells the units out; the fields are joined by ":".
  const QLocale korean("ko_KR");
  const TimeStampFormat f = TimeStampFormat::FromLocale(korean);
  EXPECT_TRUE(f.twelve_hour);
  EXPECT_TRUE(f.marker_before);
  EXPECT_EQ(f.time_separator, ":");
  const QString date = korean.toString(QDate(2024, 3, 5), QLocale::ShortFormat);
  ExpectStamps(f, {{At(14, 7, 9), date + QStringLiteral(" 오후 2:07:09")},
                   {At(0, 30, 0), date + QStringLiteral(" 오전 12:30:00")}});
}

TEST(TimeStamp, SpelledOutUnitsFallBackToColon) {
  const TimeStampFormat f = TimeStampFormat::FromLocale(QLocale("ja_JP"));
  EXPECT_FALSE(f.twelve_hour);
  EXPECT_FALSE(f.hour_leading_zero);
  ExpectStamps(f, {{At(9, 5, 3), "2024/03/05 9:05:03"}});
}

TEST(TimeStamp, HandMadeFormat) {
  TimeStampFormat f;
  f.date_format = "dd-MM-yyyy";
  f.time_separator = "-";
  f.twelve_hour = true;
  f.hour_leading_zero = true;
  f.marker_before = true;
  f.am_text = "vm";
  f.pm_text = "nm";
  ExpectStamps(f, {{At(13, 2, 3), "05-03-2024 nm 01-02-03"}, {At(0, 0, 0), "05-03-2024"}});
  f.am_text.clear();  // a locale without markers shows the bare 12-hour time
  ExpectStamps(f, {{At(1, 2, 3), "05-03-2024 01-02-03"}});
}

TEST(ValueText, FixedPointThreeDecimals) {
  struct Case {
    double value;
    QString dot;
    QString comma;
  };
  const float from_wire = 23.456f;  // widened from single precision as the module sends it
  const Case cases[] = {
      {1.0, "1.000", "1,000"},
      {10.0, "10.000", "10,000"},
      {static_cast<double>(from_wire), "23.456", "23,456"},
      {-0.5, "-0.500", "-0,500"},
      {0.0, "0.000", "0,000"},
      {-0.0, "0.000", "0,000"},
      {-0.0001, "-0.000", "-0,000"},
      {static_cast<double>(std::numeric_limits<float>::denorm_min()), "0.000", "0,000"},
      {1234567.0, "1234567.000", "1234567,000"},
      {999000000000000000.0, "999000000000000000.000", "999000000000000000,000"},
      {1e18, "1.000E+18", "1,000E+18"},
      {-1.8446744e19, "-1.845E+19", "-1,845E+19"},
      {static_cast<double>(FLT_MAX), "3.403E+38", "3,403E+38"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FormatValue(c.value, "."), c.dot) << c.value;
    EXPECT_EQ(FormatValue(c.value, ","), c.comma) << c.value;
  }
}

TEST(ValueText, InfinityAndNanPaddedToFive) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(FormatValue(inf, "."), "  INF");
  EXPECT_EQ(FormatValue(-inf, ","), " -INF");
  EXPECT_EQ(FormatValue(std::copysign(nan, 1.0), "."), "  NAN");
  EXPECT_EQ(FormatValue(std::copysign(nan, -1.0), "."), " -NAN");
}

TEST(ValueText, DecimalSeparatorOfLocale) {
  EXPECT_EQ(DecimalSeparatorOf(QLocale("de_DE")), ",");
  EXPECT_EQ(DecimalSeparatorOf(QLocale("en_US")), ".");
  EXPECT_EQ(DecimalSeparatorOf(QLocale::c()), ".");
  const LogLocale comma = LogLocale::From(QLocale("fr_FR"));
  EXPECT_EQ(comma.decimal_separator, ",");
}

}  // namespace
}  // namespace rtutest
