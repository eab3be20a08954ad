// The notice strip's list: every notice that holds is kept, the newest first; one cause
// has one notice; a dismissed notice stays away only while its cause holds.

#include "core/noticelist.h"

#include <QTest>

using namespace Ordavex;
using namespace Qt::StringLiterals;
using Cause = NoticeList::Cause;

class TestNoticeList : public QObject
{
    Q_OBJECT

private slots:
    void steps_data();
    void steps();
};

// Steps, separated by spaces: "+Rtext" posts the text for a cause, "-R" withdraws the
// cause, "!" dismisses the newest. R: recovery write, X: recovery removal, L: board lost,
// P: publish.
void TestNoticeList::steps_data()
{
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QStringList>("texts");   // newest first, afterwards
    QTest::addColumn<QString>("line");

    QTest::newRow("one") << u"+Ra"_s << QStringList{u"a"_s} << u"a"_s;
    QTest::newRow("two kept, newest first") << u"+Ra +Pb"_s << QStringList{u"b"_s, u"a"_s} << u"b 他1件"_s;
    QTest::newRow("three") << u"+Ra +Pb +Lc"_s << QStringList{u"c"_s, u"b"_s, u"a"_s} << u"c 他2件"_s;
    QTest::newRow("same cause replaces and comes first") << u"+Ra +Pb +Rc"_s << QStringList{u"c"_s, u"b"_s} << u"c 他1件"_s;
    QTest::newRow("dismiss takes only the newest") << u"+Ra +Pb !"_s << QStringList{u"a"_s} << u"a"_s;
    QTest::newRow("dismissed stays away while it holds") << u"+Ra +Pb ! +Pb2"_s << QStringList{u"a"_s} << u"a"_s;
    QTest::newRow("withdraw takes only its cause") << u"+Ra +Pb -R"_s << QStringList{u"b"_s} << u"b"_s;
    QTest::newRow("after its cause went it is news again") << u"+Pa ! -P +Pb"_s << QStringList{u"b"_s} << u"b"_s;
    QTest::newRow("withdraw of a dismissed one frees only it") << u"+Pa ! +Rb ! -P +Pc +Rd"_s
                                                                << QStringList{u"c"_s} << u"c"_s;
    QTest::newRow("all dismissed") << u"+Ra +Pb ! !"_s << QStringList{} << u""_s;
    QTest::newRow("dismiss of nothing") << u"! +Ra"_s << QStringList{u"a"_s} << u"a"_s;
}

void TestNoticeList::steps()
{
    QFETCH(QString, steps);
    QFETCH(QStringList, texts);
    QFETCH(QString, line);
    const auto causeOf = [](QChar c) {
        switch (c.unicode()) {
        case 'R': return Cause::RecoveryWrite;
        case 'X': return Cause::RecoveryRemove;
        case 'L': return Cause::BoardLost;
        default: return Cause::BoardPublish;
        }
    };
    NoticeList list;
    for (const QString &step : steps.split(u' ', Qt::SkipEmptyParts)) {
        if (step[0] == u'+')
            list.post(causeOf(step[1]), step.mid(2));
        else if (step[0] == u'-')
            list.withdraw(causeOf(step[1]));
        else
            list.dismissNewest();
    }
    QCOMPARE(list.texts(), texts);
    QCOMPARE(list.line(), line);
    QCOMPARE(list.size(), texts.size());
    QCOMPARE(list.isEmpty(), texts.isEmpty());
}

QTEST_GUILESS_MAIN(TestNoticeList)
#include "tst_noticelist.moc"
