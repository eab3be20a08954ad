#include "unit5.h"

#include "guard.h"
#include "windowfont.h"

#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

namespace Ordavex {

TForm5 *Form5 = nullptr;

TForm5::TForm5(QWidget *parent)
    : QDialog(parent)
{
    Form5 = this;
    setFont(WindowFont(12));
    setWindowTitle(CaptionMachineDialog);
    setModal(true);

    Label1 = new QLabel(QStringLiteral("使用する判定機を選んで下さい。"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(8, 12, 186, 20);
    Label1->setAlignment(Qt::AlignCenter);

    // Created in tab order, so that Button1 takes the focus when the dialog opens. Neither
    // is the default: Enter presses the focused one, as on any button.
    Button1 = new QPushButton(MachineName1, this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(16, 48, 75, 25);
    Button2 = new QPushButton(MachineName2, this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setGeometry(111, 48, 75, 25);
    setFixedSize(202, 85);

    ConnectHandler(Button1, &QPushButton::clicked, this, &TForm5::Button1Click);
    ConnectHandler(Button2, &QPushButton::clicked, this, &TForm5::Button2Click);
}

TForm5::~TForm5()
{
    if (Form5 == this)
        Form5 = nullptr;
}

void TForm5::setVisible(bool visible)
{
    if (visible && !isVisible()) {
        // Centred on the desktop whatever window it belongs to.
        if (const QScreen *desktop = screen())
            move(desktop->availableGeometry().center() - rect().center());
        // Every showing starts on 1号機, wherever the last one left the focus.
        Button1->setFocus(Qt::OtherFocusReason);
    }
    QDialog::setVisible(visible);
}

void TForm5::Button1Click()
{
    done(QMessageBox::Yes);
}

void TForm5::Button2Click()
{
    done(QMessageBox::No);
}

void TForm5::reject()
{
    done(QMessageBox::Cancel);
}

} // namespace Ordavex
