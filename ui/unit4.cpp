#include "unit4.h"

namespace Ordavex {

TForm4 *Form4 = nullptr;

TForm4::TForm4(QWidget *parent)
    : QDialog(parent)
{
    Form4 = this;
    setWindowTitle(QStringLiteral("RS232Cﾊﾟﾗﾒｰﾀ設定"));
}

TForm4::~TForm4()
{
    if (Form4 == this)
        Form4 = nullptr;
}

} // namespace Ordavex
