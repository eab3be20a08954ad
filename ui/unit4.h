#pragma once

#include <QDialog>

namespace Ordavex {

// The parameter dialog of the serial link and the received-data logs. Created once at start with the
// other windows and hidden between uses.
class TForm4 final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TForm4)

public:
    explicit TForm4(QWidget *parent = nullptr);
    ~TForm4() override;
};

extern TForm4 *Form4;

} // namespace Ordavex
