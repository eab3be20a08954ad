#pragma once

#include <QDialog>

namespace Ordavex {

// The delete dialog that removes result files from the work folder. Created once at start with the
// other windows and hidden between uses.
class TForm2 final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TForm2)

public:
    explicit TForm2(QWidget *parent = nullptr);
    ~TForm2() override;
};

extern TForm2 *Form2;

} // namespace Ordavex
