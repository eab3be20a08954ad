#pragma once

#include <QDialog>

class QLabel;
class QListWidget;
class QPushButton;

namespace Ordavex {

inline const QString CaptionDeleteDialog = QStringLiteral("ﾌｧｲﾙの削除");

// The delete dialog that removes result files from the work folder. Created once at start with the
// other windows and hidden between uses; every showing lists the folder afresh.
class TForm2 final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TForm2)

public:
    explicit TForm2(QWidget *parent = nullptr);
    ~TForm2() override;

    // The folder the next showing lists: the main window's work folder at that moment.
    void setFolder(const QString &folder) { m_folder = folder; }
    const QString &folder() const { return m_folder; }

    QLabel *DirPanel = nullptr;
    QListWidget *FileListBox1 = nullptr;
    QPushButton *Button1 = nullptr;
    QPushButton *Button2 = nullptr;

    void FormShow();
    void Button1Click();
    void Button2Click();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void readFolder();

    QString m_folder;
};

extern TForm2 *Form2;

} // namespace Ordavex
