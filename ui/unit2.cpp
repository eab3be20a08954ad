#include "unit2.h"

namespace Ordavex {

TForm2 *Form2 = nullptr;

TForm2::TForm2(QWidget *parent)
    : QDialog(parent)
{
    Form2 = this;
    setWindowTitle(QStringLiteral("ﾌｧｲﾙの削除"));
}

TForm2::~TForm2()
{
    if (Form2 == this)
        Form2 = nullptr;
}

} // namespace Ordavex
