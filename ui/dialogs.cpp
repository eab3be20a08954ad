#include "dialogs.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>

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

QString runFileDialog(QWidget *parent, const Dialogs::FileRequest &request, bool save)
{
    const FocusKeeper focus;
    QFileDialog dialog(parent);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setNameFilters(ResultFileFilters());
    dialog.selectNameFilter(ResultFileFilters().constFirst());
    dialog.setDefaultSuffix(request.defaultSuffix);
    // Qt asks before overwriting unless told otherwise; the save dialog keeps that.
    if (!request.folder.isEmpty())
        dialog.setDirectory(request.folder);
    if (!request.fileName.isEmpty())
        dialog.selectFile(request.fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
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

void SystemDialogs::message(QWidget *parent, const QString &text)
{
    const FocusKeeper focus;
    QMessageBox box(QMessageBox::NoIcon, boxTitle(), text, QMessageBox::Ok, parent);
    box.exec();
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
    return runFileDialog(parent, request, true);
}

QString SystemDialogs::openFileName(QWidget *parent, const FileRequest &request)
{
    return runFileDialog(parent, request, false);
}

QStringList ResultFileFilters()
{
    return {QStringLiteral("CSV (*.csv)"), QStringLiteral("TXT (*.txt)")};
}

} // namespace Ordavex
