// The recovery file: every heat comes back exactly, and a file that is cut short,
// changed or of another kind is refused as a whole. Its writer keeps the order of the
// changes, keeps only the latest waiting one and hands its outcomes back to the window's
// thread.

#include "core/recovery.h"
#include "core/textcodec.h"

#include <QDir>
#include <QFile>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <memory>
#include <mutex>
#include <utility>

using namespace Ordavex;

Q_DECLARE_METATYPE(Ordavex::RecoveredHeat)

namespace {

RecoveredHeat sampleHeat()
{
    RecoveredHeat heat;
    heat.targetPath = QStringLiteral("C:\\Meet\\R1");
    heat.wind = QStringLiteral("+1.2");
    heat.raceKind = 2;
    heat.assigKind = 6;
    heat.numColID = 1;
    heat.sixtyFix = false;
    heat.rows = {{QStringLiteral("1"), QStringLiteral("4"), QStringLiteral("1052")},
                 {QStringLiteral("2"), QStringLiteral("5"), QString()},
                 {QStringLiteral("3"), QString(), QStringLiteral("10275")}};
    return heat;
}

RecoveredHeat heatWithWind(const QString &wind)
{
    RecoveredHeat heat = sampleHeat();
    heat.wind = wind;
    return heat;
}

// A disk whose first write waits at a gate until the test opens it; every write is
// recorded (by the wind of its heat) and then done for real.
struct GatedDisk
{
    QSemaphore entered;
    QSemaphore gate;
    std::mutex mutex;
    QStringList written;
    bool first = true;

    RecoveryWriter::SaveFunction saver()
    {
        return [this](const QString &path, QByteArrayView bytes) {
            bool wait = false;
            {
                const std::lock_guard lock(mutex);
                written << ReadRecovery(bytes).value_or(RecoveredHeat{}).wind;
                wait = std::exchange(first, false);
            }
            if (wait) {
                entered.release();
                // Bounded, so that a writer that never comes back fails the test
                // instead of hanging it.
                gate.tryAcquire(1, 10000);
            }
            return SaveFileAtomically(path, bytes);
        };
    }
    QStringList writes()
    {
        const std::lock_guard lock(mutex);
        return written;
    }
};

} // namespace

class TestRecovery final : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip_data();
    void roundTrip();
    void fileReadsAsText();
    void damagedFilesAreRefused_data();
    void damagedFilesAreRefused();
    void everyCutIsRefused();
    void pathBesideSettings_data();
    void pathBesideSettings();
    void crcOfKnownText();
    // The writer.
    void writerKeepsOrderAndOnlyTheLatest_data();
    void writerKeepsOrderAndOnlyTheLatest();
    void writerFinishesTheLastJobWhenItGoes();
};

void TestRecovery::roundTrip_data()
{
    QTest::addColumn<RecoveredHeat>("heat");
    QTest::newRow("sample") << sampleHeat();
    RecoveredHeat defaults;
    defaults.rows = {{QStringLiteral("1"), QString(), QString()}};
    QTest::newRow("one empty row, no wind") << defaults;

    RecoveredHeat odd = sampleHeat();
    // Escapes, tabs and line ends, Japanese, a character outside code page 932, one
    // outside the basic plane, a lone surrogate and a control character.
    odd.targetPath = QStringLiteral("/meet/Läufe 100%25 %U+41;/R1\t.csv");
    odd.wind = QStringLiteral("%\r\n");
    odd.rows = {{QStringLiteral("順位"), QStringLiteral("ﾚｰﾝ 𝄞"), QString(QChar(0xD800)) + QChar(0x01)},
                {QStringLiteral("\t"), QStringLiteral("a\rb\nc"), QStringLiteral("～〜")}};
    QTest::newRow("odd texts") << odd;

    RecoveredHeat full = sampleHeat();
    full.rows.clear();
    for (int r = 1; r <= 500; ++r)
        full.rows.push_back({QString::number(r), QString::number(r % 8 + 1), QString::number(5000 + 9 * r)});
    QTest::newRow("500 rows") << full;
}

void TestRecovery::roundTrip()
{
    QFETCH(RecoveredHeat, heat);
    const QByteArray bytes = RecoveryBytes(heat);
    const std::optional<RecoveredHeat> read = ReadRecovery(bytes);
    QVERIFY(read.has_value());
    QCOMPARE(read->targetPath, heat.targetPath);
    QCOMPARE(read->wind, heat.wind);
    QCOMPARE(read->rows, heat.rows);
    QVERIFY(*read == heat);
    // Text with CR LF line ends and nothing else between the lines.
    QVERIFY(bytes.endsWith("\r\n"));
    QCOMPARE(bytes.count("\r\n"), bytes.count('\n'));
    QCOMPARE(bytes.count("\r\n"), bytes.count('\r'));
    QCOMPARE(bytes.count("\r\n"), 5 + heat.rows.size());
}

void TestRecovery::fileReadsAsText()
{
    const QByteArray bytes = RecoveryBytes(sampleHeat());
    const QString text = Cp932::decode(bytes);
    QVERIFY(text.startsWith(QStringLiteral("ORDAVEX-RECOVERY\t1\t")));
    QVERIFY(text.contains(QStringLiteral("\r\ntarget\tC:\\Meet\\R1\r\nwind\t+1.2\r\noptions\t2\t6\t1\t0\r\nrows\t3\r\n"
                                         "row\t1\t4\t1052\r\nrow\t2\t5\t\r\nrow\t3\t\t10275\r\n")));
    // Japanese is written as code page 932, not escaped.
    RecoveredHeat heat = sampleHeat();
    heat.rows[0][0] = QStringLiteral("順位");
    QVERIFY(RecoveryBytes(heat).contains(Cp932::encode(QStringLiteral("row\t順位\t4"))));
}

void TestRecovery::damagedFilesAreRefused_data()
{
    QTest::addColumn<QByteArray>("bytes");
    const QByteArray good = RecoveryBytes(sampleHeat());
    const qsizetype headEnd = good.indexOf("\r\n") + 2;
    const QByteArray body = good.mid(headEnd);
    // A head that fits whatever body follows it, so that only the body is judged.
    auto withHead = [](const QByteArray &body, const QByteArray &version = "1") {
        return "ORDAVEX-RECOVERY\t" + version + '\t' + QByteArray::number(body.size()) + '\t'
            + QByteArray::number(Crc32(body), 16).rightJustified(8, '0').toUpper() + "\r\n" + body;
    };
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("head only") << good.left(headEnd);
    QTest::newRow("one byte short") << good.chopped(1);
    QTest::newRow("one byte more") << good + 'x';
    QByteArray flipped = good;
    flipped[headEnd + 10] = char(flipped[headEnd + 10] ^ 0x01);
    QTest::newRow("one bit changed") << flipped;
    QTest::newRow("other magic") << QByteArray(good).replace("ORDAVEX-RECOVERY", "ORDAVEX-RECOVERZ");
    QTest::newRow("newer version") << withHead(body, "2");
    QTest::newRow("LF line ends") << withHead(QByteArray(body).replace("\r\n", "\n"));
    QTest::newRow("a row missing") << withHead(body.left(body.lastIndexOf("row\t")));
    QTest::newRow("a row too many") << withHead(body + "row\t4\t1\t1\r\n");
    QTest::newRow("rows 0") << withHead(QByteArray(body).replace("rows\t3", "rows\t0"));
    QTest::newRow("rows 501") << withHead(QByteArray(body).replace("rows\t3", "rows\t501"));
    QTest::newRow("rows 03") << withHead(QByteArray(body).replace("rows\t3", "rows\t03"));
    QTest::newRow("race kind 3") << withHead(QByteArray(body).replace("options\t2", "options\t3"));
    QTest::newRow("lines swapped") << withHead(QByteArray(body).replace("target", "wind0").replace("wind\t", "target\t")
                                                   .replace("wind0", "wind"));
    QTest::newRow("bad escape") << withHead(QByteArray(body).replace("+1.2", "%2"));
    QTest::newRow("code point too large") << withHead(QByteArray(body).replace("+1.2", "%U+110000;"));
    QTest::newRow("row with 2 cells") << withHead(QByteArray(body).replace("row\t2\t5\t\r\n", "row\t2\t5\r\n"));
    QTest::newRow("no final line end") << withHead(body.chopped(2));
}

void TestRecovery::damagedFilesAreRefused()
{
    QFETCH(QByteArray, bytes);
    QVERIFY(!ReadRecovery(bytes).has_value());
}

// A file cut at any byte, as a power loss in the middle of writing could leave it if
// it were written in place.
void TestRecovery::everyCutIsRefused()
{
    const QByteArray good = RecoveryBytes(sampleHeat());
    for (qsizetype n = 0; n < good.size(); ++n) {
        if (ReadRecovery(good.left(n)).has_value())
            QFAIL(qPrintable(QStringLiteral("a file cut to %1 of %2 bytes was read").arg(n).arg(good.size())));
    }
    QVERIFY(ReadRecovery(good).has_value());
}

void TestRecovery::pathBesideSettings_data()
{
    QTest::addColumn<QString>("settings");
    QTest::addColumn<QString>("recovery");
    QTest::newRow("ini") << QStringLiteral("/opt/meet/ordavex.INI") << QStringLiteral("/opt/meet/ordavex.recovery");
    QTest::newRow("two dots") << QStringLiteral("/a.b/ord.v2.INI") << QStringLiteral("/a.b/ord.v2.recovery");
    QTest::newRow("no extension") << QStringLiteral("/a.b/ordavex") << QStringLiteral("/a.b/ordavex.recovery");
}

void TestRecovery::pathBesideSettings()
{
    QFETCH(QString, settings);
    QFETCH(QString, recovery);
    QCOMPARE(RecoveryFilePath(settings), recovery);
}

void TestRecovery::crcOfKnownText()
{
    QCOMPARE(Crc32("123456789"), 0xCBF43926u);
    QCOMPARE(Crc32(""), 0u);
}

// The first job is held on its way to the disk while the others are handed over, as a
// slow sync holds it; what reaches the disk, and in what order.
void TestRecovery::writerKeepsOrderAndOnlyTheLatest_data()
{
    QTest::addColumn<QString>("jobs");          // w<wind> writes, d removes; the first is held
    QTest::addColumn<QStringList>("written");   // the winds of the writes that ran, in order
    QTest::addColumn<QString>("onDisk");        // the wind in the file at the end; "-" for none
    auto row = [](const char *name, const char *jobs, const char *written, const char *onDisk) {
        QTest::newRow(name) << QString::fromLatin1(jobs)
                            << QString::fromLatin1(written).split(u' ', Qt::SkipEmptyParts)
                            << QString::fromLatin1(onDisk);
    };
    row("writes while one is held", "w1 w2 w3 w4", "1 4", "4");
    row("removed while a write is held", "w1 d", "1", "-");
    row("removed, then a new heat", "w1 d w2", "1 2", "2");
    row("new heat, then removed", "w1 w2 d", "1", "-");
    row("one write", "w1", "1", "1");
}

void TestRecovery::writerKeepsOrderAndOnlyTheLatest()
{
    QFETCH(QString, jobs);
    QFETCH(QStringList, written);
    QFETCH(QString, onDisk);
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString path = QDir(folder.path()).filePath(QStringLiteral("ordavex.recovery"));
    GatedDisk disk;
    RecoveryWriter writer(path);
    writer.setSaveFunction(disk.saver());
    // The outcomes come to this thread, never on the writer's own.
    QList<quint64> outcomes;
    connect(&writer, &RecoveryWriter::done, this, [&outcomes](const RecoveryOutcome &outcome) {
        QCOMPARE(QThread::currentThread(), QCoreApplication::instance()->thread());
        outcomes << outcome.job;
    });

    const QStringList list = jobs.split(u' ');
    quint64 last = 0;
    for (qsizetype i = 0; i < list.size(); ++i) {
        last = list[i] == u"d" ? writer.discard() : writer.write(heatWithWind(list[i].mid(1)));
        QCOMPARE(last, quint64(i + 1));
        if (i == 0)
            QVERIFY(disk.entered.tryAcquire(1, 5000));
    }
    QVERIFY(!writer.waitUntilDone(0));
    disk.gate.release();
    QVERIFY(writer.waitUntilDone(5000));
    QCOMPARE(disk.writes(), written);
    QFile file(path);
    if (onDisk == u"-") {
        QVERIFY(!file.exists());
    } else {
        QVERIFY(file.open(QIODevice::ReadOnly));
        const std::optional<RecoveredHeat> heat = ReadRecovery(file.readAll());
        QVERIFY(heat.has_value());
        QCOMPARE(heat->wind, onDisk);
    }
    // One outcome for each job that ran, in order, the last one among them.
    QTRY_VERIFY(!outcomes.isEmpty() && outcomes.last() == last);
    QCOMPARE(outcomes.first(), quint64(1));
    QVERIFY(outcomes.size() <= 2);
}

// The program ending with a heat on its way to a slow disk: it still gets there.
void TestRecovery::writerFinishesTheLastJobWhenItGoes()
{
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString path = QDir(folder.path()).filePath(QStringLiteral("ordavex.recovery"));
    {
        RecoveryWriter writer(path);
        writer.setSaveFunction([](const QString &path, QByteArrayView bytes) {
            QThread::msleep(300);
            return SaveFileAtomically(path, bytes);
        });
        writer.write(heatWithWind(QStringLiteral("first")));
        writer.write(heatWithWind(QStringLiteral("last")));
    }
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const std::optional<RecoveredHeat> heat = ReadRecovery(file.readAll());
    QVERIFY(heat.has_value());
    QCOMPARE(heat->wind, QStringLiteral("last"));
}

QTEST_GUILESS_MAIN(TestRecovery)
#include "tst_recovery.moc"
