#include "ime.h"

#include <QGuiApplication>
#include <QInputMethod>
#include <QWidget>

namespace Ordavex {

void SwitchImeOff(QWidget *field)
{
    field->setAttribute(Qt::WA_InputMethodEnabled, false);
    field->setInputMethodHints(Qt::ImhPreferLatin | Qt::ImhNoPredictiveText);
    if (field->hasFocus()) {
        QGuiApplication::inputMethod()->reset();
        QGuiApplication::inputMethod()->update(Qt::ImEnabled);
    }
}

} // namespace Ordavex
