#pragma once
// Analogue values as the log and the channel list show them ("%5.3f").
#include <QLocale>
#include <QString>

namespace rtutest {

// The locale's decimal separator, "." when the locale gives none.
QString DecimalSeparatorOf(const QLocale& locale);

// Fixed-point with three decimals, "-" for negative values, no grouping, padded on the left
// to five characters; infinities and NaNs as "INF"/"NAN", "-" first when the sign bit is
// set, padded to five. Magnitudes of 10^18 and above (up to 3.4e38 for a module's single
// precision value) are written in exponent form with three decimals ("1.845E+19"), so the
// cell shows the value's magnitude instead of up to 39 digits, most of them meaningless
// for a single-precision value. Negative zero shows as 0.000.
QString FormatValue(double value, const QString& decimal_separator);

}  // namespace rtutest
