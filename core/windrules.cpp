#include "windrules.h"

#include "runtimeerror.h"

#include <QByteArray>

#include <cmath>
#include <cstdio>

namespace Ordavex {

namespace {

bool IsAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// C printf of one double: the rounding of the one decimal must be the C library's,
// as it decides both the field's text and the code in the file name.
QString FormatWind(const char *format, double x)
{
    const int length = std::snprintf(nullptr, 0, format, x);
    QByteArray buffer(length + 1, '\0');
    std::snprintf(buffer.data(), size_t(buffer.size()), format, x);
    buffer.truncate(length);
    return QString::fromLatin1(buffer);
}

// The form that normalising writes: sign, digits without a leading zero, point,
// one decimal.
bool IsNormalised(const QString &text)
{
    const qsizetype point = text.size() - 2;
    if (point < 2 || (text[0] != u'+' && text[0] != u'-') || text[point] != u'.' || !IsAsciiDigit(text[point + 1]))
        return false;
    if (point > 2 && text[1] == u'0')
        return false;
    for (qsizetype i = 1; i < point; ++i) {
        if (!IsAsciiDigit(text[i]))
            return false;
    }
    return true;
}

} // namespace

QString NormaliseWindText(const QString &text)
{
    // Saving normalises the field again; a wind of 10 or more in size ("+10.0" from
    // "100", "+10.5" from the timing machine) would lose a factor of ten each time.
    if (text.isEmpty() || IsNormalised(text))
        return text;

    // Two typed digits are tenths: "05" is 0.5 and "-05" is -0.5.
    QString number = text;
    if (text.size() == 2 && text[0] == u'0' && IsAsciiDigit(text[1]))
        number = QStringLiteral("0.") + text[1];
    else if (text.size() == 3 && text.startsWith(u"-0") && IsAsciiDigit(text[2]))
        number = QStringLiteral("-0.") + text[2];

    double x = StrToFloat(number);
    while (x > 100)
        x = x * 0.1;
    if (std::fabs(x) >= 10)
        x = x * 0.1;
    return FormatWind("%+1.1f", x);
}

int WindCode(float wind)
{
    if (wind == 0)
        return 100;
    const QString text = FormatWind("%+3.1f", double(wind));
    if (!std::isfinite(wind))
        throw RuntimeError(MsgNotAnInteger.arg(text));

    QString digits;
    for (const QChar c : text) {
        if (c == u'+')
            digits += u'1';
        else if (c == u'-')
            digits += u'9';
        else if (IsAsciiDigit(c))
            digits += c;
    }
    // Winds of some ten million or more give more digits than an int holds; they
    // fail as the conversion of any other oversized number does.
    return StrToInt(digits);
}

double WindFromCode(int code)
{
    if (code == 100)
        return 0.0;
    if (code >= 101 && code <= 199)
        return (code - 100) * 0.1;
    if (code >= 901 && code <= 999)
        return -((code - 900) * 0.1);
    return NoWind;
}

QString WindText(double wind)
{
    return FormatWind("%+3.1f", wind);
}

} // namespace Ordavex
