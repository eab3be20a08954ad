#include "rs232cfunc.h"

namespace Ordavex {

TForm3 *Form3 = nullptr;

TForm3::TForm3(QWidget *parent)
    : QWidget(parent)
{
    Form3 = this;
    setWindowTitle(QStringLiteral("RS232C通信"));
}

TForm3::~TForm3()
{
    if (Form3 == this)
        Form3 = nullptr;
}

} // namespace Ordavex
