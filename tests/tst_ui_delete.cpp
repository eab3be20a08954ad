// The delete dialog on a folder of its own: what it lists, the question, the deletion
// and the re-read, driven with real mouse clicks.

#include "uitest.h"
#include "core/workfolder.h"
#include "ui/unit2.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScopeGuard>

using namespace Ordavex;
using namespace Ordavex::Testing;
using namespace Qt::StringLiterals;

class TestDeleteDialog final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void listsOnlyResultAndTextFiles();
    void deletesSelectedAfterYes();
    void noAndNothingSelected();
    void undeletableFileIsListedAgain();
    void missingFolderShowsEmptyList();

private:
    QStringList listed() const
    {
        QStringList names;
        for (int i = 0; i < m_form->FileListBox1->count(); ++i)
            names.append(m_form->FileListBox1->item(i)->text());
        return names;
    }
    void select(const QStringList &names)
    {
        // Ctrl+click adds to the selection as an operator would.
        for (const QString &name : names) {
            const QList<QListWidgetItem *> items = m_form->FileListBox1->findItems(name, Qt::MatchExactly);
            QCOMPARE(items.size(), 1);
            const QRect rect = m_form->FileListBox1->visualItemRect(items.front());
            QTest::mouseClick(m_form->FileListBox1->viewport(), Qt::LeftButton, Qt::ControlModifier, rect.center());
        }
    }
    void touch(const QString &name)
    {
        QFile file(m_dir->filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("x");
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ScriptedDialogs> m_dialogs;
    std::unique_ptr<TForm2> m_form;
};

void TestDeleteDialog::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_dialogs = std::make_unique<ScriptedDialogs>();
    m_form = std::make_unique<TForm2>();
    for (const char *name : {"b.csv", "A.CSV", "c.Txt", "timetable.txt", "notes.doc", ".hidden.csv"})
        touch(QString::fromLatin1(name));
    QVERIFY(QDir(m_dir->path()).mkdir(u"sub.csv"_s));
    m_form->setFolder(m_dir->path());
}

void TestDeleteDialog::cleanup()
{
    m_form.reset();
    m_dialogs.reset();
    m_dir.reset();
}

void TestDeleteDialog::listsOnlyResultAndTextFiles()
{
    m_form->show();
    QCOMPARE(m_form->windowTitle(), u"ﾌｧｲﾙの削除"_s);
    QCOMPARE(m_form->size(), QSize(238, 395));
    QCOMPARE(m_form->DirPanel->text(), QDir::toNativeSeparators(m_dir->path()));
    QCOMPARE(listed(), (QStringList{u"A.CSV"_s, u"b.csv"_s, u"c.Txt"_s, u"timetable.txt"_s}));
    QVERIFY(m_form->FileListBox1->selectedItems().isEmpty());

    // Every showing reads the folder afresh.
    m_form->hide();
    touch(u"new.csv"_s);
    m_form->show();
    QCOMPARE(listed(), (QStringList{u"A.CSV"_s, u"b.csv"_s, u"c.Txt"_s, u"new.csv"_s, u"timetable.txt"_s}));

    QTest::mouseClick(m_form->Button2, Qt::LeftButton);
    QVERIFY(!m_form->isVisible());
}

void TestDeleteDialog::deletesSelectedAfterYes()
{
    m_form->show();
    select({u"A.CSV"_s, u"c.Txt"_s});
    m_dialogs->answers = {true};
    QTest::mouseClick(m_form->Button1, Qt::LeftButton);
    QCOMPARE(m_dialogs->confirmations, QStringList{u"選択したファイルを削除しますか ?"_s});
    QCOMPARE(m_dialogs->shown, QStringList());
    QCOMPARE(listed(), (QStringList{u"b.csv"_s, u"timetable.txt"_s}));
    QVERIFY(!QFile::exists(m_dir->filePath(u"A.CSV"_s)));
    QVERIFY(QFile::exists(m_dir->filePath(u"notes.doc"_s)));
    QVERIFY(QFile::exists(m_dir->filePath(u".hidden.csv"_s)));
}

void TestDeleteDialog::noAndNothingSelected()
{
    m_form->show();
    select({u"b.csv"_s});
    m_dialogs->answers = {false};
    QTest::mouseClick(m_form->Button1, Qt::LeftButton);
    QVERIFY(QFile::exists(m_dir->filePath(u"b.csv"_s)));
    QCOMPARE(m_form->FileListBox1->selectedItems().size(), 1);

    // The question comes even with nothing selected; Yes then only re-reads.
    m_form->FileListBox1->clearSelection();
    touch(u"late.txt"_s);
    m_dialogs->answers = {true};
    QTest::mouseClick(m_form->Button1, Qt::LeftButton);
    QCOMPARE(m_dialogs->confirmations.size(), 2);
    QCOMPARE(listed(), (QStringList{u"A.CSV"_s, u"b.csv"_s, u"c.Txt"_s, u"late.txt"_s, u"timetable.txt"_s}));
}

void TestDeleteDialog::undeletableFileIsListedAgain()
{
    m_form->show();
    select({u"b.csv"_s, u"timetable.txt"_s});
    const QFile::Permissions permissions = QFile::permissions(m_dir->path());
    QVERIFY(QFile::setPermissions(m_dir->path(), QFile::ReadOwner | QFile::ExeOwner));
    const auto restore = qScopeGuard([&] { QFile::setPermissions(m_dir->path(), permissions); });
    QFile probe(m_dir->filePath(u"probe"_s));
    if (probe.open(QIODevice::WriteOnly))
        QSKIP("this user can write into a read-only folder");
    m_dialogs->answers = {true};
    QTest::mouseClick(m_form->Button1, Qt::LeftButton);
    QCOMPARE(listed(), (QStringList{u"A.CSV"_s, u"b.csv"_s, u"c.Txt"_s, u"timetable.txt"_s}));
    QCOMPARE(m_dialogs->errors, QStringList());
}

void TestDeleteDialog::missingFolderShowsEmptyList()
{
    const QString missing = m_dir->filePath(u"absent"_s);
    m_form->setFolder(missing);
    m_form->show();
    QCOMPARE(m_form->DirPanel->text(), QDir::toNativeSeparators(missing));
    QCOMPARE(listed(), QStringList());
    m_dialogs->answers = {true};
    QTest::mouseClick(m_form->Button1, Qt::LeftButton);
    QCOMPARE(m_dialogs->errors, QStringList());
    QCOMPARE(listed(), QStringList());
}

QTEST_MAIN(TestDeleteDialog)
#include "tst_ui_delete.moc"
