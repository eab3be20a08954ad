// Saving, opening and erasing a heat through the main window's actions.

#include "core/gridmodel.h"
#include "core/resultfile.h"
#include "core/textcodec.h"
#include "core/runtimeerror.h"
#include "ui/inputgrid.h"
#include "ui/mainform.h"
#include "ui/sankaspin.h"
#include "workfolderwindow.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

#include <memory>

using namespace Ordavex;
using namespace Ordavex::Testing;

class TestFiles final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void refusesIncompleteGrid();
    void savesAndClears();
    void savesWithoutClearing();
    void numberProblemsStopTheSave();
    void badWindStopsTheSave();
    void cancelChangesNothing();
    void failedWriteStillMovesTarget();
    void proposalWithoutWind();
    void opensWithWindAndTrims();
    void openRefusesTooManyLines();
    void openMissingFile();
    void eraseAsksFirst();
    void openOverLongerHeatLeavesNoOldRow();
    void eraseLeavesNoOldRow();
    void saveWithClearLeavesNoOldRow();
    void failedOpenLeavesNoOldRow();
    void fullHeatReopens();
    void invalidTimeStopsTheSave();
    void openedRowsWithoutPlacesAreNumbered();

private:
    TForm1 &form() { return *m_form; }
    ResultGrid &grid() { return *m_form->grid(); }
    QString work(const QString &name) const { return Paths::join(m_work->path(), name); }
    void fillHeat()
    {
        form().SankaSpinNum->setValue(3);
        const char *rows[][2] = {{"4", "1052"}, {"5", "1061"}, {"3", "10275"}};
        for (int r = 0; r < 3; ++r) {
            grid().setCell(1, r + 1, QString::fromLatin1(rows[r][0]));
            grid().setCell(2, r + 1, QString::fromLatin1(rows[r][1]));
        }
    }
    // A heat of ten competitors of which the last two are hidden by a row count of 8,
    // as when the operator lowered the count within that heat.
    void fillLongHeat()
    {
        form().SankaSpinNum->setValue(10);
        for (int r = 1; r <= 10; ++r) {
            grid().setCell(1, r, QString::number(r));
            grid().setCell(2, r, QString::number(1000 + r));
        }
        form().SankaSpinNum->setValue(8);
    }
    // No text of the heat before may show up in the rows a new heat gets.
    void verifyEmptyFrom(int firstRow)
    {
        for (int r = firstRow; r < grid().gridRowCount(); ++r) {
            QVERIFY2(grid().cell(1, r).isEmpty(), qPrintable(QStringLiteral("lane of row %1").arg(r)));
            QVERIFY2(grid().cell(2, r).isEmpty(), qPrintable(QStringLiteral("time of row %1").arg(r)));
        }
    }
    static QByteArray fileBytes(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    static void writeFile(const QString &path, const QByteArray &bytes)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    std::unique_ptr<WorkFolderWindow> m_window;
    ScriptedDialogs *m_dialogs = nullptr;
    ProgramFolder *m_folder = nullptr;
    ProgramFolder *m_work = nullptr;
    TForm1 *m_form = nullptr;
};

void TestFiles::init()
{
    m_window = std::make_unique<WorkFolderWindow>();
    m_dialogs = &m_window->dialogs;
    m_folder = &m_window->folder;
    m_work = &m_window->work;
    m_form = m_window->form.get();
}

void TestFiles::cleanup()
{
    m_window.reset();
}

void TestFiles::refusesIncompleteGrid()
{
    fillHeat();
    grid().setCell(2, 2, QString());
    form().FileSaveAS->trigger();
    QCOMPARE(m_dialogs->shown, QStringList({MsgGridNotFilled}));
    QVERIFY(m_dialogs->saveRequests.isEmpty());
}

void TestFiles::savesAndClears()
{
    fillHeat();
    form().EditKaze->setText(QStringLiteral("12"));
    const QString chosen = work(QStringLiteral("Untitledw_112.csv"));
    m_dialogs->files = {chosen};
    form().FileSaveAS->trigger();

    QCOMPARE(m_dialogs->saveRequests.size(), 1);
    QCOMPARE(m_dialogs->saveRequests[0].fileName, chosen);
    QCOMPARE(m_dialogs->saveRequests[0].folder, m_work->path());
    QCOMPARE(m_dialogs->shown, QStringList({MsgSavedClearing}));
    const QByteArray expected = QByteArray("\"\x8f\x87\x88\xca\",\"\xda\xb0\xdd\",\"\xc0\xb2\xd1\"\r\n"
                                           "\"1\",\"4\",\"10.52\"\r\n"
                                           "\"2\",\"5\",\"10.61\"\r\n"
                                           "\"3\",\"3\",\" 1:02.75\"\r\n");
    QCOMPARE(fileBytes(chosen), expected);
    QVERIFY(GridIsEmpty(grid()));
    QCOMPARE(grid().dataRowCount(), 3);
    QCOMPARE(form().EditKaze->text(), QString());
    QCOMPARE(form().targetPath(), chosen);
    QCOMPARE(form().StatusPanel0->text(), chosen);
    QCOMPARE(form().workFolder(), m_work->path() + Paths::separator());
}

void TestFiles::savesWithoutClearing()
{
    fillHeat();
    form().autoClear->setChecked(false);
    m_dialogs->files = {work(QStringLiteral("R1.csv"))};
    form().FileSaveAS->trigger();
    QCOMPARE(m_dialogs->shown, QStringList());
    QVERIFY(QFileInfo::exists(work(QStringLiteral("R1.csv"))));
    QCOMPARE(grid().cell(2, 3), QStringLiteral("10275"));
}

void TestFiles::numberProblemsStopTheSave()
{
    fillHeat();
    grid().setCell(1, 3, QStringLiteral("4"));
    form().InputGrid->setCurrentCell(2, 1);
    form().FileSaveAS->trigger();
    QCOMPARE(m_dialogs->shown, QStringList({MsgDuplicateNumber}));
    QCOMPARE(form().InputGrid->col(), 1);
    QCOMPARE(form().InputGrid->row(), 3);

    m_dialogs->clear();
    grid().setCell(1, 3, QStringLiteral("10000"));
    form().InputGrid->setCurrentCell(2, 1);
    form().FileSaveAS->trigger();
    QCOMPARE(m_dialogs->shown, QStringList({MsgNumberTooLarge.arg(9999)}));
    QCOMPARE(form().InputGrid->row(), 1);
    QCOMPARE(form().InputGrid->col(), 2);
    QVERIFY(m_dialogs->saveRequests.isEmpty());
}

void TestFiles::badWindStopsTheSave()
{
    fillHeat();
    form().EditKaze->setText(QStringLiteral("-"));
    form().FileSaveAS->trigger();
    QCOMPARE(m_dialogs->errors, QStringList({QStringLiteral("'-' は浮動小数点数ではありません")}));
    QVERIFY(m_dialogs->saveRequests.isEmpty());
    QCOMPARE(grid().cell(2, 1), QStringLiteral("1052"));
}

void TestFiles::cancelChangesNothing()
{
    fillHeat();
    const QString target = form().targetPath();
    form().FileSaveAS->trigger();
    QCOMPARE(m_dialogs->saveRequests.size(), 1);
    QCOMPARE(form().targetPath(), target);
    QCOMPARE(grid().cell(1, 1), QStringLiteral("4"));
    QCOMPARE(m_dialogs->shown, QStringList());
}

void TestFiles::failedWriteStillMovesTarget()
{
    fillHeat();
    const QString chosen = Paths::join(work(QStringLiteral("missing")), QStringLiteral("R2.csv"));
    m_dialogs->files = {chosen};
    form().FileSaveAS->trigger();
    QCOMPARE(m_dialogs->shown, QStringList({MsgCannotOpenFile, MsgSaveFailed}));
    QCOMPARE(grid().cell(2, 3), QStringLiteral("10275"));
    QCOMPARE(form().targetPath(), chosen);
    QCOMPARE(form().workFolder(), work(QStringLiteral("missing")) + Paths::separator());
    QCOMPARE(form().StatusPanel0->text(), chosen);
}

void TestFiles::proposalWithoutWind()
{
    fillHeat();
    form().setTargetPath(work(QStringLiteral("R1")));
    form().FileSaveAS->trigger();
    QCOMPARE(m_dialogs->saveRequests.at(0).fileName, work(QStringLiteral("R1")));
    m_dialogs->clear();
    form().setTargetPath(work(QStringLiteral("Bw_112")));
    form().EditKaze->setText(QStringLiteral("05"));
    form().FileSaveAS->trigger();
    QCOMPARE(m_dialogs->saveRequests.at(0).fileName, work(QStringLiteral("Bw_105.csv")));
    QCOMPARE(form().EditKaze->text(), QStringLiteral("+0.5"));
}

void TestFiles::opensWithWindAndTrims()
{
    const QString path = work(QStringLiteral("R1w_112.csv"));
    writeFile(path, "\"\x8f\x87\x88\xca\",\"\xda\xb0\xdd\",\"\xc0\xb2\xd1\"\r\n"
                    "\"1\",\"4\",\"10.52\"\r\n"
                    "\"2\",\"5\",\" 1:15.23\"\r\n"
                    "\"3\",\"3\",\"DNF\"\r\n"
                    "\"4\"\r\n"
                    "\"5\",\"6\",\"11.50\"\r\n");
    form().EditKaze->setText(QStringLiteral("+0.3"));
    m_dialogs->files = {path};
    form().AC_OpenFile->trigger();

    QCOMPARE(m_dialogs->shown, QStringList());
    QCOMPARE(m_dialogs->openRequests.at(0).folder, m_work->path());
    QCOMPARE(form().EditKaze->text(), QStringLiteral("+1.2"));
    QCOMPARE(form().targetPath(), work(QStringLiteral("R1.csv")));
    QCOMPARE(form().StatusPanel0->text(), work(QStringLiteral("R1.csv")));
    // Row 4 has no lane and no time: it and everything after it are cut off.
    QCOMPARE(grid().dataRowCount(), 3);
    QCOMPARE(form().SankaSpinNum->text(), QStringLiteral("3"));
    QCOMPARE(form().settings().Maxrunner, 3);
    QCOMPARE(grid().cell(0, 0), QStringLiteral("順位"));
    QCOMPARE(grid().cell(2, 2), QStringLiteral("11523"));
    QCOMPARE(grid().cell(2, 3), QStringLiteral("0"));
    QCOMPARE(form().InputGrid->col(), 1);
    QCOMPARE(form().InputGrid->row(), 1);

    // Saved again with another wind, the name carries the new code.
    form().EditKaze->setText(QStringLiteral("03"));
    form().FileSaveAS->trigger();
    QCOMPARE(m_dialogs->saveRequests.at(0).fileName, work(QStringLiteral("R1w_103.csv")));
}

void TestFiles::openRefusesTooManyLines()
{
    const QString path = work(QStringLiteral("big.csv"));
    QByteArray bytes = "\"a\",\"b\",\"c\"\r\n";
    for (int i = 1; i <= 501; ++i)
        bytes += QByteArray::number(i) + ",1,1000\r\n";
    writeFile(path, bytes);
    const QString status = form().StatusPanel0->text();
    m_dialogs->files = {path};
    form().AC_OpenFile->trigger();
    QCOMPARE(m_dialogs->shown, QStringList({MsgTooManyLines.arg(500), MsgOpenFailed}));
    QCOMPARE(grid().gridRowCount(), 2);
    QCOMPARE(form().StatusPanel0->text(), status);
    QCOMPARE(form().targetPath(), path);
    QCOMPARE(form().SankaSpinNum->text(), QStringLiteral("8"));
}

void TestFiles::openMissingFile()
{
    m_dialogs->files = {work(QStringLiteral("gone.csv"))};
    form().AC_OpenFile->trigger();
    QCOMPARE(m_dialogs->shown, QStringList({MsgReadFailure, MsgOpenFailed}));
}

void TestFiles::eraseAsksFirst()
{
    form().EditKaze->setText(QStringLiteral("+1.0"));
    form().EraseInputGrid->trigger();
    QCOMPARE(m_dialogs->confirmations, QStringList());
    QCOMPARE(form().EditKaze->text(), QStringLiteral("+1.0"));

    fillHeat();
    m_dialogs->answers = {false, true};
    form().EraseInputGrid->trigger();
    QCOMPARE(m_dialogs->confirmations, QStringList({MsgEraseConfirm}));
    QCOMPARE(grid().cell(1, 1), QStringLiteral("4"));
    form().EraseInputGrid->trigger();
    QVERIFY(GridIsEmpty(grid()));
    QCOMPARE(grid().cell(0, 3), QStringLiteral("3"));
    QCOMPARE(form().EditKaze->text(), QString());
}

void TestFiles::openOverLongerHeatLeavesNoOldRow()
{
    fillLongHeat();
    const QString path = work(QStringLiteral("R3.csv"));
    writeFile(path, "\"\x8f\x87\x88\xca\",\"\xda\xb0\xdd\",\"\xc0\xb2\xd1\"\r\n"
                    "\"1\",\"4\",\"10.52\"\r\n\"2\",\"5\",\"10.61\"\r\n\"3\",\"3\",\"10.75\"\r\n");
    m_dialogs->files = {path};
    form().AC_OpenFile->trigger();
    QCOMPARE(grid().dataRowCount(), 3);

    // Enter in the last row adds a new empty row.
    form().RadioButton4->setChecked(true);
    form().show();
    QVERIFY(QTest::qWaitForWindowActive(m_form));
    form().InputGrid->setCurrentCell(1, 3);
    form().focusInputGrid();
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(form().InputGrid->editor()));
    typeText(QStringLiteral("\n"));
    QCOMPARE(grid().dataRowCount(), 4);
    QCOMPARE(form().InputGrid->row(), 4);
    verifyEmptyFrom(4);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(form().InputGrid->editor()->text(), QString());
    form().SankaSpinNum->setValue(10);
    verifyEmptyFrom(4);
}

void TestFiles::eraseLeavesNoOldRow()
{
    fillLongHeat();
    m_dialogs->answers = {true};
    form().EraseInputGrid->trigger();
    QCOMPARE(m_dialogs->confirmations, QStringList({MsgEraseConfirm}));
    form().SankaSpinNum->setValue(10);
    verifyEmptyFrom(1);
}

void TestFiles::saveWithClearLeavesNoOldRow()
{
    fillLongHeat();
    m_dialogs->files = {work(QStringLiteral("R4.csv"))};
    form().FileSaveAS->trigger();
    QCOMPARE(m_dialogs->shown, QStringList({MsgSavedClearing}));
    form().SankaSpinNum->setValue(10);
    verifyEmptyFrom(1);
}

// The largest heat the grid holds is saved with its heading as 501 lines, and reopens.
void TestFiles::fullHeatReopens()
{
    form().autoClear->setChecked(false);
    form().SankaSpinNum->setValue(ResultGrid::MaxDataRows);
    for (int r = 1; r <= ResultGrid::MaxDataRows; ++r) {
        grid().setCell(1, r, QString::number(r));
        grid().setCell(2, r, QString::number(1000 + r));
    }
    const QString path = work(QStringLiteral("full.csv"));
    m_dialogs->files = {path, path};
    form().FileSaveAS->trigger();
    QCOMPARE(m_dialogs->shown, QStringList());
    form().SankaSpinNum->setValue(8);
    form().AC_OpenFile->trigger();
    QCOMPARE(m_dialogs->shown, QStringList());
    QCOMPARE(grid().gridRowCount(), ResultGrid::MaxRows);
    QCOMPARE(form().SankaSpinNum->value(), ResultGrid::MaxDataRows);
    QCOMPARE(grid().cell(1, 500), QStringLiteral("500"));
    QCOMPARE(grid().cell(2, 500), QStringLiteral("1500"));
}

// A time that would not reopen as it is saved never reaches the file.
void TestFiles::invalidTimeStopsTheSave()
{
    for (const QString &bad : {QStringLiteral("-1052"), QStringLiteral("-"), QStringLiteral("+")}) {
        m_dialogs->clear();
        fillHeat();
        grid().setCell(2, 2, bad);
        form().InputGrid->setCurrentCell(1, 1);
        form().FileSaveAS->trigger();
        QCOMPARE(m_dialogs->errors, QStringList{MsgNotAnInteger.arg(bad)});
        QVERIFY(m_dialogs->saveRequests.isEmpty());
        QCOMPARE(form().InputGrid->col(), 2);
        QCOMPARE(form().InputGrid->row(), 2);
        QCOMPARE(grid().cell(2, 2), bad);
    }
}

// Lines that begin with a comma leave the place cells of the file's rows empty; with the
// row count unchanged by the open, the rows still get their numbers and the heat saves.
void TestFiles::openedRowsWithoutPlacesAreNumbered()
{
    const QString path = work(QStringLiteral("noplaces.csv"));
    QByteArray bytes = "\"順位\",\"ﾚｰﾝ\",\"ﾀｲﾑ\"\r\n";
    bytes = Cp932::encode(QString::fromUtf8(bytes));
    for (int i = 1; i <= 8; ++i)
        bytes += "," + QByteArray::number(i) + ",\"10." + QByteArray::number(10 + i) + "\"\r\n";
    writeFile(path, bytes);
    m_dialogs->files = {path};
    form().AC_OpenFile->trigger();
    QCOMPARE(m_dialogs->shown, QStringList());
    QCOMPARE(form().SankaSpinNum->value(), 8);
    for (int r = 1; r <= 8; ++r)
        QCOMPARE(grid().cell(0, r), QString::number(r));
    const QString saved = work(QStringLiteral("numbered.csv"));
    m_dialogs->files = {saved};
    form().FileSaveAS->trigger();
    QCOMPARE(m_dialogs->shown, QStringList({MsgSavedClearing}));
    QVERIFY(QFile::exists(saved));
}

void TestFiles::failedOpenLeavesNoOldRow()
{
    fillLongHeat();
    const QString path = work(QStringLiteral("big.csv"));
    QByteArray bytes = "\"a\",\"b\",\"c\"\r\n";
    for (int i = 1; i <= 501; ++i)
        bytes += QByteArray::number(i) + ",1,1000\r\n";
    writeFile(path, bytes);
    m_dialogs->files = {path};
    form().AC_OpenFile->trigger();
    QCOMPARE(m_dialogs->shown, QStringList({MsgTooManyLines.arg(500), MsgOpenFailed}));
    form().SankaSpinNum->setValue(10);
    verifyEmptyFrom(1);
}

QTEST_MAIN(TestFiles)
#include "tst_ui_files.moc"
