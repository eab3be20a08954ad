// The messages between the program and its board process, and the board's log throttle.

#include "core/boardmessage.h"
#include "core/logthrottle.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>
#include <QtEndian>

using namespace Ordavex;
using namespace Qt::StringLiterals;

namespace {

BoardHeat sampleHeat()
{
    BoardHeat heat;
    heat.race = u"男子\u001f100m \"決勝\" </script>"_s;
    heat.fileName = u"R1w_112.csv"_s;
    heat.headings = {u"順位"_s, u"ﾚｰﾝ"_s, u"ﾀｲﾑ"_s};
    heat.rows = {BoardRow{u"1"_s, u"4"_s, u"10.52"_s, u"1052"_s}, BoardRow{QString(), QString(), QString(), QString()}};
    heat.wind = u"+1.2"_s;
    heat.windMarker = true;
    heat.saved = true;
    heat.version = 0xfedcba9876543210ULL;
    heat.updatedAt = QDateTime::fromMSecsSinceEpoch(1'765'000'000'123LL, Qt::UTC);
    return heat;
}

QByteArray framedRaw(const QByteArray &json)
{
    QByteArray bytes(4, Qt::Uninitialized);
    qToBigEndian(quint32(json.size()), bytes.data());
    return bytes + json;
}

} // namespace

class TestBoardMessage final : public QObject
{
    Q_OBJECT

private slots:
    void readerSplitsAndBounds_data();
    void readerSplitsAndBounds();
    void snapshotRoundTrip();
    void snapshotRefused_data();
    void snapshotRefused();
    void protocolChecked_data();
    void protocolChecked();
    void logThrottle();
};

// The stream in any cut gives the messages whole; what cannot be a message of ours stops
// the reader for good.
void TestBoardMessage::readerSplitsAndBounds_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<int>("chunk");         // bytes handed at a time
    QTest::addColumn<int>("messages");
    QTest::addColumn<bool>("failed");

    const QByteArray one = FrameBoardMessage(MakeBoardMessage(BoardMessages::Listing));
    QJsonObject heat = MakeBoardMessage(BoardMessages::Heat);
    heat.insert(u"heat"_s, BoardHeatSnapshot(sampleHeat()));
    const QByteArray big = FrameBoardMessage(heat);
    QTest::newRow("one, whole") << one << 1024 << 1 << false;
    QTest::newRow("three, byte by byte") << one + big + one << 1 << 3 << false;
    QTest::newRow("cut inside the length") << one + one.first(2) << 7 << 1 << false;
    QByteArray huge(4, Qt::Uninitialized);
    qToBigEndian(quint32(MaxBoardMessageBytes + 1), huge.data());
    QTest::newRow("length over the bound") << one + huge + one << 1024 << 1 << true;
    QTest::newRow("an array") << framedRaw("[1,2]") + one << 1024 << 0 << true;
    QTest::newRow("not JSON") << framedRaw("{\"type\":") + one << 3 << 0 << true;
}

void TestBoardMessage::readerSplitsAndBounds()
{
    QFETCH(QByteArray, stream);
    QFETCH(int, chunk);
    QFETCH(int, messages);
    QFETCH(bool, failed);

    BoardMessageReader reader;
    int got = 0;
    for (qsizetype pos = 0; pos < stream.size(); pos += chunk) {
        reader.append(QByteArrayView(stream).sliced(pos, std::min<qsizetype>(chunk, stream.size() - pos)));
        while (const std::optional<QJsonObject> message = reader.next()) {
            QVERIFY(BoardProtocolMismatch(*message).isEmpty());
            ++got;
        }
    }
    QCOMPARE(got, messages);
    QCOMPARE(reader.failed(), failed);
    // Nothing is held after a failure.
    if (failed)
        QCOMPARE(reader.pending(), 0);
}

void TestBoardMessage::snapshotRoundTrip()
{
    const BoardHeat heat = sampleHeat();
    QJsonObject message = MakeBoardMessage(BoardMessages::Heat);
    message.insert(u"heat"_s, BoardHeatSnapshot(heat));
    BoardMessageReader reader;
    reader.append(FrameBoardMessage(message));
    const std::optional<QJsonObject> read = reader.next();
    QVERIFY(read);
    const std::optional<BoardHeat> back = BoardHeatFromSnapshot(read->value(u"heat"_s));
    QVERIFY(back);
    QCOMPARE(back->race, heat.race);
    QCOMPARE(back->fileName, heat.fileName);
    QCOMPARE(back->headings, heat.headings);
    QCOMPARE(back->rows.size(), heat.rows.size());
    for (qsizetype i = 0; i < heat.rows.size(); ++i) {
        QCOMPARE(back->rows[i].place, heat.rows[i].place);
        QCOMPARE(back->rows[i].number, heat.rows[i].number);
        QCOMPARE(back->rows[i].time, heat.rows[i].time);
        QCOMPARE(back->rows[i].packed, heat.rows[i].packed);
    }
    QCOMPARE(back->wind, heat.wind);
    QCOMPARE(back->windMarker, heat.windMarker);
    QCOMPARE(back->saved, heat.saved);
    QCOMPARE(back->version, heat.version);
    QCOMPARE(back->updatedAt, heat.updatedAt);
    // A heat without a time of change keeps none.
    BoardHeat timeless = heat;
    timeless.updatedAt = QDateTime();
    QVERIFY(!BoardHeatFromSnapshot(BoardHeatSnapshot(timeless))->updatedAt.isValid());
}

// A snapshot with a field missing or of another type is not read as a heat at all.
void TestBoardMessage::snapshotRefused_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QJsonValue>("value");     // undefined: the field is left out

    QTest::newRow("no race") << u"race"_s << QJsonValue(QJsonValue::Undefined);
    QTest::newRow("race a number") << u"race"_s << QJsonValue(3);
    QTest::newRow("version not a number") << u"version"_s << QJsonValue(u"x1"_s);
    QTest::newRow("version a double") << u"version"_s << QJsonValue(12.0);
    QTest::newRow("two headings") << u"headings"_s << QJsonValue(QJsonArray{u"a"_s, u"b"_s});
    QTest::newRow("row of three") << u"rows"_s << QJsonValue(QJsonArray{QJsonArray{u"1"_s, u"2"_s, u"3"_s}});
    QTest::newRow("row cell a number") << u"rows"_s << QJsonValue(QJsonArray{QJsonArray{u"1"_s, 2, u"3"_s, u"4"_s}});
    QTest::newRow("rows an object") << u"rows"_s << QJsonValue(QJsonObject{});
    QTest::newRow("marker a string") << u"windMarker"_s << QJsonValue(u"true"_s);
    QTest::newRow("time a string") << u"updatedMs"_s << QJsonValue(u"0"_s);
}

void TestBoardMessage::snapshotRefused()
{
    QFETCH(QString, field);
    QFETCH(QJsonValue, value);
    QJsonObject snapshot = BoardHeatSnapshot(sampleHeat());
    QVERIFY(BoardHeatFromSnapshot(snapshot));
    if (value.isUndefined())
        snapshot.remove(field);
    else
        snapshot.insert(field, value);
    QVERIFY(!BoardHeatFromSnapshot(snapshot));
}

void TestBoardMessage::protocolChecked_data()
{
    QTest::addColumn<QJsonObject>("message");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("ours") << MakeBoardMessage(BoardMessages::Heat) << true;
    QJsonObject other = MakeBoardMessage(BoardMessages::Heat);
    other.insert(u"protocol"_s, BoardProtocolVersion + 1);
    QTest::newRow("a later one") << other << false;
    other.insert(u"protocol"_s, u"1"_s);
    QTest::newRow("as text") << other << false;
    other.remove(u"protocol"_s);
    QTest::newRow("none") << other << false;
    QTest::newRow("no type") << QJsonObject{{u"protocol"_s, BoardProtocolVersion}} << false;
}

void TestBoardMessage::protocolChecked()
{
    QFETCH(QJsonObject, message);
    QFETCH(bool, accepted);
    QCOMPARE(BoardProtocolMismatch(message).isEmpty(), accepted);
}

// A line a visitor can provoke is written at most once a period, the lines of a period
// are bounded in all, and what was held back is counted with the next line written.
void TestBoardMessage::logThrottle()
{
    LogThrottle throttle(60'000, 3);
    int held = -1;
    QVERIFY(throttle.admit(u"upgrade refused"_s, 0, &held));
    QCOMPARE(held, 0);
    for (int i = 1; i <= 100; ++i)
        QVERIFY(!throttle.admit(u"upgrade refused"_s, i * 100));
    QVERIFY(throttle.admit(u"b"_s, 20'000, &held));
    QCOMPARE(held, 100);
    QVERIFY(throttle.admit(u"c"_s, 20'001));
    // Three in this period: a fourth line, new as it is, waits.
    QVERIFY(!throttle.admit(u"d"_s, 20'002));
    QVERIFY(!throttle.admit(u"upgrade refused"_s, 59'999));
    QVERIFY(throttle.admit(u"upgrade refused"_s, 60'000, &held));
    QCOMPARE(held, 2);
}

QTEST_GUILESS_MAIN(TestBoardMessage)
#include "tst_boardmessage.moc"
