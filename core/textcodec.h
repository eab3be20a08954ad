#pragma once

#include <QByteArray>
#include <QString>

// Conversion between QString and code page 932 (Windows Shift_JIS), the encoding of
// every text file the program reads or writes. Each call is stateless: a truncated
// character at the end of one text never leaks into the next.
namespace Ordavex::Cp932 {

// Each byte that does not start a valid character (and a lead byte cut off at the
// end) becomes one U+FFFD, so bad bytes are visible and never swallowed.
QString decode(QByteArrayView bytes);

// Characters without a code page 932 form become '?'; *lossless (when given) tells
// whether that happened.
QByteArray encode(QStringView text, bool *lossless = nullptr);

} // namespace Ordavex::Cp932
