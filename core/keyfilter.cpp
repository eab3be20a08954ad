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

QChar TypedCharacter(int key, QStringView text, Qt::KeyboardModifiers modifiers)
{
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return EnterKey;
    case Qt::Key_Backspace:
        // Ctrl+Backspace and the like are the field's own word deletion.
        return modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier) ? QChar() : Backspace;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Delete:
    case Qt::Key_Insert:
    case Qt::Key_Escape:
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        return QChar();
    default:
        break;
    }
    if (key >= Qt::Key_F1 && key <= Qt::Key_F35)
        return QChar();
    // Menu and window commands, not typing.
    if (modifiers & (Qt::AltModifier | Qt::MetaModifier))
        return QChar();
    return text.isEmpty() ? QChar() : text.front();
}

bool IsCommandChord(QStringView text, Qt::KeyboardModifiers modifiers)
{
    return (modifiers & (Qt::AltModifier | Qt::MetaModifier)) && !text.isEmpty() && text.front().isPrint();
}

} // namespace Ordavex
