// The main window's timetable list, race selection, and the operations on the work
// folder: rename, delete and the clipboard copy.

#include "mainform.h"

#include "core/gridmodel.h"
#include "core/timetable.h"
#include "core/workfolder.h"
#include "guard.h"
#include "programwindows.h"
#include "unit2.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QSignalBlocker>

namespace Ordavex {

void TForm1::connectWorkFolderHandlers()
{
    ConnectHandler(AC_OpenTTBL, &QAction::triggered, this, &TForm1::AC_OpenTTBLExecute);
    ConnectHandler(RenameCsvFile, &QAction::triggered, this, &TForm1::RenameCsvFileExecute);
    ConnectHandler(ClipCopy, &QAction::triggered, this, &TForm1::ClipCopyExecute);
    ConnectHandler(openDelForm, &QAction::triggered, this, &TForm1::openDelFormExecute);
    // A click, or the arrow keys moving the selection, choose a race.
    ConnectHandler(ListDirBox, &QListWidget::itemClicked, this, &TForm1::ListDirBoxClick);
    ConnectHandler(ListDirBox, &QListWidget::currentRowChanged, this, &TForm1::ListDirBoxClick);
    connect(ListDirBox, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem *item) {
        Guarded(this, [this, item] {
            // The first click of a double click selects the line.
            ListDirBox->setCurrentItem(item);
            ListDirBoxDblClick();
        });
    });
}

void TForm1::AC_OpenTTBLExecute()
{
    // The starting folder stays as the dialog's last use left it.
    OpenDialog1.fileName = QStringLiteral("timetable.txt");
    OpenDialog1.filterIndex = 2;
    const QString chosen = Dialogs::instance().openFileName(this, OpenDialog1);
    if (chosen.isEmpty())
        return;
    // Filling the list selects nothing and chooses no race.
    const QSignalBlocker blocker(ListDirBox);
    ListDirBox->clear();
    // A file that cannot be read leaves the list empty, without a message.
    ListDirBox->addItems(NumberTimetableLines(ReadTimetableFile(chosen)));
    ListDirBox->setCurrentRow(-1);
}

void TForm1::ListDirBoxClick()
{
    const QListWidgetItem *item = ListDirBox->currentItem();
    if (!item || !item->isSelected())
        return;
    const std::optional<QString> race = MakeRaceName(item->text());
    if (!race)
        return;
    setTargetPath(RaceTargetPath(m_workFolder, *race));
}

void TForm1::ListDirBoxDblClick()
{
    ListDirBoxClick();
    RenameCsvFileExecute();
}

void TForm1::RenameCsvFileExecute()
{
    OpenDialog1.fileName.clear();
    OpenDialog1.filterIndex = 1;
    OpenDialog1.folder = m_workFolder;
    const QString source = Dialogs::instance().openFileName(this, OpenDialog1);
    if (source.isEmpty())
        return;
    // The destination is the race shown in the status bar, wherever the source lies.
    const QString panel = StatusPanel0->text();
    if (panel.isEmpty()) {
        showMessage(MsgRenameNamesMissing);
        return;
    }
    const QString destination = RenameDestination(panel);
    if (!Dialogs::instance().confirm(this, RenameQuestion(source, destination)))
        return;
    // An existing destination is never replaced; the operator is told, both files stay.
    if (!RenameResultFile(source, destination))
        showMessage(MsgRenameFailed);
    else
        boardListingChanged();
}

void TForm1::ClipCopyExecute()
{
    // Plain text; on Windows the system offers its code page 932 form to older programs.
    QGuiApplication::clipboard()->setText(ClipboardText(*m_grid));
    showMessage(MsgClipboardCopied);
}

void TForm1::openDelFormExecute()
{
    if (!Wanted(Form2))
        return;
    Form2->setFolder(m_workFolder);
    Form2->exec();
    boardListingChanged();
}

} // namespace Ordavex
