#pragma once

#include <QAbstractSpinBox>

namespace Ordavex {

// A spin edit whose change handler sees every change of its text: typed, stepped with
// the arrows or set by the program. Out-of-range texts may stand while the operator
// types; the value is brought into range when the focus leaves.
class SpinEdit final : public QAbstractSpinBox
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SpinEdit)

public:
    explicit SpinEdit(QWidget *parent = nullptr);

    void setRange(int minimum, int maximum);
    int minimum() const { return m_minimum; }
    int maximum() const { return m_maximum; }

    // The text as an integer, or the minimum when it is not one.
    int value() const;
    // Limited to the range; when the text already shows the value nothing happens.
    void setValue(int value);
    void setText(const QString &text);

    void stepBy(int steps) override;
    QValidator::State validate(QString &input, int &pos) const override;

signals:
    void changed();
    void clicked();

protected:
    StepEnabled stepEnabled() const override;
    void focusOutEvent(QFocusEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    int m_minimum = 0;
    int m_maximum = 100;
};

} // namespace Ordavex
