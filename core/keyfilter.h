#pragma once

#include <QChar>
#include <QStringView>
#include <Qt>

namespace Ordavex {

inline constexpr QChar Backspace = QChar(0x08);
inline constexpr QChar EnterKey = QChar(0x0D);

// The character when it is a digit, '+', '-' or Backspace, or '.' when the point is
// allowed; otherwise the null character (the key is dropped).
QChar FilterNumericKey(QChar key, bool pointAllowed);

// The character a key press types, as the entry handlers of the grid and the wind
// field see it: Enter as CR, Backspace as BS, control characters of Ctrl shortcuts as
// they are, so the filter can drop them. The null character for keys that type
// nothing and keep their usual meaning (Tab, Delete, arrows, Escape, function keys,
// Alt and Meta combinations).
QChar TypedCharacter(int key, QStringView text, Qt::KeyboardModifiers modifiers);
// A printable key held with Alt or Meta: a command (the menu's, the desktop's), which
// TypedCharacter does not type; the field must not take it as text either.
bool IsCommandChord(QStringView text, Qt::KeyboardModifiers modifiers);

} // namespace Ordavex
