#include "core/board.h"
#include "core/startlist.h"
#include "core/textcodec.h"
#include "core/gridmodel.h"
#include "core/resultfile.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

using namespace Ordavex;
using namespace Qt::StringLiterals;

namespace {

// "4:1052;5:;3:10275": lane and packed time of each data row.
void fill(ResultGrid &grid, int dataRows, const QString &rows)
{
    grid.setGridRowCount(dataRows + 1);
    grid.setCell(0, 0, u"順位"_s);
    grid.setCell(1, 0, u"ﾚｰﾝ"_s);
    grid.setCell(2, 0, u"ﾀｲﾑ"_s);
    for (int row = 1; row <= dataRows; ++row)
        grid.setCell(0, row, QString::number(row));
    const QStringList cells = rows.split(u';', Qt::SkipEmptyParts);
    for (qsizetype i = 0; i < cells.size(); ++i) {
        grid.setCell(1, int(i) + 1, cells[i].section(u':', 0, 0));
        grid.setCell(2, int(i) + 1, cells[i].section(u':', 1, 1));
    }
}

const QString JapaneseName = u"男子100m予選1組w_905"_s;

class TestSource final : public BoardSource
{
public:
    BoardHeat current;
    QList<SavedHeat> heats{{u"R1w_112"_s, u"R1w_112.csv"_s, {}},
                           {JapaneseName, JapaneseName + u".csv"_s, {}},
                           {u"broken"_s, u"broken.csv"_s, {}},
                           {u"a b#c?d%e&f'g+"_s, u"a b#c?d%e&f'g+.csv"_s, {}}};

    BoardHeat currentHeat() const override { return current; }
    QList<SavedHeat> savedHeats() const override { return heats; }
    std::optional<BoardHeat> savedHeat(const SavedHeat &heat) const override
    {
        if (heat.name == u"broken"_s)
            return std::nullopt;
        BoardHeat saved;
        saved.race = heat.name;
        saved.fileName = heat.fileName;
        return saved;
    }
};

QJsonObject parsed(const QByteArray &json)
{
    return QJsonDocument::fromJson(json).object();
}

qsizetype markup(const QByteArray &page)
{
    return page.count('<') + page.count('>') + page.count('"') + page.count('\'');
}

} // namespace

class TestBoard final : public QObject
{
    Q_OBJECT

private slots:
    void hostileTexts_data();
    void hostileTexts();
    void routes_data();
    void routes();
    void boardHeat_data();
    void boardHeat();
    void savedHeatReadsBackAsShown_data();
    void savedHeatReadsBackAsShown();
    void listing_data();
    void listing();
    void jsonIsStrict_data();
    void jsonIsStrict();
    void jsonFieldTypes();
    void publishedHeatNames_data();
    void publishedHeatNames();
    void publishedFiles();
    void linksAnswer();
    void recentHeats();
};

void TestBoard::hostileTexts_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("script") << u"<script>alert(1)</script>"_s;
    QTest::newRow("end of script") << u"</script><script>x()</script>"_s;
    QTest::newRow("quotes") << u"a\"b'c&amp;d"_s;
    QTest::newRow("control") << u"a\u0001b\nc\td\u001f\r"_s;
    QTest::newRow("separators") << u"a\u2028b\u2029c\\"_s;
    QTest::newRow("japanese") << u"男子 100m ﾀｲﾑ決勝"_s;
}

// A text from a file or the grid shows as that text in every page and JSON document,
// and adds no markup to a page.
void TestBoard::hostileTexts()
{
    QFETCH(QString, text);
    BoardHeat heat;
    heat.race = text;
    heat.fileName = text + u".csv"_s;
    heat.headings = {text, text, text};
    heat.rows = {{text, text, text, u"1052"_s, text, text}};
    heat.wind = text;
    BoardHeat plain = heat;
    plain.race = plain.fileName = plain.wind = plain.rows[0].place = plain.rows[0].number = plain.rows[0].time = u"x"_s;
    plain.rows[0].name = plain.rows[0].team = u"x"_s;
    plain.headings = {u"x"_s, u"x"_s, u"x"_s};
    const QList<SavedHeat> heats{{text, text + u".csv"_s, {}}};
    const QList<SavedHeat> plainHeats{{u"x"_s, u"x.csv"_s, {}}};

    const QJsonObject json = parsed(BoardHeatJson(heat));
    QCOMPARE(json.value("race"_L1).toString(), text);
    QCOMPARE(json.value("headings"_L1).toArray().at(2).toString(), text);
    const QJsonObject row = json.value("rows"_L1).toArray().at(0).toObject();
    QCOMPARE(row.value("time"_L1).toString(), text);
    QCOMPARE(row.value("digits"_L1).toString(), u"1052"_s);
    QCOMPARE(row.value("name"_L1).toString(), text);
    QCOMPARE(row.value("team"_L1).toString(), text);
    QCOMPARE(json.value("wind"_L1).toString(), text);
    QCOMPARE(parsed(BoardHeatListJson(heats)).value("heats"_L1).toArray().at(0).toObject().value("name"_L1).toString(),
             text);
    QVERIFY(!BoardHeatJson(heat).contains("</"));

    for (const BoardSite site : {BoardSite::Served, BoardSite::Published}) {
        QCOMPARE(markup(BoardHeatPage(heat, site)), markup(BoardHeatPage(plain, site)));
        QCOMPARE(markup(BoardSavedHeatPage(heat, site)), markup(BoardSavedHeatPage(plain, site)));
        QCOMPARE(markup(BoardHeatListPage(heats, site)), markup(BoardHeatListPage(plainHeats, site)));
        QVERIFY(BoardHeatPage(heat, site).contains(HtmlEscaped(text).toUtf8()));
    }
}

void TestBoard::routes_data()
{
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<int>("status");

    const QByteArray japanese = "/api/heats/" + QUrl::toPercentEncoding(JapaneseName) + ".json";
    const QList<std::tuple<const char *, QByteArray, QByteArray, int>> rows{
        {"page", "GET", "/", 200},
        {"query ignored", "GET", "/?a=%2e%2e/x", 200},
        {"post", "POST", "/", 405},
        {"lower case get", "get", "/", 405},
        {"list", "GET", "/heats", 200},
        {"list slash", "GET", "/heats/", 404},
        {"saved", "GET", "/heats/R1w_112", 200},
        {"saved query", "HEAD", "/heats/R1w_112?x=1", 200},
        {"saved trailing slash", "GET", "/heats/R1w_112/", 404},
        {"unreadable", "GET", "/heats/broken", 404},
        {"current json", "GET", "/api/current.json", 200},
        {"list json", "GET", "/api/heats.json", 200},
        {"saved json", "GET", "/api/heats/R1w_112.json", 200},
        {"japanese json", "GET", japanese, 200},
        {"japanese lower hex", "GET", japanese.toLower(), 200},
        {"json without name", "GET", "/api/heats/.json", 404},
        {"dot dot", "GET", "/heats/..", 404},
        {"encoded dot dot", "GET", "/heats/%2e%2e", 404},
        {"traversal", "GET", "/heats/../../etc/passwd", 404},
        {"encoded slash", "GET", "/heats/..%2F..%2Fetc%2Fpasswd", 404},
        {"encoded slash before name", "GET", "/heats%2FR1w_112", 404},
        {"backslash", "GET", "/heats/..\\R1w_112", 404},
        {"encoded backslash", "GET", "/heats/%5cR1w_112", 404},
        {"nul", "GET", "/heats/R1w_112%00", 404},
        {"invalid utf-8", "GET", "/heats/%ff", 404},
        {"overlong utf-8", "GET", "/heats/%c0%ae%c0%ae", 404},
        {"bad escape", "GET", "/heats/R1w_11%2", 404},
        {"long name", "GET", "/heats/" + QByteArray(300, 'a'), 404},
        {"overlong target", "GET", "/heats/" + QByteArray(3000, 'a'), 414},
        {"double slash", "GET", "//", 404},
        {"index file", "GET", "/index.html", 404},
        {"socket", "GET", "/ws", 404},
        {"absolute form", "GET", "http://localhost/", 404},
        {"empty", "GET", "", 404},
    };
    for (const auto &[name, method, target, status] : rows)
        QTest::newRow(name) << method << target << status;
}

void TestBoard::routes()
{
    QFETCH(QByteArray, method);
    QFETCH(QByteArray, target);
    QFETCH(int, status);
    TestSource source;
    source.current.race = u"R1"_s;

    const BoardReply reply = AnswerBoardRequest(method, target, source);
    QCOMPARE(reply.status, status);
    if (status != 200)
        return;
    const bool json = target.split('?').front().endsWith(".json");
    QCOMPARE(reply.contentType, json ? "application/json; charset=utf-8"_ba : "text/html; charset=utf-8"_ba);
    if (target.startsWith("/api/heats/"))
        QCOMPARE(parsed(reply.body).value("race"_L1).toString(), QUrl::fromPercentEncoding(target.sliced(11).chopped(5)));
}

void TestBoard::boardHeat_data()
{
    QTest::addColumn<QString>("rows");
    QTest::addColumn<bool>("track");
    QTest::addColumn<bool>("sixtyFix");
    QTest::addColumn<QString>("windText");
    QTest::addColumn<QStringList>("times");
    QTest::addColumn<QString>("wind");
    QTest::addColumn<bool>("marker");

    QTest::newRow("track") << u"4:1052;5:7523;3:1234567"_s << true << true << u"12"_s
                           << QStringList{u"10.52"_s, u" 1:15.23"_s, u" 1:23:45.67"_s} << u"+1.2"_s << false;
    QTest::newRow("track without 60秒補正") << u"4:1052;5:7523"_s << true << false << u"+2.1"_s
                                         << QStringList{u"10.52"_s, u"75.23"_s} << u"+2.1"_s << true;
    QTest::newRow("road") << u"101:12345;102:75"_s << false << true << u""_s
                          << QStringList{u" 1:23:45"_s, u" 1:15"_s} << QString() << false;
    QTest::newRow("road without 60秒補正") << u"101:100;102:75"_s << false << false << u"20"_s
                                        << QStringList{u"60"_s, u"75"_s} << u"+2.0"_s << false;
    QTest::newRow("gap kept, trailing rows dropped") << u"4:1052;:;3:1100;:"_s << true << true << u"-05"_s
                                                     << QStringList{u"10.52"_s, QString(), u"11.00"_s} << u"-0.5"_s << false;
    QTest::newRow("empty heat") << QString() << true << true << u"+3.0"_s << QStringList{} << u"+3.0"_s << true;
}

void TestBoard::boardHeat()
{
    QFETCH(QString, rows);
    QFETCH(bool, track);
    QFETCH(bool, sixtyFix);
    QFETCH(QString, windText);
    QFETCH(QStringList, times);
    QFETCH(QString, wind);
    QFETCH(bool, marker);
    ResultGrid grid;
    fill(grid, 6, rows);

    const BoardHeat heat = MakeBoardHeat(grid, u"/meet/R1w_112.csv"_s, {}, windText, track, sixtyFix, false);
    QCOMPARE(heat.rows.size(), times.size());
    for (qsizetype i = 0; i < times.size(); ++i) {
        QCOMPARE(heat.rows[i].time, times[i]);
        QCOMPARE(heat.rows[i].packed, grid.cell(2, int(i) + 1));
    }
    QCOMPARE(heat.race, u"R1"_s);
    QCOMPARE(heat.wind, wind);
    QCOMPARE(heat.windMarker, marker);

    const QByteArray page = BoardHeatPage(heat, BoardSite::Served);
    QCOMPARE(page.contains("id=\"marker\" class=\"marker\" hidden"), !marker);
    QCOMPARE(page.count("<tr>"), times.size());
}

void TestBoard::savedHeatReadsBackAsShown_data()
{
    QTest::addColumn<bool>("track");
    QTest::addColumn<bool>("sixtyFix");
    QTest::newRow("track") << true << true;
    QTest::newRow("track without 60秒補正") << true << false;
    QTest::newRow("road") << false << true;
    QTest::newRow("road without 60秒補正") << false << false;
}

// A saved heat looks on the board as it looked on the grid when it was saved.
void TestBoard::savedHeatReadsBackAsShown()
{
    QFETCH(bool, track);
    QFETCH(bool, sixtyFix);
    QTemporaryDir dir;
    ResultGrid grid;
    fill(grid, 4, u"4:1052;5:7523;3:10075;6:75"_s);
    QVERIFY(WriteResultFile(dir.filePath(u"R1w_121.csv"_s), grid, track, sixtyFix));

    const BoardHeat live = MakeBoardHeat(grid, u"R1w_121.csv"_s, {}, u"21"_s, track, sixtyFix, true);
    const QList<SavedHeat> heats = ListSavedHeats(dir.path());
    QCOMPARE(heats.size(), 1);
    const std::optional<BoardHeat> saved = ReadSavedHeat(dir.path(), heats[0]);
    QVERIFY(saved);
    QCOMPARE(saved->race, u"R1"_s);
    QCOMPARE(saved->wind, u"+2.1"_s);
    QVERIFY(saved->windMarker);
    QCOMPARE(saved->rows.size(), live.rows.size());
    for (qsizetype i = 0; i < live.rows.size(); ++i) {
        QCOMPARE(saved->rows[i].time, live.rows[i].time);
        // The reader keeps the digits of the time as the file shows it.
        QCOMPARE(saved->rows[i].packed.toInt(), QString(live.rows[i].time).remove(QRegularExpression(u"\\D"_s)).toInt());
        QCOMPARE(saved->rows[i].number, live.rows[i].number);
    }
    QVERIFY(!ReadSavedHeat(dir.path(), {u"gone"_s, u"gone.csv"_s, {}}));

    // With the race's start list the saved heat and the live one carry the names of the
    // lanes it lists; a heat with no race is titled in Japanese, not "Untitled".
    QVERIFY(QDir(dir.path()).mkdir(u"startlists"_s));
    QFile list(dir.filePath(u"startlists/R1.csv"_s));
    QVERIFY(list.open(QIODevice::WriteOnly));
    list.write(Cp932::encode(u"ﾚｰﾝ,氏名,所属\r\n5,佐藤 花子,大阪陸協\r\n4,山田 太郎,\r\n"_s));
    list.close();
    const std::optional<BoardHeat> named = ReadSavedHeat(dir.path(), heats[0]);
    QVERIFY(named);
    const QStringList names{named->rows[0].name, named->rows[1].name, named->rows[2].name, named->rows[1].team};
    QCOMPARE(names, (QStringList{u"山田 太郎"_s, u"佐藤 花子"_s, QString(), u"大阪陸協"_s}));
    BoardHeat untitled = MakeBoardHeat(grid, u"/w/Untitled.csv"_s, {}, {}, track, sixtyFix, false);
    QCOMPARE(untitled.race, UnnamedRaceTitle);
    AddStarterNames(untitled, *ReadStartListFile(list.fileName()).list);
    QCOMPARE(untitled.rows[1].name, u"佐藤 花子"_s);
    const QByteArray page = BoardHeatPage(untitled, BoardSite::Served);
    QVERIFY(page.contains(u"<td>佐藤 花子 <span class=\"team\">大阪陸協</span></td>"_s.toUtf8()));
    QVERIFY(!page.contains("Untitled"));
}

void TestBoard::listing_data()
{
    QTest::addColumn<QStringList>("files");     // name, then its age in minutes
    QTest::addColumn<QStringList>("names");

    QTest::newRow("newest first, then by name")
        << QStringList{u"B.csv:5"_s, u"A.csv:5"_s, u"C.csv:1"_s, u"D.csv:9"_s}
        << QStringList{u"C"_s, u"A"_s, u"B"_s, u"D"_s};
    QTest::newRow("only result files")
        << QStringList{u"A.csv:1"_s, u"notes.txt:1"_s, u"B.CSV:2"_s, u"csv:1"_s, u"C.csv.bak:1"_s}
        << QStringList{u"A"_s, u"B"_s};
    QTest::newRow("names an address cannot carry")
        << QStringList{u".hidden.csv:1"_s, u".csv:1"_s, u"a\\b.csv:1"_s, u"tab\t.csv:1"_s, u"男子 100m.csv:2"_s}
        << QStringList{u"男子 100m"_s};
    QTest::newRow("same name in two cases")
        << QStringList{u"A.CSV:1"_s, u"A.csv:3"_s} << QStringList{u"A"_s};
}

void TestBoard::listing()
{
    QFETCH(QStringList, files);
    QFETCH(QStringList, names);
    QTemporaryDir dir;
    const QDateTime now = QDateTime::currentDateTime();
    for (const QString &file : files) {
        QFile out(dir.filePath(file.section(u':', 0, 0)));
        QVERIFY(out.open(QIODevice::WriteOnly));
        QVERIFY(out.setFileTime(now.addSecs(-60 * file.section(u':', 1).toInt()), QFileDevice::FileModificationTime));
    }
    QVERIFY(QDir(dir.path()).mkdir(u"folder.csv"_s));
    QVERIFY(QFile::link(QCoreApplication::applicationFilePath(), dir.filePath(u"link.csv"_s)));

    QStringList listed;
    for (const SavedHeat &heat : ListSavedHeats(dir.path()))
        listed.append(heat.name);
    QCOMPARE(listed, names);
}

void TestBoard::jsonIsStrict_data()
{
    QTest::addColumn<QString>("text");
    QString controls;
    for (char16_t c = 1; c < 0x20; ++c)
        controls += QChar(c);
    QTest::newRow("every control character") << controls;
    QTest::newRow("unit separator alone") << u"R\u001f1"_s;
    QTest::newRow("end of script") << u"</script><!--"_s;
    QTest::newRow("separators") << u"a\u2028b\u2029c"_s;
    QTest::newRow("quotes and backslashes") << u"\"\\\"\\"_s;
    QTest::newRow("delete and non-characters") << u"\u007f\ufffe\uffff"_s;
    QTest::newRow("lone surrogate") << QString(QChar(0xd800)) + u"x"_s;
}

// Strict JSON whatever the texts: valid UTF-8, every control character escaped, nothing
// that would end a <script> element or a line of one, and each text read back as it
// went in.
void TestBoard::jsonIsStrict()
{
    QFETCH(QString, text);
    BoardHeat heat;
    heat.race = text;
    heat.fileName = text;
    heat.headings = {text, text, text};
    heat.rows = {{text, text, text, text}};
    heat.wind = text;
    const QString &readBack = text;

    for (const QByteArray &json : {BoardHeatJson(heat), BoardHeatListJson({{text, text, {}}})}) {
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(json, &error);
        QCOMPARE(error.error, QJsonParseError::NoError);
        QVERIFY(json.endsWith('\n'));
        QStringDecoder utf8(QStringDecoder::Utf8);
        utf8.decode(json);
        QVERIFY(!utf8.hasError());
        for (const char byte : json.chopped(1))
            QVERIFY2(uchar(byte) >= 0x20, json.constData());
        QVERIFY(!json.contains("</"));
        QVERIFY(!json.contains("\xe2\x80\xa8") && !json.contains("\xe2\x80\xa9"));
        const QJsonObject object = document.object();
        const QJsonObject first = object.contains("heats"_L1) ? object.value("heats"_L1).toArray().at(0).toObject()
                                                                : object.value("rows"_L1).toArray().at(0).toObject();
        if (object.contains("heats"_L1)) {
            QCOMPARE(first.value("name"_L1).toString(), readBack);
        } else {
            QCOMPARE(object.value("race"_L1).toString(), readBack);
            QCOMPARE(object.value("wind"_L1).toString(), readBack);
            QCOMPARE(object.value("headings"_L1).toArray().at(1).toString(), readBack);
            QCOMPARE(first.value("number"_L1).toString(), readBack);
            QCOMPARE(first.value("digits"_L1).toString(), readBack);
        }
    }
}

// The types scoreboards rely on (README): no wind and no time are null, not "".
void TestBoard::jsonFieldTypes()
{
    BoardHeat heat;
    heat.version = (quint64(1) << 40) + 1;
    heat.rows = {{u"1"_s, u"4"_s, u"10.52"_s, u"1052"_s}};
    const QJsonObject current = parsed(BoardHeatJson(heat));
    const QList<std::pair<QString, QJsonValue::Type>> fields{
        {u"race"_s, QJsonValue::String},     {u"file"_s, QJsonValue::String},      {u"headings"_s, QJsonValue::Array},
        {u"rows"_s, QJsonValue::Array},      {u"wind"_s, QJsonValue::Null},        {u"windUnit"_s, QJsonValue::String},
        {u"windMarker"_s, QJsonValue::Bool}, {u"saved"_s, QJsonValue::Bool},       {u"version"_s, QJsonValue::Double},
        {u"updated"_s, QJsonValue::Null}};
    QCOMPARE(current.size(), fields.size());
    for (const auto &[name, type] : fields)
        QVERIFY2(current.value(name).type() == type, qPrintable(name));
    QCOMPARE(current.value("version"_L1).toInteger(), qint64(heat.version));
    QVERIFY(BoardHeatJson(heat).contains("\"version\":1099511627777"));
    QCOMPARE(current.value("rows"_L1).toArray().at(0).toObject().keys(),
             (QStringList{u"digits"_s, u"name"_s, u"number"_s, u"place"_s, u"team"_s, u"time"_s}));

    heat.wind = u"+1.2"_s;
    heat.updatedAt = QDateTime(QDate(2026, 5, 3), QTime(9, 30, 1, 250), Qt::UTC);
    const QJsonObject windy = parsed(BoardHeatJson(heat));
    QCOMPARE(windy.value("wind"_L1).toString(), u"+1.2"_s);
    QCOMPARE(windy.value("updated"_L1).toString(), u"2026-05-03T09:30:01.250Z"_s);

    const QJsonObject listed = parsed(BoardHeatListJson({{u"R1w_112"_s, u"R1w_112.csv"_s, heat.updatedAt},
                                                         {u"R2"_s, u"R2.csv"_s, {}}}))
                                   .value("heats"_L1).toArray().at(0).toObject();
    QCOMPARE(listed.keys(), (QStringList{u"file"_s, u"modified"_s, u"name"_s, u"wind"_s}));
    QCOMPARE(listed.value("wind"_L1).toString(), u"+1.2"_s);
    QCOMPARE(listed.value("modified"_L1).toString(), u"2026-05-03T09:30:01.250Z"_s);
}

void TestBoard::publishedHeatNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("shortened");
    QTest::newRow("short") << u"R1w_112"_s << false;
    QTest::newRow("250 bytes") << QString(250, u'a') << false;
    for (const int bytes : {251, 252, 253, 254, 255})
        QTest::addRow("%d bytes", bytes) << QString(bytes, u'a') << true;
    // 3 bytes each: the cut falls inside a character unless it steps back.
    QTest::newRow("japanese 252 bytes") << QString(84, u'あ') << true;
    QTest::newRow("japanese 250 bytes") << QString(83, u'あ') + u"x"_s << false;
    QTest::newRow("surrogate pairs") << QString(60, u'x') + QString::fromUtf8(QByteArray(48, 'x').replace("x", "😀")) << true;
}

// Every heat the board can list gets a file in a publish folder: a name too long with
// its suffix is shortened, stays apart from another long name with the same start, and
// keeps whole characters.
void TestBoard::publishedHeatNames()
{
    QFETCH(QString, name);
    QFETCH(bool, shortened);
    const QString published = PublishedHeatName(name);
    QCOMPARE(published != name, shortened);
    QVERIFY(published.toUtf8().size() + 5 <= 255);
    QCOMPARE(QString::fromUtf8(published.toUtf8()), published);
    QVERIFY(!published.contains(QChar::ReplacementCharacter));
    if (!shortened)
        return;
    QVERIFY(published.startsWith(name.first(10)));
    QString other = name;
    other.back() = u'z';
    QVERIFY(PublishedHeatName(other) != published);

    TestSource source;
    source.heats = {{name, name + u".csv"_s, {}}};
    QStringList paths;
    for (const BoardFile &file : BoardSiteFiles(source.current, source.heats, source))
        paths.append(file.path);
    QVERIFY(paths.contains(u"heats/"_s + published + u".html"_s));
    QVERIFY(paths.contains(u"api/heats/"_s + published + u".json"_s));
    const QByteArray list = BoardHeatListPage(source.heats, BoardSite::Published);
    QVERIFY(list.contains("href=\"../heats/" + QUrl::toPercentEncoding(published) + ".html\""));
}

// The published folder holds every page once: a heat named like the list page does not
// replace it.
void TestBoard::publishedFiles()
{
    TestSource source;
    source.heats.append({u"index"_s, u"index.csv"_s, {}});
    QStringList paths;
    for (const BoardFile &file : BoardSiteFiles(source.current, source.heats, source))
        paths.append(file.path);
    QCOMPARE(paths, (QStringList{u"index.html"_s, u"heats/index.html"_s, u"api/current.json"_s, u"api/heats.json"_s,
                                 u"heats/R1w_112.html"_s, u"api/heats/R1w_112.json"_s, u"heats/"_s + JapaneseName + u".html"_s,
                                 u"api/heats/"_s + JapaneseName + u".json"_s,
                                 u"heats/a b#c?d%e&f'g+.html"_s, u"api/heats/a b#c?d%e&f'g+.json"_s,
                                 u"api/heats/index.json"_s}));
    const QByteArray list = BoardHeatListPage(source.heats, BoardSite::Published);
    QVERIFY(list.contains("href=\"../heats/a%20b%23c%3Fd%25e%26f%27g%2B.html\""));
    QVERIFY(list.contains("href=\"../api/heats/index.json\""));
    QVERIFY(!BoardHeatPage(source.current, BoardSite::Published).contains("/ws"));
    QVERIFY(BoardHeatPage(source.current, BoardSite::Served).contains("'/ws'"));
}

// Every link of a served page leads to a page the board answers.
void TestBoard::linksAnswer()
{
    TestSource source;
    const QRegularExpression href(u"href=\"([^\"]*)\""_s);
    int links = 0;
    for (const QByteArray &target : {"/"_ba, "/heats"_ba, "/heats/R1w_112"_ba}) {
        const QString page = QString::fromUtf8(AnswerBoardRequest("GET", target, source).body);
        for (const QRegularExpressionMatch &match : href.globalMatch(page)) {
            const QString relative = match.captured(1).replace(u"&amp;"_s, u"&"_s).replace(u"&#39;"_s, u"'"_s);
            const QByteArray link = QUrl(u"http://board"_s + QString::fromUtf8(target))
                                        .resolved(QUrl(relative, QUrl::StrictMode))
                                        .path(QUrl::FullyEncoded)
                                        .toUtf8();
            QCOMPARE(AnswerBoardRequest("GET", link, source).status, link == "/heats/broken" ? 404 : 200);
            ++links;
        }
    }
    // The list's link and the newest saved heats on "/", each saved heat on "/heats".
    QCOMPARE(links, 4 + 2 * source.heats.size());
}

// "/" and the current JSON name the newest saved heats, at most BoardRecentHeats, with
// links to their pages; the published ones are files of the published folder.
void TestBoard::recentHeats()
{
    TestSource source;
    const QByteArray none = BoardHeatPage(source.current, BoardSite::Served, {});
    QVERIFY(none.contains("<section id=\"recentBox\" hidden>"));
    QCOMPARE(parsed(BoardCurrentJson(source.current, {}, BoardSite::Served))[u"recent"_s].toArray().size(), 0);

    source.heats.append({{u"index"_s, u"index.csv"_s, {}}, {u"R9w_000"_s, u"R9w_000.csv"_s, {}}});
    QHash<QString, QByteArray> files;
    for (const BoardFile &file : BoardSiteFiles(source.current, source.heats, source))
        files.insert(file.path, file.bytes);
    const QByteArray page = AnswerBoardRequest("GET", "/", source).body;
    QVERIFY(page.contains("<section id=\"recentBox\">"));
    QVERIFY(!page.contains("R9w_000"));
    const QJsonArray served = parsed(AnswerBoardRequest("GET", "/api/current.json", source).body)[u"recent"_s].toArray();
    const QJsonArray published = parsed(BoardCurrentJson(source.current, source.heats, BoardSite::Published))[u"recent"_s].toArray();
    QCOMPARE(served.size(), BoardRecentHeats);
    QCOMPARE(published.size(), BoardRecentHeats);
    for (int i = 0; i < BoardRecentHeats; ++i) {
        const SavedHeat &heat = source.heats[i];
        QCOMPARE(served[i][u"name"_s].toString(), heat.name);
        QCOMPARE(served[i][u"wind"_s], published[i][u"wind"_s]);
        const QString link = served[i][u"page"_s].toString();
        QVERIFY(page.contains(u"href=\"%1\">%2</a>"_s.arg(HtmlEscaped(link), HtmlEscaped(heat.name)).toUtf8()));
        QCOMPARE(AnswerBoardRequest("GET", u"/"_s.append(link).toUtf8(), source).status, heat.name == u"broken"_s ? 404 : 200);
        // The heat's own file: its page or JSON names its file, the list page does not.
        if (heat.name != u"broken"_s)
            QVERIFY2(files.value(QUrl::fromPercentEncoding(published[i][u"page"_s].toString().toUtf8()))
                         .contains(HtmlEscaped(heat.fileName).toUtf8()),
                     qPrintable(heat.name));
    }
}

QTEST_GUILESS_MAIN(TestBoard)
#include "tst_board.moc"
