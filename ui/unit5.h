#pragma once

#include <QDialog>

namespace Ordavex {

// The timing-machine selection dialog. Created once at start with the
// other windows and hidden between uses.
class TForm5 final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TForm5)

public:
    explicit TForm5(QWidget *parent = nullptr);
    ~TForm5() override;
};

extern TForm5 *Form5;

} // namespace Ordavex
