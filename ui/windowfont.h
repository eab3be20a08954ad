#pragma once

#include <QFont>

namespace Ordavex {

// The window font and its fall-backs where "ＭＳ Ｐゴシック" is not installed.
QFont WindowFont(int pixelSize);

} // namespace Ordavex
