#include "keyfilter.h"

namespace Ordavex {

QChar FilterNumericKey(QChar key, bool pointAllowed)
{
    // ASCII digits only: full-width and other scripts' digits are dropped too.
    if ((key >= u'0' && key <= u'9') || key == u'+' || key == u'-' || key == Backspace)
        return key;
    if (key == u'.' && pointAllowed)
        return key;
    return QChar();
}

} // namespace Ordavex
