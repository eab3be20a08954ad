#pragma once

#include <QString>

// The heat's wind: normalising the typed short form and the wind code of file names.
namespace Ordavex {

inline constexpr double NoWind = 9999;

// The typed text of the wind field in its normalised form ("%+1.1f": "12" -> "+1.2",
// "5" -> "+5.0", "-05" -> "-0.5"). An empty text stays empty. Throws RuntimeError
// "'%s' は浮動小数点数ではありません" when the text is not a number.
QString NormaliseWindText(const QString &text);

// Wind code of a wind: 100 for calm, sign digit (1 for +, 9 for -) and the digits.
int WindCode(float wind);
// The wind of a code, or NoWind for any code that is not a valid wind code.
double WindFromCode(int code);
// "%+3.1f" of a wind, as a file's wind is put back into the field.
QString WindText(double wind);

} // namespace Ordavex
