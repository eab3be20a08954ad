#include "timerules.h"

#include "runtimeerror.h"

#include <QtGlobal>

#include <algorithm>
#include <charconv>
#include <cstring>
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
// "%02d" would, without printf's cost: a saved heat formats every time in it. It writes
// into the caller's buffer of MaxTimeTextLength characters.
class TextBuilder final
{
public:
    explicit TextBuilder(char *buffer) : m_buffer(buffer), m_end(buffer) {}

    void number(int value, int width, char pad)
    {
        // Minutes, seconds and hundredths: the usual case, written directly.
        if (width == 2 && value < 100) {
            *m_end++ = value < 10 ? pad : char('0' + value / 10);
            *m_end++ = char('0' + value % 10);
            return;
        }
        char digits[12];
        const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
        const auto length = int(end - digits);
        for (int i = length; i < width; ++i)
            *m_end++ = pad;
        m_end = std::copy(digits, end, m_end);
    }
    void character(char c) { *m_end++ = c; }
    // A negative time (a '-' typed into the cell) has no meaning; it is shown once
    // signed instead of with a sign in every part ("-5.-23"), without the padding
    // blanks of its first part.
    void negate()
    {
        const char *first = m_buffer;
        while (first != m_end && *first == ' ')
            ++first;
        const qsizetype length = m_end - first;
        std::memmove(m_buffer + 1, first, size_t(length));
        m_buffer[0] = '-';
        m_end = m_buffer + 1 + length;
    }
    int size() const { return int(m_end - m_buffer); }
    QString text() const { return QString::fromLatin1(m_buffer, m_end - m_buffer); }

private:
    char *m_buffer;
    char *m_end;
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

void AppendSignedSeconds(TextBuilder &text, int t, bool sixtyFix)
{
    // PackedToSeconds never reaches the int limits, so the negation is safe.
    AppendSeconds(text, t < 0 ? -t : t, sixtyFix);
    if (t < 0)
        text.negate();
}

void AppendTrackTime(TextBuilder &text, int n, bool sixtyFix)
{
    // Both parts are negated separately: n itself may be the lowest int.
    const bool negative = n < 0;
    const int seconds = negative ? -PackedToSeconds(n / 100) : PackedToSeconds(n / 100);
    const int hundredths = negative ? -(n % 100) : n % 100;
    AppendSeconds(text, seconds, sixtyFix);
    text.character('.');
    text.number(hundredths, 2, '0');
    if (negative)
        text.negate();
}

} // namespace

QString SecondsText(int t, bool sixtyFix)
{
    char buffer[MaxTimeTextLength];
    TextBuilder text(buffer);
    AppendSignedSeconds(text, t, sixtyFix);
    return text.text();
}

QString TrackTimeText(int n, bool sixtyFix)
{
    char buffer[MaxTimeTextLength];
    TextBuilder text(buffer);
    AppendTrackTime(text, n, sixtyFix);
    return text.text();
}

int TimeDisplayChars(QStringView cellText, bool track, bool sixtyFix, char *buffer)
{
    int n = 0;
    if (cellText.isEmpty() || !TryStrToInt(cellText, &n))
        return 0;
    TextBuilder text(buffer);
    if (track)
        AppendTrackTime(text, n, sixtyFix);
    else
        AppendSignedSeconds(text, PackedToSeconds(n), sixtyFix);
    return text.size();
}

QString TimeDisplayText(const QString &cellText, bool track, bool sixtyFix)
{
    char buffer[MaxTimeTextLength];
    const int length = TimeDisplayChars(cellText, track, sixtyFix, buffer);
    return length == 0 ? QString() : QString::fromLatin1(buffer, length);
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
