#include "sankaspin.h"

#include "core/runtimeerror.h"

#include <QKeyEvent>
#include <QLineEdit>

#include <algorithm>

namespace Ordavex {

SpinEdit::SpinEdit(QWidget *parent)
    : QAbstractSpinBox(parent)
{
    setCorrectionMode(QAbstractSpinBox::CorrectToPreviousValue);
    setKeyboardTracking(true);
    connect(lineEdit(), &QLineEdit::textChanged, this, &SpinEdit::changed);
}

void SpinEdit::setRange(int minimum, int maximum)
{
    m_minimum = minimum;
    m_maximum = std::max(minimum, maximum);
}

int SpinEdit::value() const
{
    int result = 0;
    return TryStrToInt(lineEdit()->text(), &result) ? result : m_minimum;
}

void SpinEdit::setValue(int value)
{
    setText(QString::number(std::clamp(value, m_minimum, m_maximum)));
}

void SpinEdit::setText(const QString &text)
{
    if (lineEdit()->text() != text)
        lineEdit()->setText(text);
}

void SpinEdit::stepBy(int steps)
{
    setValue(value() + steps);
    lineEdit()->selectAll();
}

QValidator::State SpinEdit::validate(QString &input, int &) const
{
    // Digits, signs and the point may be typed; whether the text is a number is the
    // change handler's business.
    for (QChar c : std::as_const(input)) {
        if (!(c.isDigit() && c.unicode() < 128) && c != u'+' && c != u'-' && c != u'.')
            return QValidator::Invalid;
    }
    return QValidator::Acceptable;
}

QAbstractSpinBox::StepEnabled SpinEdit::stepEnabled() const
{
    StepEnabled enabled = StepNone;
    if (value() < m_maximum)
        enabled |= StepUpEnabled;
    if (value() > m_minimum)
        enabled |= StepDownEnabled;
    return enabled;
}

void SpinEdit::focusOutEvent(QFocusEvent *event)
{
    const int current = value();
    const int limited = std::clamp(current, m_minimum, m_maximum);
    if (limited != current)
        setValue(limited);
    QAbstractSpinBox::focusOutEvent(event);
}

void SpinEdit::keyPressEvent(QKeyEvent *event)
{
    // Enter is swallowed without a sound and without an action.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    QAbstractSpinBox::keyPressEvent(event);
}

void SpinEdit::mousePressEvent(QMouseEvent *event)
{
    QAbstractSpinBox::mousePressEvent(event);
    emit clicked();
}

} // namespace Ordavex
