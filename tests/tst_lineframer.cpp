#include "core/lineframer.h"

#include <QBuffer>
#include <QRandomGenerator>
#include <QTest>

#include <memory>

using namespace Ordavex;
using namespace Qt::StringLiterals;

namespace {

struct Totals
{
    QList<QByteArray> lines;
    qint32 completed = 0;
    qint32 kept = 0;
    qint32 received = 0;

    void add(const FramedLines &f)
    {
        lines += f.lines;
        completed += f.completed;
        kept += f.kept;
        received += f.received;
    }
};

// The stream fed in pieces cut at the given points; the line count starts at 0 and
// grows as the reader would grow it.
Totals feedInPieces(const QByteArray &stream, const QList<qsizetype> &cuts, LineFramer *framer = nullptr)
{
    LineFramer own;
    LineFramer &f = framer ? *framer : own;
    Totals t;
    qsizetype begin = 0;
    for (qsizetype cut : cuts) {
        t.add(f.feed(QByteArrayView(stream).sliced(begin, cut - begin), t.completed));
        begin = cut;
    }
    t.add(f.feed(QByteArrayView(stream).sliced(begin), t.completed));
    return t;
}

QList<qsizetype> everyByte(qsizetype size)
{
    QList<qsizetype> cuts;
    for (qsizetype i = 1; i < size; ++i)
        cuts.append(i);
    return cuts;
}

QList<qsizetype> randomCuts(qsizetype size, QRandomGenerator &random)
{
    QList<qsizetype> cuts;
    for (qsizetype at = 0; size > 0;) {
        at += random.bounded(1, 40);
        if (at >= size)
            break;
        cuts.append(at);
    }
    return cuts;
}

QByteArray records(int first, int count)
{
    QByteArray bytes;
    for (int i = first; i < first + count; ++i)
        bytes += "\x02" + QByteArray::number(i) + ",1,3,12.34\x03\r\n";
    return bytes;
}

} // namespace

class TestLineFramer final : public QObject
{
    Q_OBJECT

private slots:
    void texts();
    void framing_data();
    void framing();
    void deviceFeed();
    void lineLimitHoldsUntilReset();
    void limitLetsALineInProgressFinish();
    void linesWithoutTextNeverFillTheLimit();
    void heldBytesKeepOrderAcrossResets();
    void heldBytesBounded_data();
    void heldBytesBounded();
    void linesStayTheirOwn_data();
    void linesStayTheirOwn();
};

void TestLineFramer::texts()
{
    QCOMPARE(ReceiveStatusText(3, 120, 4567), u"line=3 nb=120 gb=4567"_s);
    QCOMPARE(MsgLineLimit, u"Line が 1000 を超えました。"_s);
}

void TestLineFramer::framing_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QList<QByteArray>>("lines");
    QTest::addColumn<int>("completed");
    QTest::addColumn<int>("kept");
    QTest::addColumn<int>("received");
    QTest::addColumn<QByteArray>("partial");

    using L = QList<QByteArray>;
    QTest::newRow("STX record ETX CR LF") << QByteArray("\x02" "1,3,1234\x03\r\n") << L{"1,3,1234"} << 1 << 8 << 12 << QByteArray();
    QTest::newRow("record CR LF") << QByteArray("1,3,1234\r\n") << L{"1,3,1234"} << 1 << 8 << 10 << QByteArray();
    QTest::newRow("record CR") << QByteArray("1,3,1234\r") << L{"1,3,1234"} << 1 << 8 << 9 << QByteArray();
    QTest::newRow("record LF") << QByteArray("1,3,1234\n") << L{"1,3,1234"} << 1 << 8 << 9 << QByteArray();
    QTest::newRow("end bytes only") << QByteArray("\r\n\r\n") << L{} << 0 << 0 << 4 << QByteArray();
    QTest::newRow("framing bytes only") << QByteArray("\x02\x03\x02\r\n\x03") << L{} << 0 << 0 << 6 << QByteArray();
    QTest::newRow("runs of end bytes give no empty lines")
        << QByteArray("\r\n\r\na\r\n\r\n\x03\x03" "b\r") << L{"a", "b"} << 2 << 2 << 13 << QByteArray();
    QTest::newRow("only NULs: counted, no text") << QByteArray("\0\0\0\r\n", 5) << L{} << 1 << 3 << 5 << QByteArray();
    QTest::newRow("leading NULs left out") << QByteArray("\0\0abc\0d\r\n", 9) << L{"abc"} << 1 << 7 << 9 << QByteArray();
    // Line noise between two records: the NUL starts a line that the next record's STX
    // does not end; the record is still whole.
    QTest::newRow("NUL before a record's STX")
        << QByteArray("\x02R,1,3\x03\r\n\0\x02R,2,5\x03\r\n", 19) << L{"R,1,3", "R,2,5"} << 2 << 11 << 19 << QByteArray();
    QTest::newRow("NUL inside: text up to it") << QByteArray("ab\0cd\r", 6) << L{"ab"} << 1 << 5 << 6 << QByteArray();
    QTest::newRow("no end byte") << QByteArray("\x02" "1,3") << L{} << 0 << 3 << 4 << QByteArray("1,3");
    QTest::newRow("STX inside a line is dropped") << QByteArray("a\x02" "b\r") << L{"ab"} << 1 << 2 << 4 << QByteArray();
    QTest::newRow("bytes as they come")
        << QByteArray("\x83\x8c\x81\x5b\x83\x93\t\xff\x7f\r") << L{QByteArray("\x83\x8c\x81\x5b\x83\x93\t\xff\x7f")}
        << 1 << 9 << 10 << QByteArray();
    QTest::newRow("wind and two records")
        << QByteArray("\x02+1.2\x03\r\n\x02R,1,3,123,12.34\x03\r\n\x02R,2,5,77,1:02.34\x03\r\n")
        << L{"+1.2", "R,1,3,123,12.34", "R,2,5,77,1:02.34"} << 3 << 35 << 47 << QByteArray();

    const QByteArray a515(515, 'a');
    QTest::newRow("515 bytes: one line") << a515 + "\r\n" << L{a515} << 1 << 515 << 517 << QByteArray();
    QTest::newRow("516 bytes: the 516th starts a line")
        << QByteArray(516, 'b') + "\r" << L{QByteArray(515, 'b'), "b"} << 2 << 516 << 517 << QByteArray();
    QByteArray long2000;
    for (int i = 0; i < 2000; ++i)
        long2000 += char('0' + i % 10);
    QTest::newRow("2000 bytes")
        << "\x02" + long2000 + "\x03\r\n"
        << L{long2000.sliced(0, 515), long2000.sliced(515, 515), long2000.sliced(1030, 515), long2000.sliced(1545)}
        << 4 << 2000 << 2004 << QByteArray();
    QTest::newRow("515 bytes then no end byte") << a515 << L{a515} << 1 << 515 << 515 << QByteArray();

    // Bytes below 0x0E that end nothing, and the bytes either side of the framing ones,
    // at every place in a run of text.
    const QByteArray controls("\x01\x04\x05\x06\x07\x08\x09\x0b\x0c\x0e\x0f\x1f\x7f\x80\x82\x8e\xff", 17);
    QTest::newRow("control bytes are stored") << controls + "\r" << L{controls} << 1 << 17 << 18 << QByteArray();
    QByteArray shifted;
    L shiftedLines;
    for (int at = 0; at < 20; ++at) {
        const QByteArray text = QByteArray(at, 'k') + controls;
        shifted += text + '\x03' + QByteArray(at % 3, '\n');
        shiftedLines.append(text);
    }
    QTest::newRow("an end byte at every place of a run")
        << shifted << shiftedLines << 20 << 20 * 17 + 190 << 20 * 18 + 190 + 19 << QByteArray();
    QTest::newRow("ends after control bytes")
        << QByteArray("\x01\x0e\x0c\x02\x0b\x03\x01\x0e\x0c\x0b\x04\x05\x06\x07\x08\x09\n")
        << L{"\x01\x0e\x0c\x0b", "\x01\x0e\x0c\x0b\x04\x05\x06\x07\x08\x09"} << 2 << 14 << 17 << QByteArray();
}

// The same lines and counts however the stream is cut into reads.
void TestLineFramer::framing()
{
    QFETCH(QByteArray, stream);
    QFETCH(QList<QByteArray>, lines);
    QFETCH(int, completed);
    QFETCH(int, kept);
    QFETCH(int, received);
    QFETCH(QByteArray, partial);

    QList<QList<qsizetype>> splits{{}, everyByte(stream.size())};
    QRandomGenerator random(20261207);
    for (int i = 0; i < 20; ++i)
        splits.append(randomCuts(stream.size(), random));
    for (const QList<qsizetype> &cuts : std::as_const(splits)) {
        LineFramer framer;
        const Totals t = feedInPieces(stream, cuts, &framer);
        QCOMPARE(t.lines, lines);
        QCOMPARE(t.completed, completed);
        QCOMPARE(t.kept, kept);
        QCOMPARE(t.received, received);
        QCOMPARE(framer.partialLine(), QByteArrayView(partial));
        QVERIFY(framer.partialLine().size() <= MaxLineBytes);
        QVERIFY(!framer.holding());
    }
}

void TestLineFramer::deviceFeed()
{
    QByteArray bytes = records(1, 2) + "\x02" "3,";
    QBuffer buffer(&bytes);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    LineFramer framer;
    const FramedLines f = framer.feed(buffer, 0);
    QCOMPARE(f.lines, (QList<QByteArray>{"1,1,3,12.34", "2,1,3,12.34"}));
    QCOMPARE(f.received, bytes.size());
    QCOMPARE(framer.partialLine(), QByteArrayView("3,"));
    QVERIFY(buffer.atEnd());
}

// The 1001st line is still read; then the bytes are held, not dropped, until the count
// is reset, and come out in order.
void TestLineFramer::lineLimitHoldsUntilReset()
{
    LineFramer framer;
    qint32 line = 0;
    const QByteArray first = records(1, 1001);
    FramedLines f = framer.feed(first, line);
    line += f.completed;
    QCOMPARE(line, 1001);
    QCOMPARE(f.lines.size(), 1001);
    QCOMPARE(f.lines.last(), "1001,1,3,12.34");
    // The end bytes after the 1001st line's ETX wait with the rest.
    QVERIFY(framer.holding());
    QCOMPARE(framer.heldBytes(), 2);

    const QByteArray more = records(1002, 3);
    for (char c : more) {
        f = framer.feed(QByteArrayView(&c, 1), line);
        QCOMPARE(f.completed, 0);
        QCOMPARE(f.received, 0);
        QVERIFY(f.lines.isEmpty());
    }
    QCOMPARE(framer.heldBytes(), 2 + more.size());

    // The monitor's clear: everything held comes through.
    line = 0;
    f = framer.feed({}, line);
    QCOMPARE(f.lines, (QList<QByteArray>{"1002,1,3,12.34", "1003,1,3,12.34", "1004,1,3,12.34"}));
    QCOMPARE(f.completed, 3);
    QCOMPARE(f.received, 2 + more.size());
    QVERIFY(!framer.holding());
}

void TestLineFramer::limitLetsALineInProgressFinish()
{
    LineFramer framer;
    FramedLines f = framer.feed("12", LineLimit);
    QCOMPARE(f.completed, 0);
    // The count rises above the limit while a line is in progress (the line started
    // below it): the line is finished, the next one waits.
    f = framer.feed("34\r\n56\r\n", LineLimit + 1);
    QCOMPARE(f.lines, QList<QByteArray>{"1234"});
    QCOMPARE(f.received, 3);
    QCOMPARE(framer.heldBytes(), 5);
    f = framer.feed({}, 0);
    QCOMPARE(f.lines, QList<QByteArray>{"56"});
}

// Lines of nothing but NULs are counted as completed, but nothing of them waits in the
// monitor to be let go: however many come, the record after them is not held.
void TestLineFramer::linesWithoutTextNeverFillTheLimit()
{
    LineFramer framer;
    const QByteArray stream = QByteArray("\0\0\0\0\r\n", 6).repeated(3 * LineLimit) + records(1, 1);
    const FramedLines f = framer.feed(stream, LineLimit - 1);
    QCOMPARE(f.completed, 3 * LineLimit + 1);
    QCOMPARE(f.lines, QList<QByteArray>{"1,1,3,12.34"});
    QVERIFY(!framer.holding());
}

// A long stream with resets at random moments, fed in random pieces: every line comes
// out once, in order, and nothing is started above the limit.
void TestLineFramer::heldBytesKeepOrderAcrossResets()
{
    const int total = 5000;
    const QByteArray stream = records(1, total);
    QRandomGenerator random(7);
    LineFramer framer;
    QList<QByteArray> lines;
    qint32 line = 0;
    qsizetype at = 0;
    while (at < stream.size() || framer.holding()) {
        const qsizetype piece = std::min<qsizetype>(random.bounded(1, 3000), stream.size() - at);
        const FramedLines f = framer.feed(QByteArrayView(stream).sliced(at, piece), line);
        at += piece;
        QVERIFY(line + f.completed <= LineLimit + 1);
        line += f.completed;
        lines += f.lines;
        if (random.bounded(10) == 0 || at == stream.size())
            line = 0;
    }
    QCOMPARE(lines.size(), total);
    for (int i = 0; i < total; ++i)
        QCOMPARE(lines[i], QByteArray::number(i + 1) + ",1,3,12.34");
}

void TestLineFramer::heldBytesBounded_data()
{
    QTest::addColumn<int>("piece");
    QTest::addColumn<QByteArray>("junk");

    // 17 to 19 bytes a record, 300 held at most: the bound falls inside a record.
    QTest::newRow("byte by byte") << 1 << QByteArray();
    QTest::newRow("pieces of 7") << 7 << QByteArray();
    QTest::newRow("pieces of 250") << 250 << QByteArray();
    QTest::newRow("whole") << 1 << QByteArray();
    QTest::newRow("a run without line ends at the bound") << 7 << QByteArray(700, 'x');
    QTest::newRow("line ends alone at the bound") << 5 << QByteArray(400, '\n');
}

// At the line limit the bytes held stay within the bound; what comes past it is let go
// a line at a time, and what comes out later is whole records in order: never the end of
// one record joined to the start of another, nothing counted twice.
void TestLineFramer::heldBytesBounded()
{
    QFETCH(int, piece);
    QFETCH(QByteArray, junk);
    const qsizetype maxHeld = 300;
    const int total = 200;
    // The first part is held while the count is above the limit; the rest comes after
    // the count came down, its first record cut by the gap.
    const QByteArray held = records(1, 100) + junk;
    const QByteArray rest = records(101, total - 100);
    const qsizetype cut = 9;
    const bool whole = QByteArrayView(QTest::currentDataTag()) == "whole";

    LineFramer framer(maxHeld);
    Totals t;
    qint64 dropped = 0;
    const auto feed = [&](QByteArrayView bytes, qint32 count) {
        const FramedLines f = framer.feed(bytes, count);
        t.add(f);
        dropped += f.dropped;
        QVERIFY(framer.heldBytes() <= maxHeld);
    };
    for (qsizetype at = 0; at < held.size(); at += whole ? held.size() : piece)
        feed(QByteArrayView(held).sliced(at).first(std::min<qsizetype>(whole ? held.size() : piece, held.size() - at)),
             LineLimit + 1);
    feed(QByteArrayView(rest).first(cut), LineLimit + 1);
    QVERIFY(framer.droppedBytes() > 0);
    while (framer.holding())
        feed({}, 0);
    for (qsizetype at = cut; at < rest.size(); at += piece)
        feed(QByteArrayView(rest).sliced(at).first(std::min<qsizetype>(piece, rest.size() - at)), 0);

    QCOMPARE(dropped, framer.droppedBytes());
    QCOMPARE(t.received + dropped, held.size() + rest.size());
    // Whole records only, in order; the first ones as they were held.
    int last = 0;
    for (const QByteArray &line : std::as_const(t.lines)) {
        if (line.startsWith('x'))
            continue;
        const QList<QByteArray> fields = line.split(',');
        QCOMPARE(fields.size(), 4);
        const int number = fields[0].toInt();
        QCOMPARE(line, QByteArray::number(number) + ",1,3,12.34");
        QVERIFY2(number > last, line.constData());
        last = number;
    }
    QVERIFY(t.lines.size() >= 10);
    for (int i = 0; i < 10; ++i)
        QCOMPARE(t.lines[i], QByteArray::number(i + 1) + ",1,3,12.34");
    // After the gap: the record it cut is let go, every later one comes through.
    QCOMPARE(t.lines.last(), QByteArray::number(total) + ",1,3,12.34");
    QVERIFY(!t.lines.contains("101,1,3,12.34"));
    QVERIFY(t.lines.contains("102,1,3,12.34"));
}

void TestLineFramer::linesStayTheirOwn_data()
{
    QTest::addColumn<QByteArray>("first");
    QTest::addColumn<QByteArray>("second");

    QTest::newRow("records") << records(1, 50) << records(51, 50);
    QTest::newRow("long lines") << QByteArray(3000, 'a') + '\r' << QByteArray(2000, 'b') + '\r';
    QTest::newRow("short lines") << QByteArray("a\rb\rc\r") << QByteArray("d\re\rf\r");
    QTest::newRow("a block filled to its last byte")
        << QByteArray(TextBlockBytes - 1, 'f') + '\r' << QByteArray("g\rh\r");
}

// Lines that come from one framer, and from a copy of it, neither change nor are changed
// by each other, by later lines or by the framer going; each is closed by a zero.
void TestLineFramer::linesStayTheirOwn()
{
    QFETCH(QByteArray, first);
    QFETCH(QByteArray, second);
    const QList<QByteArray> firstLines = feedInPieces(first, {}).lines;
    const QList<QByteArray> secondLines = feedInPieces(second, {}).lines;

    QList<QByteArray> kept, copied;
    {
        auto framer = std::make_unique<LineFramer>();
        kept = framer->feed(first, 0).lines;
        LineFramer copy(*framer);
        copied = copy.feed(first, 0).lines;
        LineFramer assigned;
        assigned.feed(second, 0);
        assigned = *framer;
        copied += assigned.feed(second, 0).lines;
        kept += framer->feed(second, 0).lines;
        copied += copy.feed(second, 0).lines;
    }
    QCOMPARE(kept, firstLines + secondLines);
    QCOMPARE(copied, firstLines + secondLines + secondLines);

    // A change to one line is its own.
    for (qsizetype i = 0; i < kept.size(); ++i) {
        QByteArray changed = kept[i];
        changed[0] = '#';
        changed.append("++");
        QCOMPARE(kept, firstLines + secondLines);
        QCOMPARE(changed, '#' + kept[i].sliced(1) + "++");
    }
    for (const QByteArray &line : std::as_const(kept))
        QCOMPARE(line.constData()[line.size()], '\0');
    // With every other line gone, the last one may be changed where it is.
    QByteArray last = kept.takeLast();
    kept.clear();
    copied.clear();
    last.append("xyz");
    QCOMPARE(last, secondLines.last() + "xyz");
}

QTEST_APPLESS_MAIN(TestLineFramer)
#include "tst_lineframer.moc"
