#include "app/logic/value_text.h"

#include <array>
#include <charconv>
#include <cmath>

namespace rtutest {
namespace {

constexpr qsizetype kWidth = 5;
constexpr int kDecimals = 3;
constexpr double kExponentFrom = 1e18;

QString NonFiniteText(double value) {
  QString text = std::signbit(value) ? QStringLiteral("-") : QString();
  text += std::isnan(value) ? QStringLiteral("NAN") : QStringLiteral("INF");
  return text;
}

// The C locale form of a finite value, '.' as separator.
QString FiniteText(double value) {
  if (value == 0.0) value = 0.0;  // drops the sign of negative zero
  std::array<char, 64> buffer{};
  const auto format = std::fabs(value) >= kExponentFrom ? std::chars_format::scientific
                                                        : std::chars_format::fixed;
  const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                    format, kDecimals);
  return QString::fromLatin1(buffer.data(), result.ptr - buffer.data()).toUpper();
}

}  // namespace

QString DecimalSeparatorOf(const QLocale& locale) {
  const QString separator = locale.decimalPoint();
  return separator.isEmpty() ? QStringLiteral(".") : separator;
}

QString FormatValue(double value, const QString& decimal_separator) {
  QString text;
  if (std::isfinite(value)) {
    text = FiniteText(value);
    text.replace(u'.', decimal_separator);
  } else {
    text = NonFiniteText(value);
  }
  return text.rightJustified(kWidth, u' ');
}

}  // namespace rtutest
