#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace Ordavex {

inline const QString CaptionMachineDialog = QStringLiteral("判定機選択");
inline const QString MachineName1 = QStringLiteral("1号機");
inline const QString MachineName2 = QStringLiteral("2号機");

// The timing-machine selection dialog, shown modally when two machines are in use. exec()
// returns QMessageBox::Yes for "1号機", QMessageBox::No for "2号機" and QMessageBox::Cancel
// when it is closed without a choice (close box, Escape). Created once at start with the
// other windows and hidden between uses; it holds no state.
class TForm5 final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TForm5)

public:
    explicit TForm5(QWidget *parent = nullptr);
    ~TForm5() override;

    QLabel *Label1 = nullptr;
    QPushButton *Button1 = nullptr;
    QPushButton *Button2 = nullptr;

    void Button1Click();
    void Button2Click();

    void setVisible(bool visible) override;
    // Every way of closing without a button ends here.
    void reject() override;
};

extern TForm5 *Form5;

} // namespace Ordavex
