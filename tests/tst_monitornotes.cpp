// The notes of the communication monitor: which notes become one, which stay apart, the
// bound of the list and the texts as the strip shows them.

#include "core/monitornotes.h"
#include "core/textcodec.h"

#include <QTest>

using namespace Ordavex;
using namespace Qt::StringLiterals;

namespace {

using Kind = MonitorNote::Kind;

// Steps as the monitor takes them: "link" and "capture" begin a gap, "/link" and
// "/capture" end it, "overflow" is held bytes let go, "read" the official's click. Each
// step at the time given after an "@" ("overflow@10:31:02"), else a second after the last.
MonitorNotes play(const QStringList &steps)
{
    MonitorNotes notes;
    QDateTime now(QDate(2026, 12, 6), QTime(10, 31, 2));
    for (const QString &step : steps) {
        const QStringList parts = step.split(u'@');
        now = parts.size() > 1 ? QDateTime(now.date(), QTime::fromString(parts[1], u"hh:mm:ss"_s)) : now.addSecs(1);
        const QString &what = parts[0];
        if (what == u"link")
            notes.open(Kind::Link, now);
        else if (what == u"/link")
            notes.close(Kind::Link, now);
        else if (what == u"capture")
            notes.open(Kind::Capture, now);
        else if (what == u"/capture")
            notes.close(Kind::Capture, now);
        else if (what == u"overflow")
            notes.open(Kind::Overflow, now);
        else if (what == u"read")
            notes.read();
        else
            qFatal("unknown step %s", qPrintable(what));
    }
    return notes;
}

} // namespace

class TestMonitorNotes final : public QObject
{
    Q_OBJECT

private slots:
    void notesAsShown_data();
    void notesAsShown();
    void boundKeepsOpenGapsAndNewest_data();
    void boundKeepsOpenGapsAndNewest();
    void textsFitTheCodePage();
};

void TestMonitorNotes::notesAsShown_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("texts");     // newest first

    QTest::newRow("one overflow") << QStringList{u"overflow@10:31:02"_s} << QStringList{u"受信ﾃﾞｰﾀ破棄 10:31:02"_s};
    QTest::newRow("overflows one after another")
        << QStringList{u"overflow@10:31:02"_s, u"overflow"_s, u"overflow"_s, u"overflow@10:33:40"_s}
        << QStringList{u"受信ﾃﾞｰﾀ破棄 10:31:02～10:33:40 ×4"_s};
    QTest::newRow("overflows within one second")
        << QStringList{u"overflow@10:31:02"_s, u"overflow@10:31:02"_s}
        << QStringList{u"受信ﾃﾞｰﾀ破棄 10:31:02～10:31:02 ×2"_s};
    QTest::newRow("read between overflows")
        << QStringList{u"overflow@10:31:02"_s, u"overflow"_s, u"read"_s, u"overflow@10:40:00"_s}
        << QStringList{u"受信ﾃﾞｰﾀ破棄 10:40:00"_s};
    QTest::newRow("read with a gap open, then overflows")
        << QStringList{u"link@10:31:02"_s, u"overflow"_s, u"read"_s, u"overflow@10:40:00"_s}
        << QStringList{u"受信ﾃﾞｰﾀ破棄 10:40:00"_s, u"ﾎﾟｰﾄ切断 10:31:02～"_s};
    QTest::newRow("a gap between overflows")
        << QStringList{u"overflow@10:31:02"_s, u"overflow"_s, u"link"_s, u"/link"_s, u"overflow"_s}
        << QStringList{u"受信ﾃﾞｰﾀ破棄 10:31:06"_s, u"ﾎﾟｰﾄ切断 10:31:04～10:31:05"_s,
                       u"受信ﾃﾞｰﾀ破棄 10:31:02～10:31:03 ×2"_s};
    QTest::newRow("overflow while a gap goes on")
        << QStringList{u"capture@10:31:02"_s, u"overflow"_s, u"overflow"_s, u"/capture"_s}
        << QStringList{u"受信ﾃﾞｰﾀ破棄 10:31:03～10:31:04 ×2"_s, u"記録停止 10:31:02～10:31:05"_s};
    QTest::newRow("link gaps one after another")
        << QStringList{u"link@10:31:02"_s, u"/link"_s, u"link"_s, u"/link"_s}
        << QStringList{u"ﾎﾟｰﾄ切断 10:31:04～10:31:05"_s, u"ﾎﾟｰﾄ切断 10:31:02～10:31:03"_s};
    QTest::newRow("capture gaps one after another")
        << QStringList{u"capture@10:31:02"_s, u"/capture"_s, u"capture"_s}
        << QStringList{u"記録停止 10:31:04～"_s, u"記録停止 10:31:02～10:31:03"_s};
    QTest::newRow("a loss told twice")
        << QStringList{u"link@10:31:02"_s, u"link"_s, u"/link"_s}
        << QStringList{u"ﾎﾟｰﾄ切断 10:31:02～10:31:04"_s};
    QTest::newRow("read keeps the gap that goes on")
        << QStringList{u"link@10:31:02"_s, u"/link"_s, u"capture"_s, u"overflow"_s, u"read"_s}
        << QStringList{u"記録停止 10:31:04～"_s};
    QTest::newRow("an end without a gap") << QStringList{u"/link@10:31:02"_s} << QStringList();
}

void TestMonitorNotes::notesAsShown()
{
    QFETCH(QStringList, steps);
    QFETCH(QStringList, texts);

    const MonitorNotes notes = play(steps);
    QCOMPARE(notes.texts(), texts);
    QCOMPARE(notes.size(), texts.size());
    QCOMPARE(notes.line(), texts.size() > 1 ? texts[0] + u" 他%1件"_s.arg(texts.size() - 1) : texts.value(0));
    QCOMPARE(notes.toolTip(), texts.join(u'\n'));
}

void TestMonitorNotes::boundKeepsOpenGapsAndNewest_data()
{
    QTest::addColumn<QString>("open");      // the gap that goes on from the start, if any
    QTest::addColumn<QString>("other");     // the gaps of the flood
    QTest::addColumn<QString>("kept");      // the open gap's note

    QTest::newRow("nothing open") << QString() << u"link"_s << QString();
    QTest::newRow("a link gap open") << u"link"_s << u"capture"_s << u"ﾎﾟｰﾄ切断 09:00:01～"_s;
    QTest::newRow("a capture gap open") << u"capture"_s << u"link"_s << u"記録停止 09:00:01～"_s;
}

// Far more finished notes than the bound, gaps and overflows by turns (so that no two
// overflows merge): the gap open from the start stays, and with it exactly the newest
// finished notes, as a list that never saw the older steps would hold them.
void TestMonitorNotes::boundKeepsOpenGapsAndNewest()
{
    QFETCH(QString, open);
    QFETCH(QString, other);
    QFETCH(QString, kept);

    const QDateTime start(QDate(2026, 12, 6), QTime(9, 0, 1));
    const auto at = [&](qsizetype step) { return u"@"_s + start.addSecs(step).time().toString(u"hh:mm:ss"_s); };
    QStringList steps{(open.isEmpty() ? u"read"_s : open) + at(0)};
    for (int i = 0; i < 3 * int(MonitorNotes::MaxNotes); ++i)
        steps << other << u"/"_s + other << u"overflow"_s;
    const MonitorNotes notes = play(steps);
    QCOMPARE(notes.size(), MonitorNotes::MaxNotes);
    QStringList texts = notes.texts();
    QCOMPARE(texts.size(), MonitorNotes::MaxNotes);
    if (!kept.isEmpty())
        QCOMPARE(texts.takeLast(), kept);

    // The newest cycles of the flood alone, from the same time on.
    const qsizetype from = steps.size() - 3 * ((texts.size() + 1) / 2);
    QStringList newest = steps.mid(from);
    newest[0] += at(from);
    const QStringList expected = play(newest).texts();
    QCOMPARE(texts, expected.first(texts.size()));
    QCOMPARE(texts.first(), u"受信ﾃﾞｰﾀ破棄 "_s + at(steps.size() - 1).mid(1));
}

// Every text the strip shows can be written to the files of the code page the program
// uses, and comes back the same.
void TestMonitorNotes::textsFitTheCodePage()
{
    const MonitorNotes notes = play({u"link@23:59:58"_s, u"/link"_s, u"capture"_s, u"/capture"_s, u"overflow"_s,
                                     u"overflow"_s, u"capture"_s});
    QCOMPARE(notes.size(), 4);
    for (const QString &text : notes.texts() + QStringList{notes.line()}) {
        bool lossless = false;
        const QByteArray bytes = Cp932::encode(text, &lossless);
        QVERIFY2(lossless, qPrintable(text));
        QCOMPARE(Cp932::decode(bytes), text);
    }
}

QTEST_GUILESS_MAIN(TestMonitorNotes)
#include "tst_monitornotes.moc"
