#pragma once

#include <QWidget>

namespace Ordavex {

// The communication monitor of the timing machine's serial link. Created once at start with the
// other windows and hidden between uses.
class TForm3 final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TForm3)

public:
    explicit TForm3(QWidget *parent = nullptr);
    ~TForm3() override;
};

extern TForm3 *Form3;

} // namespace Ordavex
