#include "unit5.h"

namespace Ordavex {

TForm5 *Form5 = nullptr;

TForm5::TForm5(QWidget *parent)
    : QDialog(parent)
{
    Form5 = this;
    setWindowTitle(QStringLiteral("判定機選択"));
}

TForm5::~TForm5()
{
    if (Form5 == this)
        Form5 = nullptr;
}

} // namespace Ordavex
