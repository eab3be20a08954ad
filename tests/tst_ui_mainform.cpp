// Start-up, settings round trip, closing, the message seam and the row-count field of
// the main window.

#include "filesizelimit.h"
#include "core/gridmodel.h"
#include "core/resultfile.h"
#include "core/runtimeerror.h"
#include "core/settings.h"
#include "ui/dialogs.h"
#include "ui/guard.h"
#include "ui/inputgrid.h"
#include "ui/mainform.h"
#include "ui/rs232cfunc.h"
#include "ui/sankaspin.h"
#include "uitest.h"

#include <QAction>
#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QHeaderView>
#include <QMenuBar>
#include <QScrollBar>
#include <QStatusBar>
#include <QToolBar>
#include <QToolTip>

#include <QElapsedTimer>
#include <QFile>

#include <QProcess>
#include <QScopeGuard>
#include <QSemaphore>
#include <QStandardPaths>
#include <QThread>

#include <atomic>
#include <memory>
#include <optional>
#include <thread>

#include <unistd.h>

using namespace Ordavex;
using namespace Ordavex::Testing;

class TestMainForm final : public QObject
{
    Q_OBJECT

private slots:
    void errorsOffWindowThreadOpenNoBox();
    void defaultsWithoutSettingsFile();
    void emptyLogFolderIsCreated();
    void unreachableLogFolderIsKept();
    void storedValuesAreNormalised_data();
    void storedValuesAreNormalised();
    void targetPathJoinsWorkFolder_data();
    void targetPathJoinsWorkFolder();
    void answerNoStillWritesSettings();
    void windowStateIsWrittenBack();
    void unreadableSettingsAreNeverOverwritten();
    void unstorableFolderKeepsOldValue();
    void monitorVisibleRefusesClose();
    void failedSettingsWriteKeepsWindowOpen();
    void captionChangesWhenShown();
    void actionsInOrder();
    void handlerErrorsAreShownAndSurvived();
    void realBoxesAnswer();
    void headingsFollowSwapAndAssignment();
    void strayPlaceColumnIsIgnored();
    void hiddenRowsKeepTheirTexts();
    void rowsFromAnotherWindowReplaceTheHeat();
    void rowCountFieldFollowsTyping();
    void rowCountSameValueRunsNothing();
    void statusBarKeepsTargetPath();
    void toolTipsOnlyFromHints();
    void numberColumnTakesNoCursor();
    void numberColumnStaysInView();
    // The recovery file.
    void recoveryFollowsEveryChange_data();
    void recoveryFollowsEveryChange();
    void restoreAnswerYesBringsBackTheHeat();
    void restoreAnswerNoDiscardsIt();
    void unreadableRecoveryIsSetAside_data();
    void unreadableRecoveryIsSetAside();
    void saveAndEraseRemoveRecovery();
    void closeKeepsOnlyAnUnsavedHeat_data();
    void closeKeepsOnlyAnUnsavedHeat();
    void failedRecoveryWriteIsToldOnce();
    void noticeTakesNoKeys();
    void slowDiskHoldsNothingUp();
    void hungWriteIsToldBesideOtherNotices();
    void closeNeverFreezesOnAHungDisk_data();
    void closeNeverFreezesOnAHungDisk();
    void unremovableRecoveryIsNeverOfferedUntold_data();
    void unremovableRecoveryIsNeverOfferedUntold();

private:
    // A disk whose sync does not come back until the gate opens (or 20 s pass, so that a
    // window that waits for it fails the test rather than hangs it).
    static RecoveryWriter::SaveFunction hungDisk(const std::shared_ptr<QSemaphore> &gate)
    {
        return [gate](const QString &path, QByteArrayView bytes) {
            gate->tryAcquire(1, 20000);
            gate->release();
            return SaveFileAtomically(path, bytes);
        };
    }
    // Runs chattr on a path; false where it is missing or refused (not root, a file
    // system without the attribute).
    static bool chattr(const QString &flag, const QString &path)
    {
        const QString program = QStandardPaths::findExecutable(QStringLiteral("chattr"));
        return !program.isEmpty() && QProcess::execute(program, {flag, path}) == 0;
    }
    static std::optional<RecoveredHeat> recoveryOnDisk(const TForm1 &form)
    {
        QFile file(form.recoveryPath());
        if (!file.open(QIODevice::ReadOnly))
            return std::nullopt;
        return ReadRecovery(file.readAll());
    }
    // Waits until the recovery file holds the heat on the grid; the milliseconds taken.
    static qint64 waitForRecovery(const TForm1 &form)
    {
        QElapsedTimer waited;
        waited.start();
        while (recoveryOnDisk(form) != form.currentHeat() && waited.elapsed() < 5000)
            QTest::qWait(5);
        return recoveryOnDisk(form) == form.currentHeat() ? waited.elapsed() : -1;
    }
    static void typeHeat(TForm1 &form)
    {
        form.show();
        QApplication::setActiveWindow(&form);
        form.focusInputGrid();
        typeText(QStringLiteral("4\n1052\n5\n61\n"));
        form.EditKaze->setText(QStringLiteral("+1.2"));
    }

    // A disk whose every sync takes that long.
    static RecoveryWriter::SaveFunction slowDisk(int ms)
    {
        return [ms](const QString &path, QByteArrayView bytes) {
            QThread::msleep(ms);
            return SaveFileAtomically(path, bytes);
        };
    }

    static QByteArray withParams(const QByteArray &lines)
    {
        return "[Params]\r\n" + lines;
    }
    static Settings writtenSettings(const ProgramFolder &folder)
    {
        return ReadSettings(folder.settingsFile(), QStringLiteral("unused"));
    }
};

void TestMainForm::defaultsWithoutSettingsFile()
{
    ScriptedDialogs dialogs;
    ProgramFolder folder;
    TForm1 form(folder.appPaths());

    QCOMPARE(dialogs.shown, QStringList());
    QCOMPARE(form.workFolder(), folder.path());
    QCOMPARE(form.logFolder(), folder.path());
    QCOMPARE(form.grid()->gridRowCount(), 9);
    QCOMPARE(form.grid()->cell(0, 0), QStringLiteral("順位"));
    QCOMPARE(form.grid()->cell(1, 0), QStringLiteral("ﾚｰﾝ"));
    QCOMPARE(form.grid()->cell(2, 0), QStringLiteral("ﾀｲﾑ"));
    for (int row = 1; row <= 8; ++row)
        QCOMPARE(form.grid()->cell(0, row), QString::number(row));
    QVERIFY(form.RadioButton1->isChecked());
    QVERIFY(form.RadioButton5->isChecked());
    QVERIFY(form.RadioButton3->isChecked());
    QCOMPARE(form.LblCurWay->text(), QStringLiteral("→"));
    for (QCheckBox *box : {form.QuickInput, form.validCheck, form.sixtyFix, form.autoInc, form.autoClear})
        QVERIFY(box->isChecked());
    QCOMPARE(form.SankaSpinNum->text(), QStringLiteral("8"));
    QCOMPARE(form.targetPath(), Paths::join(folder.path(), QStringLiteral("Untitled.csv")));
    QCOMPARE(form.StatusPanel0->text(), form.targetPath());
    QCOMPARE(form.windowTitle(), CaptionBuilding);
    QCOMPARE(form.activePort(), 0);
    QCOMPARE(form.activeMachine(), 0);
    QVERIFY(form.activeTimer());
}

void TestMainForm::emptyLogFolderIsCreated()
{
    ScriptedDialogs dialogs;
    ProgramFolder folder;
    folder.writeSettings("[WorkFiles]\r\nexLogFilePath=\r\n");
    const QString log = Paths::join(folder.path(), QStringLiteral("log"));
    TForm1 form(folder.appPaths());

    QVERIFY(QFileInfo(log).isDir());
    QCOMPARE(form.logFolder(), log);
    QCOMPARE(dialogs.shown,
             QStringList({QStringLiteral("Created ") + log,
                          QStringLiteral("ログファイルの出力先を\n%1\nに設定しました。").arg(log)}));
}

void TestMainForm::unreachableLogFolderIsKept()
{
    ScriptedDialogs dialogs;
    ProgramFolder folder;
    const QString unreachable = Paths::join(folder.path(), QStringLiteral("share/results"));
    folder.writeSettings("[WorkFiles]\r\nexLogFilePath=" + unreachable.toUtf8() + "\r\n");
    {
        TForm1 form(folder.appPaths());
        QCOMPARE(form.logFolder(), unreachable);
        QCOMPARE(dialogs.shown,
                 QStringList({QStringLiteral("ログファイルの出力先\n%1 に接続できませんでした。\nネットワークが切れてないか確認して下さい。")
                                  .arg(unreachable)}));
        QVERIFY(!QFileInfo::exists(unreachable));
        dialogs.answers = {true};
        QVERIFY(form.close());
    }
    QCOMPARE(writtenSettings(folder).exLogFilePath, unreachable);
}

void TestMainForm::storedValuesAreNormalised_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("maxrunner");
    QTest::addColumn<int>("raceKind");
    QTest::addColumn<int>("assigKind");
    QTest::addColumn<int>("curStyle");
    QTest::addColumn<int>("bauRate");

    QTest::newRow("3 rows become 8") << QByteArray("Maxrunner=3\r\n") << 9 << 8 << 1 << 5 << 3 << 8;
    QTest::newRow("900 rows become 500") << QByteArray("Maxrunner=900\r\n") << 501 << 500 << 1 << 5 << 3 << 8;
    QTest::newRow("12 rows stay") << QByteArray("Maxrunner=12\r\n") << 13 << 12 << 1 << 5 << 3 << 8;
    QTest::newRow("race kind 0 is road") << QByteArray("RaceKind=0\r\n") << 9 << 8 << 2 << 5 << 3 << 8;
    QTest::newRow("assignment 0 is number") << QByteArray("AssigKind=0\r\n") << 9 << 8 << 1 << 6 << 3 << 8;
    QTest::newRow("cursor 7 is vertical") << QByteArray("CurStyle=7\r\n") << 9 << 8 << 1 << 5 << 4 << 8;
    QTest::newRow("hex rate") << QByteArray("cBauRate=0x10\r\n") << 9 << 8 << 1 << 5 << 3 << 16;
    QTest::newRow("letters rate") << QByteArray("cBauRate=fast\r\n") << 9 << 8 << 1 << 5 << 3 << 8;
}

void TestMainForm::storedValuesAreNormalised()
{
    QFETCH(QByteArray, stored);
    QFETCH(int, rows);
    ScriptedDialogs dialogs;
    ProgramFolder folder;
    folder.writeSettings(withParams(stored));
    {
        TForm1 form(folder.appPaths());
        QCOMPARE(form.grid()->gridRowCount(), rows);
        QCOMPARE(form.grid()->cell(0, rows - 1), QString::number(rows - 1));
        dialogs.answers = {true};
        QVERIFY(form.close());
    }
    const Settings written = writtenSettings(folder);
    QTEST(written.Maxrunner, "maxrunner");
    QTEST(written.RaceKind, "raceKind");
    QTEST(written.AssigKind, "assigKind");
    QTEST(written.CurStyle, "curStyle");
    QTEST(written.cBauRate, "bauRate");
}

void TestMainForm::targetPathJoinsWorkFolder_data()
{
    QTest::addColumn<bool>("trailingSeparator");
    QTest::newRow("without separator") << false;
    QTest::newRow("with separator") << true;
}

void TestMainForm::targetPathJoinsWorkFolder()
{
    QFETCH(bool, trailingSeparator);
    ScriptedDialogs dialogs;
    ProgramFolder folder;
    QTemporaryDir work;
    const QString workFolder = QDir::toNativeSeparators(work.path()) + (trailingSeparator ? QString(Paths::separator()) : QString());
    folder.writeSettings("[WorkFiles]\r\nexFilePath=" + workFolder.toUtf8() + "\r\n");
    TForm1 form(folder.appPaths());
    QCOMPARE(form.targetPath(), QDir::toNativeSeparators(work.path()) + Paths::separator() + QStringLiteral("Untitled.csv"));
}

void TestMainForm::answerNoStillWritesSettings()
{
    ScriptedDialogs dialogs;
    ProgramFolder folder;
    TForm1 form(folder.appPaths());
    form.show();
    dialogs.answers = {false};
    QVERIFY(!form.close());
    QVERIFY(form.isVisible());
    QCOMPARE(dialogs.confirmations, QStringList({MsgConfirmExit}));
    QVERIFY(QFileInfo::exists(folder.settingsFile()));
    QCOMPARE(writtenSettings(folder).Maxrunner, 8);
}

// Defaults that stood in for a settings file that could not be read never replace it.
void TestMainForm::unreadableSettingsAreNeverOverwritten()
{
    ScriptedDialogs dialogs;
    ProgramFolder folder;
    // Far larger than any settings file: not read, as a read failing part-way would not be.
    QByteArray huge = "[Params]\r\nMaxrunner=20\r\n";
    huge += QByteArray(2 * 1024 * 1024, ';');
    folder.writeSettings(huge);
    TForm1 form(folder.appPaths());
    QCOMPARE(dialogs.shown, QStringList{MsgSettingsUnreadable.arg(folder.settingsFile())});
    form.show();
    dialogs.answers = {false, true};
    QVERIFY(!form.close());
    QVERIFY(form.close());
    QCOMPARE(dialogs.errors, QStringList());
    QCOMPARE(folder.settingsBytes(), huge);
}

// A folder name that code page 932 cannot hold is not stored as "?": the old value
// stays, and the operator hears of it once.
void TestMainForm::unstorableFolderKeepsOldValue()
{
    ScriptedDialogs dialogs;
    ProgramFolder folder;
    const QByteArray old = "[WorkFiles]\r\nexFilePath=" + folder.path().toUtf8() + "\r\n";
    folder.writeSettings(old);
    TForm1 form(folder.appPaths());
    form.show();
    // The work folder follows a file opened in a folder named with such characters.
    const QString odd = Paths::join(folder.path(), QStringLiteral("Läufe josé"));
    QVERIFY(QDir().mkpath(odd));
    dialogs.files = {Paths::join(odd, QStringLiteral("missing.csv"))};
    form.AC_OpenFile->trigger();
    QCOMPARE(form.workFolder(), odd + u'/');
    dialogs.clear();
    dialogs.answers = {false, false};
    QVERIFY(!form.close());
    QVERIFY(!form.close());
    QCOMPARE(dialogs.shown, QStringList{MsgSettingsNotStored.arg(QStringLiteral("exFilePath"))});
    QCOMPARE(writtenSettings(folder).exFilePath, folder.path());
}

void TestMainForm::windowStateIsWrittenBack()
{
    ScriptedDialogs dialogs;
    ProgramFolder folder;
    folder.writeSettings("; kept\r\n[Params]\r\nUnknownKey=42\r\n");
    {
        TForm1 form(folder.appPaths());
        form.RadioButton2->setChecked(true);
        form.RadioButton6->setChecked(true);
        form.RadioButton4->setChecked(true);
        form.sixtyFix->setChecked(false);
        form.autoClear->setChecked(false);
        form.SankaSpinNum->setValue(20);
        form.SwapFixRow->click();
        dialogs.answers = {true};
        QVERIFY(form.close());
    }
    const Settings written = writtenSettings(folder);
    QCOMPARE(written.RaceKind, 2);
    QCOMPARE(written.AssigKind, 6);
    QCOMPARE(written.CurStyle, 4);
    QCOMPARE(written.sixtyFix, false);
    QCOMPARE(written.autoClear, false);
    QCOMPARE(written.QuickInput, true);
    QCOMPARE(written.Maxrunner, 20);
    QCOMPARE(written.NumColID, 1);
    QCOMPARE(written.exFilePath, folder.path());
    const QByteArray bytes = folder.settingsBytes();
    QVERIFY(bytes.startsWith("; kept\r\n"));
    QVERIFY(bytes.contains("UnknownKey=42\r\n"));
}

void TestMainForm::monitorVisibleRefusesClose()
{
    ScriptedDialogs dialogs;
    ProgramFolder folder;
    TForm1 form(folder.appPaths());
    TForm3 monitor;
    form.setMonitor(&monitor);
    form.settings().cCheckAutoLog = false;
    monitor.prepareShowing({});
    monitor.show();
    dialogs.answers = {true};
    QVERIFY(!form.close());
    QCOMPARE(dialogs.shown, QStringList({MsgCloseMonitorFirst}));
    QCOMPARE(dialogs.confirmations, QStringList());
    QVERIFY(!QFileInfo::exists(folder.settingsFile()));
    monitor.hide();
    QVERIFY(form.close());
}

void TestMainForm::failedSettingsWriteKeepsWindowOpen()
{
#ifdef Q_OS_UNIX
    ScriptedDialogs dialogs;
    ProgramFolder folder;
    const QByteArray old = "; the operator's own\r\n[Params]\r\nMaxrunner=12\r\n";
    folder.writeSettings(old);
    TForm1 form(folder.appPaths());
    form.show();
    dialogs.answers = {true};
    {
        // Files may grow to 100 bytes only, as on a full disk: the settings are cut short.
        const Testing::FileSizeLimit limit(100);
        QVERIFY(limit.isSet());
        QVERIFY(!form.close());
    }
    QVERIFY(form.isVisible());
    QCOMPARE(dialogs.errors, QStringList({QStringLiteral("%1 に書き込めません").arg(folder.settingsFile())}));
    QCOMPARE(folder.settingsBytes(), old);
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("ordavex.INI")});
#else
    QSKIP("needs a file-size limit");
#endif
}

void TestMainForm::captionChangesWhenShown()
{
    ScriptedDialogs dialogs;
    ProgramFolder folder;
    TForm1 form(folder.appPaths());
    QCOMPARE(form.windowTitle(), CaptionBuilding);
    form.show();
    QCOMPARE(form.windowTitle(), CaptionShown);
    QVERIFY(QTest::qWaitForWindowActive(&form));
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(form.InputGrid->editor()));
}

void TestMainForm::actionsInOrder()
{
    ScriptedDialogs dialogs;
    ProgramFolder folder;
    TForm1 form(folder.appPaths());
    QStringList toolBar;
    for (QAction *action : form.ToolBar1->actions())
        toolBar << (action->isSeparator() ? QStringLiteral("|") : action->objectName());
    QCOMPARE(toolBar.join(u' '),
             QStringLiteral("AC_OpenTTBL | AC_OpenFile FileSaveAS | EraseInputGrid openDelForm | RS232COpen ClipCopy AC_Close"));
    QMenu *menu = form.menuBar()->actions().constFirst()->menu();
    QCOMPARE(menu->title(), QStringLiteral("ﾒﾆｭｰ"));
    QStringList items;
    for (QAction *action : menu->actions())
        items << (action->isSeparator() ? QStringLiteral("|") : action->text());
    QCOMPARE(items.join(u' '),
             QStringLiteral("ﾀｲﾑﾃｰﾌﾞﾙを開く | 開く 保存 ｸﾘｯﾌﾟﾎﾞｰﾄﾞにｺﾋﾟｰ ﾌｧｲﾙ名変更 組ｼｰﾄ印刷 速報ﾎﾞｰﾄﾞ | RS232C通信 RS232Cﾊﾟﾗﾒｰﾀ 画面ﾃﾞｰﾀｸﾘｱ 終了"));
    QCOMPARE(form.AC_OpenFile->toolTip(), QStringLiteral("CSVを開く"));
    QCOMPARE(form.openDelForm->toolTip(), QStringLiteral("CSVﾌｧｲﾙの削除"));
    for (QAction *action : menu->actions())
        QVERIFY(action->isSeparator() || !action->icon().isNull());
}

void TestMainForm::handlerErrorsAreShownAndSurvived()
{
    ScriptedDialogs dialogs;
    ProgramFolder folder;
    TForm1 form(folder.appPaths());
    form.SankaSpinNum->setValue(1);
    form.grid()->setCell(1, 1, QStringLiteral("-"));
    form.grid()->setCell(2, 1, QStringLiteral("1000"));
    // The save action's number check meets a text that is not an integer.
    form.FileSaveAS->trigger();
    QCOMPARE(dialogs.errors, QStringList({QStringLiteral("'-' は整数ではありません")}));
    QCOMPARE(dialogs.saveRequests.size(), 0);

    // Whatever a handler raises is shown with its message; the program goes on.
    dialogs.clear();
    QWidget target;
    Guarded(&target, [] { throw RuntimeError(QStringLiteral("C:\\x に書き込めません")); });
    Guarded(&target, [] { throw std::runtime_error("disk full"); });
    Guarded(&target, [] { throw 42; });
    QCOMPARE(dialogs.errors, QStringList({QStringLiteral("C:\\x に書き込めません"), QStringLiteral("disk full"), QString()}));
    form.SankaSpinNum->setValue(3);
    QCOMPARE(form.grid()->gridRowCount(), 4);
}

void TestMainForm::realBoxesAnswer()
{
    SystemDialogs real;
    QWidget parent;
    auto clickLater = [](QMessageBox::StandardButton which) {
        QTimer::singleShot(0, [which] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            QVERIFY(box);
            box->button(which)->click();
        });
    };
    clickLater(QMessageBox::Yes);
    QVERIFY(real.confirm(&parent, MsgConfirmExit));
    clickLater(QMessageBox::No);
    QVERIFY(!real.confirm(&parent, MsgConfirmExit));
    QString seen;
    QTimer::singleShot(0, [&seen] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        QVERIFY(box);
        seen = box->text();
        QCOMPARE(box->standardButtons(), QMessageBox::StandardButtons(QMessageBox::Ok));
        box->button(QMessageBox::Ok)->click();
    });
    real.message(&parent, MsgCloseMonitorFirst);
    QCOMPARE(seen, MsgCloseMonitorFirst);
}

void TestMainForm::headingsFollowSwapAndAssignment()
{
    ScriptedDialogs dialogs;
    ProgramFolder folder;
    TForm1 form(folder.appPaths());
    form.grid()->setCell(1, 3, QStringLiteral("4"));
    form.SwapFixRow->click();
    QCOMPARE(form.grid()->cell(0, 0), QStringLiteral("ﾚｰﾝ"));
    QCOMPARE(form.grid()->cell(1, 0), QStringLiteral("順位"));
    QCOMPARE(form.grid()->cell(0, 3), QStringLiteral("3"));
    form.RadioButton6->setChecked(true);
    QCOMPARE(form.grid()->cell(0, 0), QStringLiteral("ﾅﾝﾊﾞｰ"));
    QCOMPARE(form.grid()->cell(2, 0), QStringLiteral("ﾀｲﾑ"));
    form.SwapFixRow->click();
    QCOMPARE(form.grid()->cell(0, 0), QStringLiteral("順位"));
    QCOMPARE(form.grid()->cell(1, 0), QStringLiteral("ﾅﾝﾊﾞｰ"));
    QCOMPARE(form.grid()->cell(1, 3), QStringLiteral("4"));
}

void TestMainForm::strayPlaceColumnIsIgnored()
{
    ScriptedDialogs dialogs;
    ProgramFolder folder;
    folder.writeSettings(withParams("NumColID=2\r\n"));
    TForm1 form(folder.appPaths());
    form.RadioButton6->setChecked(true);
    QCOMPARE(form.grid()->cell(0, 0), QStringLiteral("順位"));
    QCOMPARE(form.grid()->cell(1, 0), QStringLiteral("ﾅﾝﾊﾞｰ"));
    QCOMPARE(form.grid()->cell(2, 0), QStringLiteral("ﾀｲﾑ"));
}

void TestMainForm::hiddenRowsKeepTheirTexts()
{
    ScriptedDialogs dialogs;
    ProgramFolder folder;
    TForm1 form(folder.appPaths());
    form.grid()->setCell(1, 7, QStringLiteral("5"));
    form.grid()->setCell(2, 8, QStringLiteral("1234"));
    form.SankaSpinNum->setValue(6);
    QCOMPARE(form.grid()->gridRowCount(), 7);
    QCOMPARE(form.grid()->rowCount(), 6);
    form.SankaSpinNum->setValue(8);
    QCOMPARE(form.grid()->cell(1, 7), QStringLiteral("5"));
    QCOMPARE(form.grid()->cell(2, 8), QStringLiteral("1234"));
    QCOMPARE(form.grid()->data(form.grid()->indexOf(2, 8)).toString(), QStringLiteral("1234"));
}

// What another window (the import of received records) puts into the grid replaces the
// heat whole: no row of the heat before comes back when the row count is raised.
void TestMainForm::rowsFromAnotherWindowReplaceTheHeat()
{
    ScriptedDialogs dialogs;
    ProgramFolder folder;
    TForm1 form(folder.appPaths());
    HeatAccess &heat = form;
    form.SankaSpinNum->setValue(10);
    for (int r = 1; r <= 10; ++r) {
        form.grid()->setCell(1, r, QString::number(r));
        form.grid()->setCell(2, r, QString::number(1000 + r));
    }
    form.EditKaze->setText(QStringLiteral("+1.2"));
    form.SankaSpinNum->setValue(8);

    heat.setLaneTimeRows({{QStringLiteral("4"), QStringLiteral("1052")}, {QStringLiteral("5"), QStringLiteral("1061")}});
    QCOMPARE(heat.rowCount(), 2);
    QCOMPARE(form.SankaSpinNum->value(), 2);
    QCOMPARE(form.settings().Maxrunner, 2);
    QCOMPARE(heat.cellText(0, 2), QStringLiteral("2"));
    QCOMPARE(heat.cellText(1, 2), QStringLiteral("5"));
    QCOMPARE(heat.cellText(2, 1), QStringLiteral("1052"));
    QCOMPARE(heat.windText(), QStringLiteral("+1.2"));   // the wind is the caller's to set
    QCOMPARE(form.InputGrid->row(), 1);

    heat.setRowCount(10);
    for (int r = 3; r <= 10; ++r) {
        QCOMPARE(heat.cellText(1, r), QString());
        QCOMPARE(heat.cellText(2, r), QString());
    }

    // Nothing received still leaves one empty row to type into.
    heat.setLaneTimeRows({});
    QCOMPARE(heat.rowCount(), 1);
    QVERIFY(heat.GridIsEmpty());
}

void TestMainForm::rowCountFieldFollowsTyping()
{
    ScriptedDialogs dialogs;
    ProgramFolder folder;
    TForm1 form(folder.appPaths());
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    form.grid()->setCell(1, 5, QStringLiteral("7"));
    form.SankaSpinNum->setFocus();
    QTRY_VERIFY(form.SankaSpinNum->hasFocus());

    auto retype = [&](const QString &keys) {
        pressKey(Qt::Key_A, Qt::ControlModifier);
        pressKey(Qt::Key_Backspace);
        typeText(keys);
    };
    retype(QStringLiteral("1"));
    QCOMPARE(form.grid()->gridRowCount(), 2);
    typeText(QStringLiteral("2"));
    QCOMPARE(form.grid()->gridRowCount(), 13);
    QCOMPARE(form.grid()->cell(1, 5), QStringLiteral("7"));
    QCOMPARE(form.grid()->cell(0, 12), QStringLiteral("12"));

    retype(QStringLiteral("9"));
    QCOMPARE(form.grid()->gridRowCount(), 10);
    typeText(QStringLiteral("0"));
    QCOMPARE(form.grid()->gridRowCount(), 91);
    typeText(QStringLiteral("0"));
    QCOMPARE(form.SankaSpinNum->text(), QStringLiteral("900"));
    QCOMPARE(form.grid()->gridRowCount(), 91);
    // Enter is swallowed: nothing happens.
    pressKey(Qt::Key_Return);
    QCOMPARE(form.grid()->gridRowCount(), 91);
    form.focusInputGrid();
    QTRY_COMPARE(form.SankaSpinNum->text(), QStringLiteral("500"));
    QCOMPARE(form.grid()->gridRowCount(), 501);
    QCOMPARE(form.settings().Maxrunner, 500);

    form.SankaSpinNum->setFocus();
    QTRY_VERIFY(form.SankaSpinNum->hasFocus());
    retype(QStringLiteral("0"));
    QCOMPARE(form.grid()->gridRowCount(), 501);
    form.focusInputGrid();
    QTRY_COMPARE(form.SankaSpinNum->text(), QStringLiteral("1"));
    QCOMPARE(form.grid()->gridRowCount(), 2);

    form.SankaSpinNum->setFocus();
    QTRY_VERIFY(form.SankaSpinNum->hasFocus());
    retype(QStringLiteral("5"));
    typeText(QStringLiteral("-"));
    QCOMPARE(form.SankaSpinNum->text(), QStringLiteral("1"));
    retype(QStringLiteral("-"));
    QCOMPARE(form.SankaSpinNum->text(), QStringLiteral("1"));
    QCOMPARE(form.grid()->gridRowCount(), 2);
    pressKey(Qt::Key_Up);
    QCOMPARE(form.SankaSpinNum->text(), QStringLiteral("2"));
    QCOMPARE(form.grid()->gridRowCount(), 3);
}

void TestMainForm::rowCountSameValueRunsNothing()
{
    ScriptedDialogs dialogs;
    ProgramFolder folder;
    TForm1 form(folder.appPaths());
    form.grid()->setCell(0, 3, QStringLiteral("x"));
    form.SankaSpinNum->setValue(8);
    QCOMPARE(form.grid()->cell(0, 3), QStringLiteral("x"));
    form.SankaSpinNum->setValue(0);
    QCOMPARE(form.SankaSpinNum->text(), QStringLiteral("1"));
    form.SankaSpinNum->setValue(501);
    QCOMPARE(form.SankaSpinNum->text(), QStringLiteral("500"));
    QCOMPARE(form.grid()->gridRowCount(), 501);
}

void TestMainForm::statusBarKeepsTargetPath()
{
    ScriptedDialogs dialogs;
    ProgramFolder folder;
    TForm1 form(folder.appPaths());
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    for (QAction *action : form.ToolBar1->actions()) {
        if (action->isSeparator())
            continue;
        QWidget *button = form.ToolBar1->widgetForAction(action);
        const QPointF centre = QRectF(button->rect()).center();
        QEnterEvent enter(centre, button->mapTo(&form, centre), button->mapToGlobal(centre));
        QApplication::sendEvent(button, &enter);
        QCOMPARE(form.StatusBar1->currentMessage(), QString());
        QVERIFY(form.StatusPanel0->isVisible());
        QCOMPARE(form.StatusPanel0->text(), form.targetPath());
    }
}

void TestMainForm::toolTipsOnlyFromHints()
{
    ScriptedDialogs dialogs;
    ProgramFolder folder;
    TForm1 form(folder.appPaths());
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    auto tipOf = [&form](QWidget *widget, QPoint at) {
        // A tip goes away a moment after it is told to.
        QToolTip::hideText();
        if (!QTest::qWaitFor([] { return !QToolTip::isVisible(); }))
            return QStringLiteral("(a tip stayed)");
        QHelpEvent help(QEvent::ToolTip, at, widget->mapToGlobal(at));
        QApplication::sendEvent(widget, &help);
        return QToolTip::isVisible() ? QToolTip::text() : QString();
    };
    auto buttonTip = [&](QAction *action) {
        QWidget *button = form.ToolBar1->widgetForAction(action);
        return tipOf(button, button->rect().center());
    };
    QCOMPARE(buttonTip(form.AC_OpenFile), QStringLiteral("CSVを開く"));
    QCOMPARE(buttonTip(form.openDelForm), QStringLiteral("CSVﾌｧｲﾙの削除"));
    QCOMPARE(buttonTip(form.ClipCopy), QString());

    QMenu *menu = form.menuBar()->actions().constFirst()->menu();
    menu->popup(form.mapToGlobal(QPoint(0, 0)));
    QVERIFY(QTest::qWaitForWindowExposed(menu));
    auto menuTip = [&](QAction *action) { return tipOf(menu, menu->actionGeometry(action).center()); };
    QCOMPARE(menuTip(form.FileSaveAS), QStringLiteral("CSVを保存"));
    QCOMPARE(menuTip(form.RS232CParamOpen), QString());
    QCOMPARE(menuTip(form.ClipCopy), QString());
    menu->hide();
}

void TestMainForm::numberColumnTakesNoCursor()
{
    ScriptedDialogs dialogs;
    ProgramFolder folder;
    TForm1 form(folder.appPaths());
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.InputGrid->setCurrentCell(2, 2);
    // Where the number of row 5 is drawn.
    const QPoint inGrid(form.InputGrid->frameWidth() + 3,
                        form.InputGrid->horizontalHeader()->height() + form.InputGrid->frameWidth() + 4 * 24 + 12);
    QWidget *under = form.InputGrid->childAt(inGrid);
    QVERIFY(under);
    QTest::mouseClick(under, Qt::LeftButton, {}, under->mapFrom(form.InputGrid, inGrid));
    QCOMPARE(form.InputGrid->col(), 2);
    QCOMPARE(form.InputGrid->row(), 2);
    // The heading row neither.
    const QPoint heading(form.InputGrid->frameWidth() + 3, form.InputGrid->frameWidth() + 3);
    under = form.InputGrid->childAt(heading);
    QVERIFY(under);
    QTest::mouseClick(under, Qt::LeftButton, {}, under->mapFrom(form.InputGrid, heading));
    QCOMPARE(form.InputGrid->col(), 2);
    QCOMPARE(form.InputGrid->row(), 2);
}

void TestMainForm::numberColumnStaysInView()
{
    ScriptedDialogs dialogs;
    ProgramFolder folder;
    TForm1 form(folder.appPaths());
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.InputGrid->setColumnWidth(1, 400);
    QTRY_VERIFY(form.InputGrid->horizontalScrollBar()->maximum() > 0);
    form.InputGrid->horizontalScrollBar()->setValue(form.InputGrid->horizontalScrollBar()->maximum());
    // At the grid's left edge, level with row 1, the number 1 is still what is shown.
    const QPoint leftEdge(form.InputGrid->frameWidth() + 3,
                          form.InputGrid->horizontalHeader()->height() + form.InputGrid->frameWidth() + 12);
    QWidget *under = form.InputGrid->childAt(leftEdge);
    while (under && !qobject_cast<QHeaderView *>(under))
        under = under->parentWidget();
    auto *header = qobject_cast<QHeaderView *>(under);
    QVERIFY(header);
    QCOMPARE(header->orientation(), Qt::Vertical);
    const int section = header->logicalIndexAt(header->mapFrom(form.InputGrid, leftEdge));
    QCOMPARE(form.grid()->headerData(section, Qt::Vertical).toString(), QStringLiteral("1"));
}

void TestMainForm::errorsOffWindowThreadOpenNoBox()
{
    // A box belongs to the window thread; an error on another thread (the serial reader)
    // is only logged.
    ScriptedDialogs dialogs;
    std::thread other([] { ShowException(nullptr, std::make_exception_ptr(RuntimeError(QStringLiteral("elsewhere")))); });
    other.join();
    QCOMPARE(dialogs.errors, QStringList());
    ShowException(nullptr, std::make_exception_ptr(RuntimeError(QStringLiteral("here"))));
    QCOMPARE(dialogs.errors, QStringList{QStringLiteral("here")});
}

// Each kind of change reaches the recovery file within a second, whatever it is.
void TestMainForm::recoveryFollowsEveryChange_data()
{
    QTest::addColumn<int>("change");
    QTest::newRow("cell typed") << 0;
    QTest::newRow("row count") << 1;
    QTest::newRow("wind") << 2;
    QTest::newRow("target path") << 3;
    QTest::newRow("rows imported by the monitor") << 4;
    QTest::newRow("race kind") << 5;
    QTest::newRow("place column swapped") << 6;
    QTest::newRow("60-second correction") << 7;
}

void TestMainForm::recoveryFollowsEveryChange()
{
    QFETCH(int, change);
    ScriptedDialogs dialogs;
    ProgramFolder folder;
    TForm1 form(folder.appPaths());
    QCOMPARE(form.recoveryPath(), Paths::join(folder.path(), QStringLiteral("ordavex.recovery")));
    form.grid()->setCell(1, 1, QStringLiteral("4"));
    QVERIFY(waitForRecovery(form) >= 0);
    const RecoveredHeat before = form.currentHeat();

    HeatAccess &heat = form;
    switch (change) {
    case 0:
        form.show();
        QApplication::setActiveWindow(&form);
        form.focusInputGrid();
        typeText(QStringLiteral("7"));
        QCOMPARE(form.grid()->cell(1, 1), QStringLiteral("47"));
        break;
    case 1: form.SankaSpinNum->setValue(12); break;
    case 2: form.EditKaze->setText(QStringLiteral("-0.5")); break;
    case 3: form.setTargetPath(Paths::join(folder.path(), QStringLiteral("R1"))); break;
    case 4: heat.setRows({{QStringLiteral("1"), QStringLiteral("3"), QStringLiteral("1052")},
                          {QStringLiteral("1"), QStringLiteral("6"), QStringLiteral("1052")}}); break;
    case 5: form.RadioButton2->setChecked(true); break;
    case 6: form.SwapFixRow->click(); break;
    case 7: form.sixtyFix->toggle(); break;
    }
    QVERIFY(form.currentHeat() != before);
    const qint64 delay = waitForRecovery(form);
    QVERIFY2(delay >= 0, "the recovery file never held the changed heat");
    QVERIFY2(delay <= 1000, qPrintable(QStringLiteral("written %1 ms after the change").arg(delay)));
    QCOMPARE(dialogs.shown, QStringList());
}

// The program killed with a heat on the grid, started again: Yes brings it back as it
// was, options included, and it stays unsaved.
void TestMainForm::restoreAnswerYesBringsBackTheHeat()
{
    ScriptedDialogs dialogs;
    ProgramFolder folder;
    folder.writeSettings(withParams("Maxrunner=8\r\nCurStyle=3\r\n"));
    RecoveredHeat typed;
    {
        TForm1 form(folder.appPaths());
        typeHeat(form);
        HeatAccess &heat = form;
        form.SankaSpinNum->setValue(11);
        form.grid()->setCell(0, 3, QStringLiteral("2"));   // a tie, as imported
        form.grid()->setCell(1, 11, QStringLiteral("9"));
        form.RadioButton2->setChecked(true);
        form.RadioButton6->setChecked(true);
        form.SwapFixRow->click();
        form.sixtyFix->setChecked(false);
        heat.setTargetPath(Paths::join(folder.path(), QStringLiteral("女子100mH 予選1組")));
        QVERIFY(waitForRecovery(form) >= 0);
        typed = form.currentHeat();
        // Destroyed without closing, as a killed program is.
    }
    QCOMPARE(typed.rows.size(), 11);
    QCOMPARE(typed.rows[1], (std::array<QString, 3>{QStringLiteral("2"), QStringLiteral("5"), QStringLiteral("1061")}));

    dialogs.answers = {true};
    TForm1 form(folder.appPaths());
    QCOMPARE(dialogs.confirmations, QStringList{MsgRestoreHeat});
    QCOMPARE(dialogs.shown, QStringList());
    QCOMPARE(form.rowCount(), 11);
    QCOMPARE(form.SankaSpinNum->value(), 11);
    for (int r = 1; r <= 11; ++r) {
        for (int col = 0; col < 3; ++col)
            QCOMPARE(form.cellText(col, r), typed.rows[r - 1][col]);
    }
    QCOMPARE(form.cellText(0, 3), QStringLiteral("2"));
    QCOMPARE(form.windText(), QStringLiteral("+1.2"));
    QCOMPARE(form.targetPath(), typed.targetPath);
    QCOMPARE(form.StatusPanel0->text(), typed.targetPath);
    QVERIFY(form.RadioButton2->isChecked());
    QVERIFY(form.RadioButton6->isChecked());
    QVERIFY(!form.sixtyFix->isChecked());
    QCOMPARE(form.cellText(1, 0), QStringLiteral("順位"));
    QCOMPARE(form.cellText(0, 0), QStringLiteral("ﾅﾝﾊﾞｰ"));
    QVERIFY(form.currentHeat() == typed);
    // Still unsaved: a second kill would find it again.
    QVERIFY(recoveryOnDisk(form) == typed);
}

void TestMainForm::restoreAnswerNoDiscardsIt()
{
    ScriptedDialogs dialogs;
    ProgramFolder folder;
    {
        TForm1 form(folder.appPaths());
        typeHeat(form);
        QVERIFY(waitForRecovery(form) >= 0);
    }
    dialogs.answers = {false};
    {
        TForm1 form(folder.appPaths());
        QCOMPARE(dialogs.confirmations, QStringList{MsgRestoreHeat});
        QVERIFY(form.GridIsEmpty());
        QCOMPARE(form.windText(), QString());
        QVERIFY(!QFileInfo::exists(form.recoveryPath()));
    }
    dialogs.clear();
    TForm1 form(folder.appPaths());
    QCOMPARE(dialogs.confirmations, QStringList());
}

void TestMainForm::unreadableRecoveryIsSetAside_data()
{
    QTest::addColumn<int>("cut");   // bytes kept of a good file; -1 for other bytes
    QTest::newRow("cut in the head") << 10;
    QTest::newRow("cut in the rows") << 120;
    QTest::newRow("last byte missing") << -2;
    QTest::newRow("not a recovery file") << -1;
}

void TestMainForm::unreadableRecoveryIsSetAside()
{
    QFETCH(int, cut);
    ScriptedDialogs dialogs;
    ProgramFolder folder;
    RecoveredHeat heat;
    heat.targetPath = QStringLiteral("/meet/R1");
    for (int r = 1; r <= 8; ++r)
        heat.rows.push_back({QString::number(r), QString::number(r), QString::number(1000 + r)});
    QByteArray good = RecoveryBytes(heat);
    QVERIFY(good.size() > 120);
    const QByteArray bytes = cut == -1 ? QByteArray("\"1\",\"4\",\"10.52\"\r\n") : cut == -2 ? good.chopped(1) : good.left(cut);
    const QString path = Paths::join(folder.path(), QStringLiteral("ordavex.recovery"));
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    dialogs.answers = {true};
    {
        TForm1 form(folder.appPaths());
        QCOMPARE(dialogs.confirmations, QStringList());
        QCOMPARE(dialogs.shown, QStringList{MsgRecoveryUnreadable.arg(path, path + QStringLiteral(".unreadable"))});
        QCOMPARE(dialogs.errors, QStringList());
        QVERIFY(form.GridIsEmpty());
        QCOMPARE(form.rowCount(), 8);
    }
    QVERIFY(!QFileInfo::exists(path));
    QFile aside(path + QStringLiteral(".unreadable"));
    QVERIFY(aside.open(QIODevice::ReadOnly));
    QCOMPARE(aside.readAll(), bytes);
    // Told once: the next start is a plain one.
    dialogs.clear();
    TForm1 form(folder.appPaths());
    QCOMPARE(dialogs.shown, QStringList());
    QCOMPARE(dialogs.confirmations, QStringList());
}

void TestMainForm::saveAndEraseRemoveRecovery()
{
    ScriptedDialogs dialogs;
    ProgramFolder folder;
    TForm1 form(folder.appPaths());
    form.autoClear->setChecked(false);
    typeHeat(form);
    form.SankaSpinNum->setValue(2);
    QVERIFY(waitForRecovery(form) >= 0);

    const QString saved = Paths::join(folder.path(), QStringLiteral("R1w_112.csv"));
    dialogs.files = {saved};
    form.FileSaveAS->trigger();
    QCOMPARE(dialogs.shown, QStringList());
    QVERIFY(QFileInfo::exists(saved));
    QTRY_VERIFY(!QFileInfo::exists(form.recoveryPath()));
    // The new target path of the save is no change to keep.
    QTest::qWait(2 * TForm1::RecoveryDelayMs);
    QVERIFY(!QFileInfo::exists(form.recoveryPath()));

    // A save that fails keeps it.
    form.grid()->setCell(1, 1, QStringLiteral("3"));
    QVERIFY(waitForRecovery(form) >= 0);
    dialogs.files = {Paths::join(folder.path(), QStringLiteral("missing/R1w_112.csv"))};
    form.FileSaveAS->trigger();
    QCOMPARE(dialogs.shown, QStringList({MsgCannotOpenFile, MsgSaveFailed}));
    QVERIFY(waitForRecovery(form) >= 0);

    dialogs.answers = {true};
    form.EraseInputGrid->trigger();
    QVERIFY(form.GridIsEmpty());
    QTRY_VERIFY(!QFileInfo::exists(form.recoveryPath()));
    QTest::qWait(2 * TForm1::RecoveryDelayMs);
    QVERIFY(!QFileInfo::exists(form.recoveryPath()));
}

void TestMainForm::closeKeepsOnlyAnUnsavedHeat_data()
{
    QTest::addColumn<int>("syncMs");
    QTest::newRow("disk at its own pace") << 0;
    QTest::newRow("sync of 300 ms") << 300;
}

void TestMainForm::closeKeepsOnlyAnUnsavedHeat()
{
    QFETCH(int, syncMs);
    ScriptedDialogs dialogs;
    ProgramFolder folder;
    {
        TForm1 form(folder.appPaths());
        if (syncMs > 0)
            form.setRecoverySaveFunction(slowDisk(syncMs));
        // Changes that leave the grid without entries or wind write nothing.
        form.SankaSpinNum->setValue(12);
        form.setTargetPath(Paths::join(folder.path(), QStringLiteral("R1")));
        QTest::qWait(2 * TForm1::RecoveryDelayMs);
        QVERIFY(!QFileInfo::exists(form.recoveryPath()));

        // Closed before the delay is over: the last key is on the disk all the same.
        typeHeat(form);
        dialogs.answers = {false, true};
        QVERIFY(!form.close());
        QVERIFY(form.close());
        QVERIFY(recoveryOnDisk(form) == form.currentHeat());
    }
    dialogs.answers = {true};
    {
        TForm1 form(folder.appPaths());
        if (syncMs > 0)
            form.setRecoverySaveFunction(slowDisk(syncMs));
        QCOMPARE(form.cellText(2, 2), QStringLiteral("1061"));
        // Emptied by hand and closed: nothing is left to offer.
        for (int r = 1; r <= form.rowCount(); ++r) {
            form.grid()->setCell(1, r, QString());
            form.grid()->setCell(2, r, QString());
        }
        form.EditKaze->clear();
        dialogs.answers = {true};
        QVERIFY(form.close());
        QVERIFY(!QFileInfo::exists(form.recoveryPath()));
    }
}

// No box: a strip above the grid, kept until it is read, and told again only for a new
// heat or after the file could be written in between.
void TestMainForm::failedRecoveryWriteIsToldOnce()
{
    ScriptedDialogs dialogs;
    ProgramFolder folder;
    TForm1 form(folder.appPaths());
    form.show();
    // A folder where the file should be: no file can replace it.
    QVERIFY(QDir().mkdir(form.recoveryPath()));
    QVERIFY(!form.NoticeStrip->isVisible());
    for (int i = 1; i <= 3; ++i) {
        form.grid()->setCell(1, 1, QString::number(i));
        QTest::qWait(2 * TForm1::RecoveryDelayMs);
    }
    QCOMPARE(dialogs.shown, QStringList());
    QCOMPARE(dialogs.errors, QStringList());
    QVERIFY(form.NoticeStrip->isVisible());
    QCOMPARE(form.NoticeText->text(), MsgRecoveryNotWritten.arg(form.recoveryPath()));
    QCOMPARE(form.StatusPanel0->text(), form.targetPath());
    QCOMPARE(form.cellText(1, 1), QStringLiteral("3"));

    // Read: gone, and not back while the same heat still cannot be written.
    QTest::mouseClick(form.NoticeRead, Qt::LeftButton);
    QVERIFY(!form.NoticeStrip->isVisible());
    form.grid()->setCell(1, 1, QStringLiteral("4"));
    QVERIFY(form.waitForRecoveryWriter(5000));
    QTest::qWait(2 * TForm1::RecoveryDelayMs);
    QVERIFY(!form.NoticeStrip->isVisible());

    // The next heat is told again.
    dialogs.answers = {true};
    form.EraseInputGrid->trigger();
    form.grid()->setCell(1, 1, QStringLiteral("5"));
    QTRY_VERIFY(form.NoticeStrip->isVisible());
    QCOMPARE(dialogs.shown, QStringList());
}

// The keys of the official typing on while the recovery file fails all land in their
// cells: the notice takes neither the focus nor a key, not even when it is clicked.
void TestMainForm::noticeTakesNoKeys()
{
    ScriptedDialogs dialogs;
    ProgramFolder folder;
    folder.writeSettings(withParams("CurStyle=3\r\nautoInc=1\r\n"));
    TForm1 form(folder.appPaths());
    QVERIFY(QDir().mkdir(form.recoveryPath()));
    form.show();
    QApplication::setActiveWindow(&form);
    form.focusInputGrid();
    QWidget *editor = form.InputGrid->editor();
    QCOMPARE(QApplication::focusWidget(), editor);

    typeText(QStringLiteral("4"));
    QTRY_VERIFY(form.NoticeStrip->isVisible());
    QCOMPARE(QApplication::focusWidget(), editor);
    typeText(QStringLiteral("\n1052\n5\n"));
    QTest::mouseClick(form.NoticeRead, Qt::LeftButton);
    QVERIFY(!form.NoticeStrip->isVisible());
    QCOMPARE(QApplication::focusWidget(), editor);
    typeText(QStringLiteral("61\n3\n1068\n"));

    const QList<std::array<QString, 3>> expected = {
        {QStringLiteral("1"), QStringLiteral("4"), QStringLiteral("1052")},
        {QStringLiteral("2"), QStringLiteral("5"), QStringLiteral("1061")},
        {QStringLiteral("3"), QStringLiteral("3"), QStringLiteral("1068")}};
    for (int r = 1; r <= 3; ++r) {
        for (int col = 0; col < 3; ++col)
            QCOMPARE(form.cellText(col, r), expected[r - 1][col]);
    }
    QCOMPARE(dialogs.shown, QStringList());
    QCOMPARE(dialogs.confirmations, QStringList());
    QCOMPARE(dialogs.errors, QStringList());
    QCOMPARE(form.StatusPanel0->text(), form.targetPath());
}

// A write held on its way to the disk: the window takes keys and saves meanwhile, only
// the latest heat is written after it, and the failure of a write that belonged to the
// saved heat is not told.
void TestMainForm::slowDiskHoldsNothingUp()
{
    ScriptedDialogs dialogs;
    ProgramFolder folder;
    TForm1 form(folder.appPaths());
    form.autoClear->setChecked(false);
    QSemaphore entered;
    QSemaphore gate;
    std::atomic<int> writes = 0;
    form.setRecoverySaveFunction([&](const QString &path, QByteArrayView bytes) {
        if (++writes == 1) {
            entered.release();
            // Bounded, so that a window that waits for it fails the test, not hangs it.
            gate.tryAcquire(1, 10000);
            return SaveError::WriteFailed;
        }
        return SaveFileAtomically(path, bytes);
    });
    typeHeat(form);
    form.flushRecovery();
    QVERIFY(entered.tryAcquire(1, 5000));
    typeText(QStringLiteral("3\n1068\n"));
    form.flushRecovery();
    QCOMPARE(form.cellText(2, 3), QStringLiteral("1068"));
    QVERIFY(!form.waitForRecoveryWriter(0));
    gate.release();
    QVERIFY(form.waitForRecoveryWriter(5000));
    QCOMPARE(writes.load(), 2);
    QVERIFY(recoveryOnDisk(form) == form.currentHeat());
    // The failure of the first write was told, and went with the write that followed.
    QTRY_VERIFY(!form.notices().holds(NoticeList::Cause::RecoveryWrite));

    // Saved while a failing write is on its way: the saved heat is at no risk.
    writes = 0;
    form.SankaSpinNum->setValue(3);
    form.flushRecovery();
    QVERIFY(entered.tryAcquire(1, 5000));
    const QString saved = Paths::join(folder.path(), QStringLiteral("R1w_112.csv"));
    dialogs.files = {saved};
    form.FileSaveAS->trigger();
    QCOMPARE(dialogs.shown, QStringList());
    QVERIFY(QFileInfo::exists(saved));
    QVERIFY(!form.waitForRecoveryWriter(0));
    gate.release();
    QVERIFY(form.waitForRecoveryWriter(5000));
    QTest::qWait(50);
    QVERIFY(!form.NoticeStrip->isVisible());
    QVERIFY(!QFileInfo::exists(form.recoveryPath()));
    QCOMPARE(dialogs.shown, QStringList());
}

// A write that does not come back is told within a few seconds, while a notice of
// another cause stays in the strip: both held, the newest shown with the count, and each
// goes by itself.
void TestMainForm::hungWriteIsToldBesideOtherNotices()
{
    ScriptedDialogs dialogs;
    ProgramFolder folder;
    // A copy from the last run that the official declines, in a file that will not go.
    RecoveredHeat old;
    old.rows = {{QStringLiteral("1"), QStringLiteral("3"), QStringLiteral("1100")}};
    const QString recovery = Paths::join(folder.path(), QStringLiteral("ordavex.recovery"));
    QVERIFY(SaveFileAtomically(recovery, RecoveryBytes(old)) == SaveError::None);
    const bool root = chattr(QStringLiteral("+i"), recovery);
    const auto undo = [&] {
        if (root)
            chattr(QStringLiteral("-i"), recovery);
        QFile::setPermissions(folder.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    };
    auto restore = qScopeGuard(undo);
    if (!root) {
        QVERIFY(QFile::setPermissions(recovery, QFile::ReadOwner));
        QVERIFY(QFile::setPermissions(folder.path(), QFile::ReadOwner | QFile::ExeOwner));
    }
    dialogs.answers = {false};
    TForm1 form(folder.appPaths());
    QCOMPARE(dialogs.confirmations, QStringList{MsgRestoreHeat});
    const QString notRemoved = MsgRecoveryNotRemoved.arg(recovery);
    QCOMPARE(form.NoticeText->text(), notRemoved);
    undo();
    restore.dismiss();
    if (root)
        QVERIFY(QFile::remove(recovery));

    const auto gate = std::make_shared<QSemaphore>();
    form.setRecoverySaveFunction(hungDisk(gate));
    // From before the first key: the write may be handed over while the keys go in.
    QElapsedTimer told;
    told.start();
    typeHeat(form);
    form.flushRecovery();
    const QString hung = MsgRecoveryHung.arg(recovery);
    QTRY_COMPARE_WITH_TIMEOUT(form.NoticeText->text(), hung + QStringLiteral(" 他1件"), TForm1::RecoveryHangMs + 2000);
    QVERIFY2(told.elapsed() >= TForm1::RecoveryHangMs - 100, qPrintable(QString::number(told.elapsed())));
    QCOMPARE(form.notices().texts(), (QStringList{hung, notRemoved}));
    QVERIFY(form.NoticeText->toolTip().contains(notRemoved));

    // Read: the other one shows; the write comes back: its notice is not told again.
    QTest::mouseClick(form.NoticeRead, Qt::LeftButton);
    QCOMPARE(form.NoticeText->text(), notRemoved);
    gate->release();
    QVERIFY(form.waitForRecoveryWriter(5000));
    QTest::qWait(50);
    QCOMPARE(form.notices().texts(), QStringList{notRemoved});
    QVERIFY(form.NoticeStrip->isVisible());
    QCOMPARE(dialogs.shown, QStringList());
    QVERIFY(recoveryOnDisk(form) == form.currentHeat());
}

void TestMainForm::closeNeverFreezesOnAHungDisk_data()
{
    QTest::addColumn<QString>("answer");   // to the box that asks to wait or to end
    QTest::newRow("end without it") << QStringLiteral("quit");
    QTest::newRow("wait") << QStringLiteral("wait");
    QTest::newRow("the disk answers while the box is open") << QStringLiteral("settles");
}

// Closing while the copy of the heat is stuck on its way to the disk: the window keeps
// painting, the official is asked, and the real box goes by itself once the copy is on
// the disk.
void TestMainForm::closeNeverFreezesOnAHungDisk()
{
    QFETCH(QString, answer);
    // Yes to closing, then the real box for waiting.
    class RealWaitBox final : public Dialogs
    {
    public:
        RealWaitBox() { Dialogs::setInstance(this); }
        ~RealWaitBox() override { Dialogs::setInstance(nullptr); }
        RealWaitBox(const RealWaitBox &) = delete;
        RealWaitBox &operator=(const RealWaitBox &) = delete;
        void message(QWidget *, const QString &) override {}
        bool confirm(QWidget *, const QString &) override { return true; }
        void error(QWidget *, const QString &) override {}
        WaitAnswer waitOrQuit(QWidget *parent, const QString &text, const std::function<bool()> &settled) override
        {
            asked = text;
            return SystemDialogs().waitOrQuit(parent, text, settled);
        }
        QString saveFileName(QWidget *, const FileRequest &) override { return {}; }
        QString openFileName(QWidget *, OpenDialogState &) override { return {}; }
        QString asked;
    };
    std::optional<ScriptedDialogs> scripted;
    std::optional<RealWaitBox> real;
    if (answer == QStringLiteral("settles"))
        real.emplace();
    else
        scripted.emplace();
    if (scripted)
        scripted->answers = {true, answer == QStringLiteral("wait")};

    ProgramFolder folder;
    auto form = std::make_unique<TForm1>(folder.appPaths());
    const auto gate = std::make_shared<QSemaphore>();
    form->setRecoverySaveFunction(hungDisk(gate));
    typeHeat(*form);
    form->flushRecovery();
    typeText(QStringLiteral("3\n1068\n"));
    const RecoveredHeat heat = form->currentHeat();

    // The window's clock: the longest it went without a tick is how long it froze.
    QElapsedTimer sinceTick;
    qint64 longestGap = 0;
    QTimer tick;
    tick.setInterval(20);
    connect(&tick, &QTimer::timeout, this, [&] {
        longestGap = std::max(longestGap, sinceTick.restart());
    });
    if (real) {
        QTimer::singleShot(TForm1::CloseWaitMs + 500, this, [gate] { gate->release(); });
        // A box that stays after the disk answered fails the test rather than hangs it.
        QTimer::singleShot(TForm1::CloseWaitMs + 6000, this, [] {
            for (QWidget *widget : QApplication::topLevelWidgets()) {
                if (auto *box = qobject_cast<QMessageBox *>(widget); box && box->isVisible())
                    box->reject();
            }
        });
    }
    QElapsedTimer closing;
    closing.start();
    sinceTick.start();
    tick.start();
    const bool closed = form->close();
    tick.stop();
    longestGap = std::max(longestGap, sinceTick.elapsed());
    const qint64 took = closing.elapsed();
    QVERIFY2(longestGap < 300, qPrintable(QStringLiteral("frozen for %1 ms").arg(longestGap)));
    const QString asked = MsgRecoveryHungAtClose.arg(form->recoveryPath());
    if (scripted)
        QCOMPARE(scripted->confirmations, (QStringList{MsgConfirmExit, asked}));
    else
        QCOMPARE(real->asked, asked);
    QCOMPARE(closed, answer != QStringLiteral("wait"));
    QVERIFY2(took < 4000, qPrintable(QString::number(took)));
    if (answer == QStringLiteral("wait")) {
        QVERIFY(form->isVisible());
        QCOMPARE(form->NoticeText->text(), MsgRecoveryHung.arg(form->recoveryPath()));
    }
    if (answer == QStringLiteral("settles"))
        QVERIFY(recoveryOnDisk(*form) == heat);
    // Going does not wait for the disk either once the official chose to end.
    QElapsedTimer going;
    going.start();
    form.reset();
    if (answer == QStringLiteral("quit"))
        QVERIFY2(going.elapsed() < 1000, qPrintable(QString::number(going.elapsed())));
    gate->release();
}

void TestMainForm::unremovableRecoveryIsNeverOfferedUntold_data()
{
    QTest::addColumn<bool>("fileStays");   // the file itself cannot be changed either
    QTest::newRow("the folder keeps its files") << false;
    QTest::newRow("the file cannot change") << true;
}

// The copy of a heat that was then erased cannot be removed: it is emptied where the
// folder lets it change, so that the next start offers nothing; where it cannot change
// either, the strip says so.
void TestMainForm::unremovableRecoveryIsNeverOfferedUntold()
{
    QFETCH(bool, fileStays);
    ScriptedDialogs dialogs;
    ProgramFolder folder;
    const QString recovery = Paths::join(folder.path(), QStringLiteral("ordavex.recovery"));
    {
        TForm1 form(folder.appPaths());
        typeHeat(form);
        QVERIFY(waitForRecovery(form) >= 0);
        const bool root = ::geteuid() == 0;
        if (root && !chattr(fileStays ? QStringLiteral("+i") : QStringLiteral("+a"),
                            fileStays ? recovery : folder.path()))
            QSKIP("chattr is not available here");
        const auto restore = qScopeGuard([&] {
            if (root)
                chattr(fileStays ? QStringLiteral("-i") : QStringLiteral("-a"), fileStays ? recovery : folder.path());
            QFile::setPermissions(folder.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            QFile::setPermissions(recovery, QFile::ReadOwner | QFile::WriteOwner);
        });
        if (!root) {
            if (fileStays)
                QVERIFY(QFile::setPermissions(recovery, QFile::ReadOwner));
            QVERIFY(QFile::setPermissions(folder.path(), QFile::ReadOwner | QFile::ExeOwner));
        }
        dialogs.answers = {true};
        form.EraseInputGrid->trigger();
        QVERIFY(form.waitForRecoveryWriter(5000));
        QTest::qWait(50);
        QCOMPARE(form.notices().holds(NoticeList::Cause::RecoveryRemove), fileStays);
        if (fileStays)
            QCOMPARE(form.NoticeText->text(), MsgRecoveryNotRemoved.arg(recovery));
        QVERIFY(QFileInfo::exists(recovery));
    }
    if (fileStays)
        return;
    dialogs.clear();
    TForm1 next(folder.appPaths());
    QCOMPARE(dialogs.confirmations, QStringList());
    QCOMPARE(dialogs.shown, QStringList());
    QVERIFY(next.GridIsEmpty());
}

QTEST_MAIN(TestMainForm)
#include "tst_ui_mainform.moc"
