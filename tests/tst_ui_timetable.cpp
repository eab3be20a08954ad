// The timetable list, race selection, renaming, the clipboard and the delete dialog,
// through the main window's actions and real mouse clicks.

#include "core/gridmodel.h"
#include "core/textcodec.h"
#include "core/timetable.h"
#include "core/workfolder.h"
#include "ui/mainform.h"
#include "ui/sankaspin.h"
#include "ui/unit2.h"
#include "workfolderwindow.h"

#include <QAction>
#include <QClipboard>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

#include <memory>

using namespace Ordavex;
using namespace Ordavex::Testing;
using namespace Qt::StringLiterals;

class TestTimetableWindow final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void loadsAndNumbers();
    void tooManyLinesRefused_data();
    void tooManyLinesRefused();
    void clickChoosesRace();
    void cancelKeepsListAndTarget();
    void raceNamesTheNextSave();
    void raceNeverLeavesWorkFolder();
    void sharedOpenDialogState();
    void renameAsksAndRenames();
    void renameOntoExistingFileTells();
    void renameAfterStartAddsNoSecondExtension();
    void doubleClickSelectsThenRenames();
    void clipboardCarriesGrid();
    void deleteDialogListsWorkFolder();

private:
    TForm1 &form() { return *m_form; }
    QString work(const QString &name) const { return Paths::join(m_work->path(), name); }
    QStringList items() const
    {
        QStringList texts;
        for (int i = 0; i < m_form->ListDirBox->count(); ++i)
            texts.append(m_form->ListDirBox->item(i)->text());
        return texts;
    }
    void writeFile(const QString &path, const QByteArray &bytes)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    void loadTimetable(const QString &text)
    {
        const QString path = work(u"timetable.txt"_s);
        writeFile(path, Cp932::encode(text));
        m_dialogs->files = {path};
        form().AC_OpenTTBL->trigger();
    }
    void clickItem(int index, bool twice = false)
    {
        QListWidget *list = m_form->ListDirBox;
        const QPoint at = list->visualItemRect(list->item(index)).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
        if (twice)
            QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    }

    std::unique_ptr<WorkFolderWindow> m_window;
    ScriptedDialogs *m_dialogs = nullptr;
    ProgramFolder *m_folder = nullptr;
    ProgramFolder *m_work = nullptr;
    TForm1 *m_form = nullptr;
    std::unique_ptr<TForm2> m_form2;
};

const QString Timetable = u"<男子100m>\r\n男子 100m 予選 1組 10:30\r\n\r\n決勝 <予備>\r\n女子 走幅跳 決勝\r\n"_s;

void TestTimetableWindow::init()
{
    m_window = std::make_unique<WorkFolderWindow>();
    m_dialogs = &m_window->dialogs;
    m_folder = &m_window->folder;
    m_work = &m_window->work;
    m_form = m_window->form.get();
    m_form2 = std::make_unique<TForm2>();
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form));
}

void TestTimetableWindow::cleanup()
{
    m_form2.reset();
    m_window.reset();
}

void TestTimetableWindow::loadsAndNumbers()
{
    loadTimetable(Timetable);
    QCOMPARE(items(), (QStringList{u"<男子100m>"_s, u"001) 男子 100m 予選 1組 10:30"_s, u"002) "_s, u"決勝 <予備>"_s,
                                   u"003) 女子 走幅跳 決勝"_s}));
    QVERIFY(form().ListDirBox->selectedItems().isEmpty());
    QCOMPARE(form().targetPath(), work(u"Untitled.csv"_s));

    // A second load replaces the list and numbers from 001 again; LF alone ends lines too.
    loadTimetable(u"a\nb\n"_s);
    QCOMPARE(items(), (QStringList{u"001) a"_s, u"002) b"_s}));

    // A file that cannot be read leaves the list empty, without a message.
    m_dialogs->files = {work(u"missing.txt"_s)};
    form().AC_OpenTTBL->trigger();
    QCOMPARE(items(), QStringList());
    QCOMPARE(m_dialogs->shown, QStringList());
    QCOMPARE(m_dialogs->errors, QStringList());
}

// A file of line ends alone would be millions of items and freeze the window: refused
// like a file that cannot be read, the list empty and no message.
void TestTimetableWindow::tooManyLinesRefused_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("items");
    QTest::newRow("16 MiB of line feeds") << QByteArray(16 * 1024 * 1024, '\n') << 0;
    QTest::newRow("one line over the limit") << QByteArray("race\r\n").repeated(MaxTimetableLines + 1) << 0;
    QTest::newRow("at the limit") << QByteArray("race\r\n").repeated(MaxTimetableLines) << int(MaxTimetableLines);
}

void TestTimetableWindow::tooManyLinesRefused()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, items);
    loadTimetable(u"a\r\nb\r\n"_s);
    QCOMPARE(form().ListDirBox->count(), 2);

    const QString path = work(u"big.txt"_s);
    writeFile(path, bytes);
    m_dialogs->files = {path};
    form().AC_OpenTTBL->trigger();
    QCOMPARE(form().ListDirBox->count(), items);
    if (items > 0)
        QCOMPARE(form().ListDirBox->item(items - 1)->text(), QString::number(items) + u") race"_s);
    QCOMPARE(m_dialogs->shown, QStringList());
    QCOMPARE(m_dialogs->errors, QStringList());
    QCOMPARE(form().targetPath(), work(u"Untitled.csv"_s));
}

void TestTimetableWindow::clickChoosesRace()
{
    loadTimetable(Timetable);
    clickItem(1);
    const QString first = work(u"001)男子100m予選1組10_30"_s);
    QCOMPARE(form().targetPath(), first);
    QCOMPARE(form().StatusPanel0->text(), first);
    clickItem(2);
    QCOMPARE(form().targetPath(), work(u"002)"_s));
    // Unnumbered lines change nothing.
    clickItem(0);
    QCOMPARE(form().targetPath(), work(u"002)"_s));
    clickItem(3);
    QCOMPARE(form().targetPath(), work(u"002)"_s));
    clickItem(4);
    QCOMPARE(form().StatusPanel0->text(), work(u"003)女子走幅跳決勝"_s));
}

void TestTimetableWindow::cancelKeepsListAndTarget()
{
    loadTimetable(Timetable);
    clickItem(1);
    const QString target = form().targetPath();
    m_dialogs->files = {};
    form().AC_OpenTTBL->trigger();
    QCOMPARE(items().size(), 5);
    QCOMPARE(form().targetPath(), target);
}

void TestTimetableWindow::raceNamesTheNextSave()
{
    loadTimetable(Timetable);
    clickItem(4);
    form().SankaSpinNum->setValue(2);
    form().grid()->setCell(1, 1, u"4"_s);
    form().grid()->setCell(2, 1, u"1052"_s);
    form().grid()->setCell(1, 2, u"5"_s);
    form().grid()->setCell(2, 2, u"1061"_s);
    form().setWindText(u"-05"_s);
    m_dialogs->files = {};
    form().FileSaveAS->trigger();
    QCOMPARE(m_dialogs->saveRequests.size(), 1);
    QCOMPARE(m_dialogs->saveRequests[0].fileName, work(u"003)女子走幅跳決勝w_905.csv"_s));
}

void TestTimetableWindow::raceNeverLeavesWorkFolder()
{
    loadTimetable(u"../../etc/passwd\n..\n/tmp/x\n"_s);
    for (int i = 0; i < 3; ++i) {
        clickItem(i);
        QCOMPARE(Paths::folderOf(form().targetPath()), m_work->path() + u'/');
    }
    QCOMPARE(form().targetPath(), work(u"003)_tmp_x"_s));
}

// Every use of the one open dialog starts from what the Parts of the window set, and
// from what the last use left otherwise.
void TestTimetableWindow::sharedOpenDialogState()
{
    const QString elsewhere = m_folder->path();
    form().OpenDialog1.folder = elsewhere;
    loadTimetable(Timetable);
    QCOMPARE(m_dialogs->openRequests.size(), 1);
    QCOMPARE(m_dialogs->openRequests[0].fileName, u"timetable.txt"_s);
    QCOMPARE(m_dialogs->openRequests[0].filterIndex, 2);
    QCOMPARE(m_dialogs->openRequests[0].folder, elsewhere);   // not set by the timetable

    m_dialogs->files = {};
    form().RenameCsvFile->trigger();
    QCOMPARE(m_dialogs->openRequests[1].fileName, QString());
    QCOMPARE(m_dialogs->openRequests[1].filterIndex, 1);
    QCOMPARE(m_dialogs->openRequests[1].folder, m_work->path());

    form().OpenDialog1.filterIndex = 2;
    form().OpenDialog1.folder = elsewhere;
    form().AC_OpenFile->trigger();
    QCOMPARE(m_dialogs->openRequests[2].fileName, QString());
    QCOMPARE(m_dialogs->openRequests[2].filterIndex, 1);
    QCOMPARE(m_dialogs->openRequests[2].folder, m_work->path());
}

void TestTimetableWindow::renameAsksAndRenames()
{
    loadTimetable(Timetable);
    clickItem(1);
    const QString source = work(u"heat1.csv"_s);
    writeFile(source, "heat");
    m_dialogs->files = {source};
    m_dialogs->answers = {true};
    form().RenameCsvFile->trigger();
    QCOMPARE(m_dialogs->confirmations,
             QStringList{u"ファイル名を変更しますか ?\nheat1.csv\nを\n001)男子100m予選1組10_30.csv\nへ"_s});
    QVERIFY(!QFile::exists(source));
    QVERIFY(QFile::exists(work(u"001)男子100m予選1組10_30.csv"_s)));
    QCOMPARE(m_dialogs->shown, QStringList());
    // Nothing else moves.
    QCOMPARE(form().targetPath(), work(u"001)男子100m予選1組10_30"_s));
    QCOMPARE(items().size(), 5);

    // No: nothing happens.
    const QString other = work(u"heat2.csv"_s);
    writeFile(other, "other");
    clickItem(4);
    m_dialogs->files = {other};
    m_dialogs->answers = {false};
    form().RenameCsvFile->trigger();
    QVERIFY(QFile::exists(other));
    QVERIFY(!QFile::exists(work(u"003)女子走幅跳決勝.csv"_s)));
}

void TestTimetableWindow::renameOntoExistingFileTells()
{
    loadTimetable(Timetable);
    clickItem(1);
    const QString source = work(u"heat1.csv"_s);
    const QString taken = work(u"001)男子100m予選1組10_30.csv"_s);
    writeFile(source, "new");
    writeFile(taken, "old");
    m_dialogs->files = {source};
    m_dialogs->answers = {true};
    form().RenameCsvFile->trigger();
    QCOMPARE(m_dialogs->shown, QStringList{MsgRenameFailed});
    QFile a(source), b(taken);
    QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
    QCOMPARE(a.readAll(), QByteArray("new"));
    QCOMPARE(b.readAll(), QByteArray("old"));
}

void TestTimetableWindow::renameAfterStartAddsNoSecondExtension()
{
    // The start-up target path ends in ".csv" already.
    const QString source = work(u"heat1.csv"_s);
    writeFile(source, "heat");
    m_dialogs->files = {source};
    m_dialogs->answers = {true};
    form().RenameCsvFile->trigger();
    QCOMPARE(m_dialogs->confirmations, QStringList{u"ファイル名を変更しますか ?\nheat1.csv\nを\nUntitled.csv\nへ"_s});
    QVERIFY(QFile::exists(work(u"Untitled.csv"_s)));
    QVERIFY(!QFile::exists(work(u"Untitled.csv.csv"_s)));
}

void TestTimetableWindow::doubleClickSelectsThenRenames()
{
    loadTimetable(Timetable);
    const QString source = work(u"heat3.csv"_s);
    writeFile(source, "heat");
    m_dialogs->files = {source};
    m_dialogs->answers = {true};
    clickItem(4, true);
    QCOMPARE(form().targetPath(), work(u"003)女子走幅跳決勝"_s));
    QVERIFY(QFile::exists(work(u"003)女子走幅跳決勝.csv"_s)));
}

void TestTimetableWindow::clipboardCarriesGrid()
{
    form().SankaSpinNum->setValue(3);
    form().grid()->setCell(1, 1, u"4"_s);
    form().grid()->setCell(2, 1, u"1052"_s);
    form().grid()->setCell(1, 3, u"3"_s);
    form().grid()->setCell(2, 3, u"10275"_s);
    form().ClipCopy->trigger();
    QCOMPARE(m_dialogs->shown, QStringList{u"ｸﾘｯﾌﾟﾎﾞｰﾄﾞにｺﾋﾟｰしました。"_s});
    QCOMPARE(QGuiApplication::clipboard()->text(), u"1\t4\t1052\n2\t\t\n3\t3\t10275\n"_s);
    // The grid is not touched.
    QCOMPARE(form().grid()->cell(2, 1), u"1052"_s);
}

void TestTimetableWindow::deleteDialogListsWorkFolder()
{
    writeFile(work(u"a.csv"_s), "x");
    writeFile(work(u"b.TXT"_s), "x");
    QStringList seen;
    QString panel;
    // The dialog is modal: look into it and close it from inside its own loop.
    QTimer::singleShot(0, this, [&] {
        for (int i = 0; i < m_form2->FileListBox1->count(); ++i)
            seen.append(m_form2->FileListBox1->item(i)->text());
        panel = m_form2->DirPanel->text();
        QTest::mouseClick(m_form2->Button2, Qt::LeftButton);
    });
    form().openDelForm->trigger();
    QCOMPARE(seen, (QStringList{u"a.csv"_s, u"b.TXT"_s}));
    QCOMPARE(panel, m_work->path());
    QVERIFY(!m_form2->isVisible());
}

QTEST_MAIN(TestTimetableWindow)
#include "tst_ui_timetable.moc"
