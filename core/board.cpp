#include "board.h"
#include "boardpages.h"

#include "gridmodel.h"
#include "heatsheet.h"
#include "paths.h"
#include "resultfile.h"
#include "runtimeerror.h"
#include "startlist.h"
#include "textcodec.h"
#include "timerules.h"
#include "windrules.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QStringDecoder>

#include <algorithm>

namespace Ordavex {

namespace {

const QString ResultSuffix = QStringLiteral(".csv");
// A name longer than a file name can be on any file system the work folder lives on.
constexpr qsizetype MaxNameBytes = 255;
constexpr qsizetype MaxTargetBytes = 2048;

const QByteArray HtmlType = QByteArrayLiteral("text/html; charset=utf-8");
const QByteArray JsonType = QByteArrayLiteral("application/json; charset=utf-8");
const QByteArray TextType = QByteArrayLiteral("text/plain; charset=utf-8");

// The shown rows up to the last one with an entry: empty rows inside the heat stay, so
// that a missing competitor shows, as on the signed sheet.
int LastEntryRow(const ResultGrid &grid)
{
    for (int row = grid.dataRowCount(); row >= 1; --row) {
        if (!grid.cellView(1, row).isEmpty() || !grid.cellView(2, row).isEmpty())
            return row;
    }
    return 0;
}

void TakeHeadings(const ResultGrid &grid, BoardHeat &heat)
{
    for (int col = 0; col < ResultGrid::ColCount; ++col)
        heat.headings[size_t(col)] = grid.cell(col, 0);
}

// The time field of each line of a result file as the reader splits it: the line's
// fields counted as the reader counts them, commas inside quotes kept in the field.
// Lines the reader skips (empty ones) are skipped here too, so that index n is row n.
QList<QString> SavedTimeFields(const QByteArray &bytes)
{
    QList<QString> fields;
    const QString text = Cp932::decode(bytes);
    bool quoted = false;
    qsizetype pos = 0;
    while (pos < text.size()) {
        qsizetype end = text.indexOf(u'\n', pos);
        if (end < 0)
            end = text.size();
        if (end == pos) {
            ++pos;
            continue;
        }
        const QStringView line = QStringView(text).sliced(pos, end - pos);
        QString timeField;
        int col = line.front() == u',' && !quoted ? 1 : 0;
        qsizetype at = 0;
        while (at < line.size()) {
            while (at < line.size() && line[at] == u',' && !quoted)
                ++at;
            if (at == line.size())
                break;
            const qsizetype start = at;
            for (; at < line.size() && (line[at] != u',' || quoted); ++at) {
                if (line[at] == u'"')
                    quoted = !quoted;
            }
            if (col == 2)
                timeField = line.sliced(start, at - start).toString();
            ++col;
            if (at + 1 < line.size() && line[at + 1] == u',')
                ++col;
        }
        fields.append(timeField);
        pos = end + 1;
    }
    return fields;
}

// A saved time as the file shows it: without the quotes and the line's CR. A blank in
// front stays, as the grid and the writer keep it.
QString SavedTimeText(QString field)
{
    field = field.trimmed();
    if (field.startsWith(u'"'))
        field.remove(0, 1);
    if (field.endsWith(u'"'))
        field.chop(1);
    return field;
}

bool IsNameChar(QChar c)
{
    return c.unicode() >= 0x20 && c.unicode() != 0x7f && c != u'/' && c != u'\\'
        && c != QChar::ReplacementCharacter;
}

// A name that an address can carry and FindSavedHeat can find again.
bool IsAddressableName(const QString &name)
{
    if (name.isEmpty() || name.startsWith(u'.') || name.toUtf8().size() > MaxNameBytes)
        return false;
    return std::all_of(name.begin(), name.end(), IsNameChar);
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::optional<QByteArray> PercentDecoded(QByteArrayView encoded)
{
    QByteArray decoded;
    decoded.reserve(encoded.size());
    for (qsizetype i = 0; i < encoded.size(); ++i) {
        if (encoded[i] != '%') {
            decoded.append(encoded[i]);
            continue;
        }
        if (i + 2 >= encoded.size())
            return std::nullopt;
        const int high = HexValue(encoded[i + 1]);
        const int low = HexValue(encoded[i + 2]);
        if (high < 0 || low < 0)
            return std::nullopt;
        decoded.append(char(high * 16 + low));
        i += 2;
    }
    return decoded;
}

QJsonValue JsonTime(const QDateTime &when)
{
    return when.isValid() ? QJsonValue(when.toUTC().toString(Qt::ISODateWithMs)) : QJsonValue(QJsonValue::Null);
}

QJsonValue JsonWind(const QString &wind)
{
    return wind.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(wind);
}

// Compact JSON that can also stand inside a <script> element: "</" never closes it and
// the line and paragraph separators never end a line of it. Both only occur inside
// strings, where the escaped forms mean the same.
QByteArray JsonBytes(const QJsonObject &object)
{
    QByteArray out = QJsonDocument(object).toJson(QJsonDocument::Compact);
    out.replace("</", "<\\/");
    out.replace("\xe2\x80\xa8", "\\u2028");
    out.replace("\xe2\x80\xa9", "\\u2029");
    out += '\n';
    return out;
}

// The wind a saved heat's file name carries, "%+3.1f"; empty without one.
QString FileNameWind(const QString &fileName)
{
    const PathWind wind = WindFromPath(fileName);
    return wind.found ? WindText(wind.wind) : QString();
}

BoardReply Reply(int status, const QByteArray &type, QByteArray body)
{
    return BoardReply{status, type, std::move(body)};
}

BoardReply NotFound()
{
    return Reply(404, TextType, QStringLiteral("ﾍﾟｰｼﾞが見つかりません。\n").toUtf8());
}

// A saved heat's page or JSON by its name from the address.
BoardReply SavedHeatReply(QByteArrayView encodedName, bool json, const BoardSource &source)
{
    const std::optional<SavedHeat> found = FindSavedHeat(source.savedHeats(), encodedName);
    if (!found)
        return NotFound();
    const std::optional<BoardHeat> heat = source.savedHeat(*found);
    if (!heat)
        return NotFound();
    return json ? Reply(200, JsonType, BoardHeatJson(*heat))
                : Reply(200, HtmlType, BoardSavedHeatPage(*heat, BoardSite::Served));
}

} // namespace

BoardHeat MakeBoardHeat(const ResultGrid &grid, const QString &targetPath, const QStringList &timetableItems,
                        const QString &windText, bool track, bool sixtyFix, bool saved)
{
    BoardHeat heat;
    heat.race = SheetRaceTitle(targetPath, timetableItems);
    if (heat.race.isEmpty() || heat.race == QLatin1StringView("Untitled"))
        heat.race = UnnamedRaceTitle;
    heat.fileName = Paths::fileNameOf(targetPath);
    TakeHeadings(grid, heat);
    const int lastRow = LastEntryRow(grid);
    heat.rows.reserve(lastRow);
    for (int row = 1; row <= lastRow; ++row) {
        const QString packed = grid.cell(2, row);
        heat.rows.append({grid.cell(0, row), grid.cell(1, row), TimeDisplayText(packed, track, sixtyFix), packed});
    }
    // The field normalises when it is left; until then the board shows what saving
    // would write, and a text that is no number as it stands.
    try {
        heat.wind = NormaliseWindText(windText);
    } catch (const RuntimeError &) {
        heat.wind = windText.trimmed();
    }
    heat.windMarker = WindAboveRecordLimit(heat.wind);
    heat.saved = saved;
    heat.updatedAt = QDateTime::currentDateTimeUtc();
    return heat;
}

void AddStarterNames(BoardHeat &heat, const StartList &list)
{
    static const QString lane = QStringLiteral("ﾚｰﾝ");
    static const QString number = QStringLiteral("ﾅﾝﾊﾞｰ");
    const int column = heat.headings[1] == lane || heat.headings[1] == number ? 1
                       : heat.headings[0] == lane || heat.headings[0] == number ? 0
                                                                                 : -1;
    if (column < 0)
        return;
    const bool byNumber = heat.headings[size_t(column)] == number;
    for (BoardRow &row : heat.rows) {
        if (const Starter *starter = FindStarter(list, column == 0 ? row.place : row.number, byNumber)) {
            row.name = starter->name;
            row.team = starter->team;
        }
    }
}

QList<SavedHeat> ListSavedHeats(const QString &workFolder)
{
    QList<SavedHeat> heats;
    if (workFolder.isEmpty())
        return heats;
    // No links: a link in the folder would let the board read a file outside it.
    QDir dir(workFolder);
    dir.setFilter(QDir::Files | QDir::NoSymLinks);
    dir.setNameFilters({QStringLiteral("*.csv")});
    const QFileInfoList entries = dir.entryInfoList();
    heats.reserve(entries.size());
    for (const QFileInfo &entry : entries) {
        const QString fileName = entry.fileName();
        if (!fileName.endsWith(ResultSuffix, Qt::CaseInsensitive) || !entry.isFile() || entry.isSymLink())
            continue;
        const QString name = fileName.chopped(ResultSuffix.size());
        if (!IsAddressableName(name))
            continue;
        heats.append({name, fileName, entry.lastModified()});
    }
    std::sort(heats.begin(), heats.end(), [](const SavedHeat &a, const SavedHeat &b) {
        if (a.modified != b.modified)
            return a.modified > b.modified;
        return a.fileName < b.fileName;
    });
    // "A.csv" and "A.CSV" name the same address: the newer one is listed.
    QSet<QString> names;
    heats.removeIf([&names](const SavedHeat &heat) {
        if (names.contains(heat.name))
            return true;
        names.insert(heat.name);
        return false;
    });
    return heats;
}

std::optional<SavedHeat> FindSavedHeat(const QList<SavedHeat> &heats, QByteArrayView encodedName)
{
    const std::optional<QByteArray> bytes = PercentDecoded(encodedName);
    if (!bytes || bytes->isEmpty() || bytes->size() > MaxNameBytes)
        return std::nullopt;
    if (bytes->contains('\0') || bytes->contains('/') || bytes->contains('\\') || *bytes == "." || *bytes == "..")
        return std::nullopt;
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString name = decoder.decode(*bytes);
    if (decoder.hasError())
        return std::nullopt;
    for (const SavedHeat &heat : heats) {
        if (heat.name == name)
            return heat;
    }
    return std::nullopt;
}

std::optional<BoardHeat> ReadSavedHeat(const QString &workFolder, const SavedHeat &heat)
{
    const QString path = Paths::join(workFolder, heat.fileName);
    QFile file(path);
    const QFileInfo info(path);
    if (!info.isFile() || info.isSymLink() || info.size() > MaxResultFileSize || !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = file.read(MaxResultFileSize + 1);
    if (file.error() != QFileDevice::NoError || bytes.size() > MaxResultFileSize)
        return std::nullopt;

    ResultGrid grid;
    if (!ReadResultText(bytes, grid).ok)
        return std::nullopt;

    BoardHeat board;
    board.race = SheetRaceName(heat.fileName);
    board.fileName = heat.fileName;
    TakeHeadings(grid, board);
    // The file holds each time as it was shown when saved; the reader keeps its digits.
    const QList<QString> timeFields = SavedTimeFields(bytes);
    const int lastRow = LastEntryRow(grid);
    board.rows.reserve(lastRow);
    for (int row = 1; row <= lastRow; ++row) {
        const QString packed = grid.cell(2, row);
        QString shown = row < timeFields.size() ? SavedTimeText(timeFields[row]) : QString();
        int fileDigits = 0;
        int gridDigits = 0;
        // A line the reader read otherwise than this split shows the digits it keeps.
        if (packed.isEmpty() || !DigitsValue(shown, &fileDigits) || !DigitsValue(packed, &gridDigits)
            || fileDigits != gridDigits)
            shown = packed;
        board.rows.append({grid.cell(0, row), grid.cell(1, row), shown, packed});
    }
    board.wind = FileNameWind(heat.fileName);
    board.windMarker = WindAboveRecordLimit(board.wind);
    board.saved = true;
    board.updatedAt = heat.modified;
    // A start list refused or missing leaves the names out; the heat is shown all the same.
    if (const StartListRead names = ReadStartListFile(StartListPath(path)); names.list)
        AddStarterNames(board, *names.list);
    return board;
}

QString HtmlEscaped(QStringView text)
{
    QString out;
    out.reserve(text.size() + text.size() / 8);
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'&': out += QLatin1StringView("&amp;"); break;
        case u'<': out += QLatin1StringView("&lt;"); break;
        case u'>': out += QLatin1StringView("&gt;"); break;
        case u'"': out += QLatin1StringView("&quot;"); break;
        case u'\'': out += QLatin1StringView("&#39;"); break;
        default: out += c;
        }
    }
    return out;
}

namespace {

QJsonObject HeatObject(const BoardHeat &heat)
{
    QJsonArray headings;
    for (const QString &heading : heat.headings)
        headings.append(heading);
    QJsonArray rows;
    for (const BoardRow &row : heat.rows) {
        rows.append(QJsonObject{{QStringLiteral("place"), row.place},
                                {QStringLiteral("number"), row.number},
                                {QStringLiteral("name"), row.name},
                                {QStringLiteral("team"), row.team},
                                {QStringLiteral("time"), row.time},
                                {QStringLiteral("digits"), row.packed}});
    }
    return QJsonObject{{QStringLiteral("race"), heat.race},
                       {QStringLiteral("file"), heat.fileName},
                       {QStringLiteral("headings"), headings},
                       {QStringLiteral("rows"), rows},
                       {QStringLiteral("wind"), JsonWind(heat.wind)},
                       {QStringLiteral("windUnit"), SheetWindUnit},
                       {QStringLiteral("windMarker"), heat.windMarker},
                       {QStringLiteral("saved"), heat.saved},
                       // An integer in the JSON, exact up to 2^63.
                       {QStringLiteral("version"), qint64(heat.version)},
                       {QStringLiteral("updated"), JsonTime(heat.updatedAt)}};
}

QJsonObject SavedHeatObject(const SavedHeat &heat)
{
    return QJsonObject{{QStringLiteral("name"), heat.name},
                       {QStringLiteral("file"), heat.fileName},
                       {QStringLiteral("modified"), JsonTime(heat.modified)},
                       {QStringLiteral("wind"), JsonWind(FileNameWind(heat.fileName))}};
}

} // namespace

QByteArray BoardHeatJson(const BoardHeat &heat)
{
    return JsonBytes(HeatObject(heat));
}

QByteArray BoardCurrentJson(const BoardHeat &heat, const QList<SavedHeat> &heats, BoardSite site)
{
    QJsonArray recent;
    for (const SavedHeat &saved : heats.first(std::min<qsizetype>(heats.size(), BoardRecentHeats))) {
        QJsonObject entry = SavedHeatObject(saved);
        entry.insert(QStringLiteral("page"), BoardSavedHeatLink(saved, site));
        recent.append(entry);
    }
    QJsonObject object = HeatObject(heat);
    object.insert(QStringLiteral("recent"), recent);
    return JsonBytes(object);
}

QByteArray BoardHeatListJson(const QList<SavedHeat> &heats)
{
    QJsonArray list;
    for (const SavedHeat &heat : heats)
        list.append(SavedHeatObject(heat));
    return JsonBytes(QJsonObject{{QStringLiteral("heats"), list}});
}

BoardReply AnswerBoardRequest(QByteArrayView method, QByteArrayView target, const BoardSource &source)
{
    if (target.size() > MaxTargetBytes)
        return Reply(414, TextType, QStringLiteral("ｱﾄﾞﾚｽが長すぎます。\n").toUtf8());
    if (method != "GET" && method != "HEAD")
        return Reply(405, TextType, QByteArrayLiteral("GET, HEAD\n"));

    QByteArrayView path = target;
    if (const qsizetype query = path.indexOf('?'); query >= 0)
        path = path.first(query);

    if (path == "/")
        return Reply(200, HtmlType, BoardHeatPage(source.currentHeat(), BoardSite::Served, source.savedHeats()));
    if (path == "/heats")
        return Reply(200, HtmlType, BoardHeatListPage(source.savedHeats(), BoardSite::Served));
    if (path == "/api/current.json")
        return Reply(200, JsonType, BoardCurrentJson(source.currentHeat(), source.savedHeats(), BoardSite::Served));
    if (path == "/api/heats.json")
        return Reply(200, JsonType, BoardHeatListJson(source.savedHeats()));

    constexpr QByteArrayView HeatPrefix = "/heats/";
    constexpr QByteArrayView JsonPrefix = "/api/heats/";
    constexpr QByteArrayView JsonSuffix = ".json";
    if (path.startsWith(HeatPrefix)) {
        const QByteArrayView name = path.sliced(HeatPrefix.size());
        if (!name.isEmpty() && !name.contains('/'))
            return SavedHeatReply(name, false, source);
    } else if (path.startsWith(JsonPrefix) && path.endsWith(JsonSuffix)
               && path.size() > JsonPrefix.size() + JsonSuffix.size()) {
        const QByteArrayView name = path.sliced(JsonPrefix.size(), path.size() - JsonPrefix.size() - JsonSuffix.size());
        if (!name.contains('/'))
            return SavedHeatReply(name, true, source);
    }
    return NotFound();
}

QList<BoardFile> BoardSiteFiles(const BoardHeat &current, const QList<SavedHeat> &heats, const BoardSource &source)
{
    QList<BoardFile> files;
    files.reserve(4 + heats.size() * 2);
    files.append({QStringLiteral("index.html"), BoardHeatPage(current, BoardSite::Published, heats)});
    files.append({QStringLiteral("heats/index.html"), BoardHeatListPage(heats, BoardSite::Published)});
    files.append({QStringLiteral("api/current.json"), BoardCurrentJson(current, heats, BoardSite::Published)});
    files.append({QStringLiteral("api/heats.json"), BoardHeatListJson(heats)});
    for (const SavedHeat &heat : heats) {
        // Only names the listing would give: a name from elsewhere never becomes a path.
        if (!IsAddressableName(heat.name))
            continue;
        const std::optional<BoardHeat> saved = source.savedHeat(heat);
        if (!saved)
            continue;
        const QString name = PublishedHeatName(heat.name);
        if (!IsListPageName(heat.name))
            files.append({QStringLiteral("heats/%1.html").arg(name), BoardSavedHeatPage(*saved, BoardSite::Published)});
        files.append({QStringLiteral("api/heats/%1.json").arg(name), BoardHeatJson(*saved)});
    }
    return files;
}

} // namespace Ordavex
