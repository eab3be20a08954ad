#include "dialogs.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

namespace Ordavex {

namespace {

Dialogs *g_override = nullptr;

// Gives the keyboard focus back to the widget that had it before a modal box, so the
// operator types on where they were: not every window system re-activates the window
// below a closed box by itself.
class FocusKeeper final
{
public:
    FocusKeeper() : m_widget(QApplication::focusWidget()) {}
    ~FocusKeeper()
    {
        if (m_widget && m_widget->isVisible()) {
            m_widget->activateWindow();
            m_widget->setFocus(Qt::ActiveWindowFocusReason);
        }
    }
    FocusKeeper(const FocusKeeper &) = delete;
    FocusKeeper &operator=(const FocusKeeper &) = delete;

private:
    QPointer<QWidget> m_widget;
};

QString boxTitle()
{
    return QApplication::applicationDisplayName().isEmpty() ? QStringLiteral("Ordavex")
                                                            : QApplication::applicationDisplayName();
}

// filterIndex is 1-based, as the dialogs' users count it.
QString runFileDialog(QWidget *parent, const QString &folder, const QString &fileName, int *filterIndex, bool save)
{
    const FocusKeeper focus;
    QFileDialog dialog(parent);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    // The open dialog takes a typed name that does not exist; the reader then fails.
    dialog.setFileMode(QFileDialog::AnyFile);
    const QStringList filters = ResultFileFilters();
    dialog.setNameFilters(filters);
    dialog.selectNameFilter(filters.value(*filterIndex - 1, filters.constFirst()));
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    // Qt asks before overwriting unless told otherwise; the save dialog keeps that.
    if (!folder.isEmpty())
        dialog.setDirectory(folder);
    if (!fileName.isEmpty())
        dialog.selectFile(fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    *filterIndex = int(filters.indexOf(dialog.selectedNameFilter())) + 1;
    if (*filterIndex < 1)
        *filterIndex = 1;
    return QDir::toNativeSeparators(dialog.selectedFiles().constFirst());
}

} // namespace

Dialogs &Dialogs::instance()
{
    static SystemDialogs system;
    return g_override ? *g_override : system;
}

void Dialogs::setInstance(Dialogs *dialogs)
{
    g_override = dialogs;
}

bool Dialogs::print(QWidget *, QPrinter &)
{
    return false;
}

QString Dialogs::folderName(QWidget *, const QString &)
{
    return {};
}

// Stand-ins answer it as a confirmation: Yes waits.
Dialogs::WaitAnswer Dialogs::waitOrQuit(QWidget *parent, const QString &text, const std::function<bool()> &settled)
{
    if (settled())
        return WaitAnswer::Settled;
    return confirm(parent, text) ? WaitAnswer::Wait : WaitAnswer::Quit;
}

Dialogs::WaitAnswer SystemDialogs::waitOrQuit(QWidget *parent, const QString &text,
                                              const std::function<bool()> &settled)
{
    if (settled())
        return WaitAnswer::Settled;
    const FocusKeeper focus;
    QMessageBox box(QMessageBox::Warning, boxTitle(), text, QMessageBox::NoButton, parent);
    QPushButton *wait = box.addButton(QStringLiteral("待つ"), QMessageBox::AcceptRole);
    QPushButton *quit = box.addButton(QStringLiteral("終了"), QMessageBox::DestructiveRole);
    box.setDefaultButton(wait);
    box.setEscapeButton(wait);
    bool cameTrue = false;
    QTimer poll;
    poll.setInterval(WaitPollMs);
    QObject::connect(&poll, &QTimer::timeout, &box, [&] {
        if (settled()) {
            cameTrue = true;
            box.done(0);
        }
    });
    poll.start();
    box.exec();
    if (cameTrue || settled())
        return WaitAnswer::Settled;
    return box.clickedButton() == quit ? WaitAnswer::Quit : WaitAnswer::Wait;
}

QString SystemDialogs::folderName(QWidget *parent, const QString &folder)
{
    const FocusKeeper focus;
    return QDir::toNativeSeparators(QFileDialog::getExistingDirectory(parent, QString(), folder));
}

void SystemDialogs::message(QWidget *parent, const QString &text)
{
    const FocusKeeper focus;
    QMessageBox box(QMessageBox::NoIcon, boxTitle(), text, QMessageBox::Ok, parent);
    box.exec();
}

void SystemDialogs::notify(QWidget *parent, const QString &text)
{
    static const QString name = QStringLiteral("OrdavexNotice");
    static QPointer<QMessageBox> orphan;
    // One closed with OK is on its way out (deleted later): only an open one is reused.
    QMessageBox *box = orphan && orphan->isVisible() ? orphan.data() : nullptr;
    if (parent) {
        box = nullptr;
        for (QMessageBox *open : parent->findChildren<QMessageBox *>(name, Qt::FindDirectChildrenOnly)) {
            if (open->isVisible())
                box = open;
        }
    }
    if (!box) {
        box = new QMessageBox(QMessageBox::NoIcon, boxTitle(), text, QMessageBox::Ok, parent);
        box->setObjectName(name);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setWindowModality(Qt::NonModal);
        if (!parent)
            orphan = box;
    }
    box->setText(text);
    box->show();
    box->raise();
}

bool SystemDialogs::confirm(QWidget *parent, const QString &text)
{
    const FocusKeeper focus;
    QMessageBox box(QMessageBox::Question, QStringLiteral("確認"), text,
                    QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

void SystemDialogs::error(QWidget *parent, const QString &text)
{
    const FocusKeeper focus;
    QMessageBox box(QMessageBox::Critical, boxTitle(), text, QMessageBox::Ok, parent);
    box.exec();
}

QString SystemDialogs::saveFileName(QWidget *parent, const FileRequest &request)
{
    int filterIndex = 1;
    return runFileDialog(parent, request.folder, request.fileName, &filterIndex, true);
}

QString SystemDialogs::openFileName(QWidget *parent, OpenDialogState &state)
{
    const QString chosen = runFileDialog(parent, state.folder, state.fileName, &state.filterIndex, false);
    if (!chosen.isEmpty())
        state.fileName = chosen;
    return chosen;
}

bool SystemDialogs::print(QWidget *parent, QPrinter &printer)
{
    const FocusKeeper focus;
    QPrintDialog dialog(&printer, parent);
    // One heat is printed whole: no page ranges, no selection.
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
    dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
    return dialog.exec() == QDialog::Accepted;
}

QStringList ResultFileFilters()
{
    return {QStringLiteral("CSV (*.csv)"), QStringLiteral("TXT (*.txt)")};
}

} // namespace Ordavex
