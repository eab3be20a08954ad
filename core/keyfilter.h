#pragma once

#include <QChar>

namespace Ordavex {

inline constexpr QChar Backspace = QChar(0x08);
inline constexpr QChar EnterKey = QChar(0x0D);

// The character when it is a digit, '+', '-' or Backspace, or '.' when the point is
// allowed; otherwise the null character (the key is dropped).
QChar FilterNumericKey(QChar key, bool pointAllowed);

} // namespace Ordavex
