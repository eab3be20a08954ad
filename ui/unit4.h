#pragma once

#include "core/linkdialog.h"
#include "dialogs.h"

#include <QDialog>
#include <QGroupBox>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;

namespace Ordavex {

struct Settings;

inline const QString CaptionParamDialog = QStringLiteral("RS232Cﾊﾟﾗﾒｰﾀ設定");

// A framed group of exclusive radio buttons whose choice is the index of the checked one.
class RadioGroup final : public QGroupBox
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RadioGroup)

public:
    RadioGroup(const QString &title, const QStringList &items, QWidget *parent);
    ~RadioGroup() override;

    int itemIndex() const;      // -1 when none is checked
    void setItemIndex(int index);
    QRadioButton *button(int index) const;
    int count() const;

private:
    QButtonGroup *m_buttons;
};

// The parameter dialog of the serial link and the received-data logs. It edits the main
// window's settings record in place and has no OK or Cancel: whatever way it closes, its
// values are stored. Created once at start with the other windows and hidden between uses.
class TForm4 final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TForm4)

public:
    explicit TForm4(QWidget *parent = nullptr);
    ~TForm4() override;

    // The record the dialog edits, and the log folder text that stands for exLogFilePath
    // while the program runs (nullptr: the record's own exLogFilePath). Both must outlive
    // the next showing. Without a record the dialog shows the defaults and stores nothing.
    void setSettings(Settings *settings, QString *logFolder = nullptr);
    // The main window's open dialog, which browsing for the log folder shares.
    void setOpenDialog(Dialogs::OpenDialogState *openDialog);

    QTabWidget *Page1 = nullptr;
    QWidget *TabSheet1 = nullptr;
    QWidget *TabSheet2 = nullptr;

    QLabel *LabelLogPath = nullptr;
    QPushButton *bGetPath = nullptr;
    QPushButton *bLogPathClear = nullptr;
    QLineEdit *EditLogFilePath = nullptr;
    RadioGroup *RadioWaitTime = nullptr;
    RadioGroup *RadioExtName = nullptr;

    QGroupBox *GroupPort = nullptr;
    QLabel *Label1 = nullptr;
    QComboBox *ComboComName = nullptr;
    QLabel *Label2 = nullptr;
    QComboBox *ComboBauRate = nullptr;
    QLabel *Label3 = nullptr;
    QComboBox *ComboBiteSize = nullptr;
    QLabel *Label4 = nullptr;
    QComboBox *ComboParity = nullptr;
    QLabel *Label5 = nullptr;
    QComboBox *ComboStopBits = nullptr;

    QGroupBox *GroupColumns = nullptr;
    QLabel *Label7 = nullptr;
    QComboBox *ComboPlace = nullptr;
    QLabel *Label8 = nullptr;
    QComboBox *ComboLane = nullptr;
    QLabel *Label12 = nullptr;
    QComboBox *ComboZekken = nullptr;
    QLabel *Label9 = nullptr;
    QComboBox *ComboTime = nullptr;

    QLabel *Label13 = nullptr;
    QComboBox *ComboComName2 = nullptr;
    QCheckBox *UseSubCom = nullptr;
    QCheckBox *CheckTimerON2 = nullptr;

    void FormShow();
    void FormClose();
    void bLogPathClearClick();
    void bGetPathClick();

    void setVisible(bool visible) override;
    // Every way of closing (close box, Escape, done) ends here.
    void done(int result) override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void buildSlitDataTab();
    void buildPortTab();
    void showChoices(const LinkDialog::Choices &choices);
    LinkDialog::Choices currentChoices() const;

    Settings *m_settings = nullptr;
    QString *m_logFolder = nullptr;
    Dialogs::OpenDialogState *m_openDialog = nullptr;
    // Used when no main window lent its own.
    Dialogs::OpenDialogState m_ownOpenDialog;
};

extern TForm4 *Form4;

} // namespace Ordavex
