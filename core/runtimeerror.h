#pragma once

#include <QString>

#include <exception>

namespace Ordavex {

// An error of the kind the runtime raises inside a handler (a text that is not a
// number, a file that cannot be written). It abandons the whole user action; the
// window layer shows its message in the error box and the program goes on.
class RuntimeError final : public std::exception
{
public:
    explicit RuntimeError(QString message);

    const QString &message() const noexcept { return m_message; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

// The runtime's text for a text that is not an integer.
inline const QString MsgNotAnInteger = QStringLiteral("'%1' は整数ではありません");

// Standard integer conversion: optional sign, decimal digits, signed 32-bit range.
// Nothing else is accepted, not even blanks.
bool TryStrToInt(QStringView text, int *value);
// As TryStrToInt; throws RuntimeError MsgNotAnInteger on failure.
int StrToInt(QStringView text);
// "%d" of value. Cheaper than QString::number, which goes through the locale machinery:
// a long file formats every cell.
QString IntToStr(int value);

// Standard decimal conversion: blanks around, optional sign, digits with an optional
// point ("12", ".5", "1.", "+2"), optional exponent. The point is always ".".
bool TryStrToFloat(QStringView text, double *value);
// As TryStrToFloat; throws RuntimeError "'%s' は浮動小数点数ではありません" on failure.
double StrToFloat(QStringView text);

// Blanks and control characters (everything up to U+0020) removed at both ends.
QStringView TrimmedView(QStringView text);
QString TrimText(QStringView text);

} // namespace Ordavex
