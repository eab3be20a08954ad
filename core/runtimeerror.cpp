#include "runtimeerror.h"

#include <QLocale>

#include <charconv>
#include <cmath>
#include <limits>

namespace Ordavex {

RuntimeError::RuntimeError(QString message)
    : m_message(std::move(message))
    , m_utf8(m_message.toUtf8())
{
}

bool TryStrToInt(QStringView text, int *value)
{
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    if (i == text.size())
        return false;
    qint64 magnitude = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return false;
        magnitude = magnitude * 10 + (c - u'0');
        if (magnitude > qint64(std::numeric_limits<int>::max()) + 1)
            return false;
    }
    const qint64 result = negative ? -magnitude : magnitude;
    if (result > std::numeric_limits<int>::max())
        return false;
    *value = int(result);
    return true;
}

int StrToInt(QStringView text)
{
    int value = 0;
    if (!TryStrToInt(text, &value))
        throw RuntimeError(MsgNotAnInteger.arg(text));
    return value;
}

QString IntToStr(int value)
{
    char digits[12];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    return QString::fromLatin1(digits, end - digits);
}

bool TryStrToFloat(QStringView text, double *value)
{
    const QString trimmed = text.trimmed().toString();
    qsizetype i = 0;
    const qsizetype n = trimmed.size();
    if (i < n && (trimmed[i] == u'+' || trimmed[i] == u'-'))
        ++i;
    qsizetype digits = 0;
    while (i < n && trimmed[i].isDigit() && trimmed[i].unicode() < 128) {
        ++i;
        ++digits;
    }
    if (i < n && trimmed[i] == u'.') {
        ++i;
        while (i < n && trimmed[i].unicode() >= u'0' && trimmed[i].unicode() <= u'9') {
            ++i;
            ++digits;
        }
    }
    if (digits == 0)
        return false;
    if (i < n && (trimmed[i] == u'e' || trimmed[i] == u'E')) {
        ++i;
        if (i < n && (trimmed[i] == u'+' || trimmed[i] == u'-'))
            ++i;
        qsizetype expDigits = 0;
        while (i < n && trimmed[i].unicode() >= u'0' && trimmed[i].unicode() <= u'9') {
            ++i;
            ++expDigits;
        }
        if (expDigits == 0)
            return false;
    }
    if (i != n)
        return false;
    // Always the C locale: the point is "." whatever the machine is set to.
    bool ok = false;
    const double result = QLocale::c().toDouble(trimmed, &ok);
    if (!ok || !std::isfinite(result))
        return false;
    *value = result;
    return true;
}

double StrToFloat(QStringView text)
{
    double value = 0;
    if (!TryStrToFloat(text, &value))
        throw RuntimeError(QStringLiteral("'%1' は浮動小数点数ではありません").arg(text));
    return value;
}

QStringView TrimmedView(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin].unicode() <= 0x20)
        ++begin;
    while (end > begin && text[end - 1].unicode() <= 0x20)
        --end;
    return text.sliced(begin, end - begin);
}

QString TrimText(QStringView text)
{
    return TrimmedView(text).toString();
}

} // namespace Ordavex
