#pragma once

#include <QFont>

namespace Ordavex {

// The window font and its fall-backs where "ＭＳ Ｐゴシック" is not installed.
QFont WindowFont(int pixelSize);

// The window font for a printed page, at a size in the page's pixels (at least one); a
// PDF embeds the glyphs it uses.
QFont PrintFont(qreal pixels, bool bold = false);

} // namespace Ordavex
