#include "timerules.h"

#include "runtimeerror.h"

#include <QtGlobal>

#include <algorithm>
#include <charconv>
#include <limits>

namespace Ordavex {

namespace {

// 10^10 exceeds every int in size: replacing that many digits or more keeps
// nothing of the time above.
constexpr int MaxReplacedDigits = 10;

qint64 PowerOfTen(int k)
{
    qint64 m = 1;
    for (int i = 0; i < k; ++i)
        m *= 10;
    return m;
}

// A negative time (a '-' typed into the cell) has no meaning; it is shown once
// signed instead of with a sign in every part ("-5.-23").
QString Negated(const QString &magnitudeText)
{
    return u'-' + magnitudeText.trimmed();
}

} // namespace

int PackedToSeconds(int p)
{
    const int h = p / 10000;
    const int m = (p % 10000) / 100;
    const int s = (p % 10000) % 100;
    return h * 3600 + m * 60 + s;
}

namespace {

// Builds a display text from non-negative parts exactly as printf's "%d", "%2d" and
// "%02d" would, without printf's cost: a saved heat formats every time in it.
class TextBuilder final
{
public:
    void number(int value, int width, char pad)
    {
        char digits[12];
        const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
        const auto length = int(end - digits);
        for (int i = length; i < width; ++i)
            *m_end++ = pad;
        m_end = std::copy(digits, end, m_end);
    }
    void character(char c) { *m_end++ = c; }
    QString text() const { return QString::fromLatin1(m_buffer, m_end - m_buffer); }

private:
    char m_buffer[64];
    char *m_end = m_buffer;
};

void AppendSeconds(TextBuilder &text, int t, bool sixtyFix)
{
    if (!sixtyFix && t <= 99) {
        text.number(t, 0, ' ');
        return;
    }
    const int h = t / 3600;
    const int m = (t % 3600) / 60;
    const int s = (t % 3600) % 60;
    if (h > 0) {
        text.number(h, 2, ' ');
        text.character(':');
        text.number(m, 2, '0');
        text.character(':');
        text.number(s, 2, '0');
    } else if (m > 0) {
        text.number(m, 2, ' ');
        text.character(':');
        text.number(s, 2, '0');
    } else {
        text.number(s, 2, '0');
    }
}

} // namespace

QString SecondsText(int t, bool sixtyFix)
{
    // PackedToSeconds never reaches the int limits, so the negation is safe.
    if (t < 0)
        return Negated(SecondsText(-t, sixtyFix));
    TextBuilder text;
    AppendSeconds(text, t, sixtyFix);
    return text.text();
}

QString TrackTimeText(int n, bool sixtyFix)
{
    // Both parts are negated separately: n itself may be the lowest int.
    const bool negative = n < 0;
    const int seconds = negative ? -PackedToSeconds(n / 100) : PackedToSeconds(n / 100);
    const int hundredths = negative ? -(n % 100) : n % 100;
    TextBuilder text;
    AppendSeconds(text, seconds, sixtyFix);
    text.character('.');
    text.number(hundredths, 2, '0');
    return negative ? Negated(text.text()) : text.text();
}

QString TimeDisplayText(const QString &cellText, bool track, bool sixtyFix)
{
    int n = 0;
    if (cellText.isEmpty() || !TryStrToInt(cellText, &n))
        return QString();
    return track ? TrackTimeText(n, sixtyFix) : SecondsText(PackedToSeconds(n), sixtyFix);
}

Completion CompleteTime(const QString &typed, const QString &above, const TimeSettings &settings)
{
    Completion result;
    if (above.isEmpty()) {
        result.text = typed;
        return result;
    }
    if (typed.isEmpty())
        return result;

    if (typed.size() < above.size()) {
        const qint64 a = StrToInt(above);
        const qint64 t = StrToInt(typed);
        // Leading zeros let k grow past any int's digits (texts read from files), so
        // 10^k is formed only while it fits; the sum is checked, as it can pass the
        // int range ("2147483647" completed with "9").
        const qsizetype k = typed.size();
        const qint64 kept = k >= MaxReplacedDigits ? 0 : (a / PowerOfTen(int(k))) * PowerOfTen(int(k));
        const qint64 value = kept + t;
        if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max())
            throw RuntimeError(MsgNotAnInteger.arg(value));
        if (settings.validCheck) {
            result.needsCheck = settings.track
                ? value < a
                : PackedToSeconds(int(value)) < PackedToSeconds(int(a));
        }
        result.text = IntToStr(int(value));
        return result;
    }

    // As long as the time above or longer: stored as typed, only compared.
    if (settings.validCheck) {
        const int a = StrToInt(above);
        const int t = StrToInt(typed);
        result.needsCheck = t < a;
    }
    result.text = typed;
    return result;
}

} // namespace Ordavex
