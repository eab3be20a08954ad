#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>

// The live results board: the heat as the people around the track see it, as a page
// and as JSON, and the answer to each request. Everything here is a pure function of
// the heat and the work folder's listing; serving it is the board layer's business.
namespace Ordavex {

class ResultGrid;

// One row of the heat as the grid shows it.
struct BoardRow
{
    QString place;      // column 0
    QString number;     // column 1: lane or bib
    QString time;       // column 2 in its display form (race kind and 60秒補正 as set)
    QString packed;     // column 2 as stored: the packed digits
    // From the race's start list, by the lane or bib; empty without one.
    QString name = {};
    QString team = {};
};

struct BoardHeat
{
    QString race;           // as the timetable shows it when one was chosen, else from the target
    QString fileName;       // the target's file name, empty without a target
    std::array<QString, 3> headings;
    QList<BoardRow> rows;   // the shown rows up to the last one with an entry
    QString wind;           // the wind text as the field holds it, empty without a wind
    bool windMarker = false;    // 追風参考
    bool saved = false;     // the heat on the grid is the one in its file
    quint64 version = 0;    // grows with every change handed to the board
    QDateTime updatedAt;
};

// The heat on the grid. Never throws: a wind that is not a number is shown as typed,
// without the marker.
BoardHeat MakeBoardHeat(const ResultGrid &grid, const QString &targetPath, const QStringList &timetableItems,
                        const QString &windText, bool track, bool sixtyFix, bool saved);

// A heat with no race: the default target's name is no name for a Japanese page.
inline const QString UnnamedRaceTitle = QStringLiteral("(組名なし)");

struct StartList;
// The names of the start list beside the rows, by the column headed ﾚｰﾝ or ﾅﾝﾊﾞｰ.
void AddStarterNames(BoardHeat &heat, const StartList &list);

// A result file of the work folder, as the board lists it.
struct SavedHeat
{
    QString name;           // file name without ".csv": what the address names
    QString fileName;       // file name in the folder
    QDateTime modified;
};

// The result files of the folder, newest first. Only regular files whose names the
// board can name in an address are listed.
QList<SavedHeat> ListSavedHeats(const QString &workFolder);

// The entry of the listing that an address names; the name comes percent-encoded from
// the address and is compared as decoded UTF-8. Nothing for "..", "/", "\", NUL,
// overlong or undecodable names, or a name not in the listing: a name from an address
// never reaches the file system, only the listing's own file name does.
std::optional<SavedHeat> FindSavedHeat(const QList<SavedHeat> &heats, QByteArrayView encodedName);

// A saved heat as the program's own reader reads it back, with its wind from the file
// name. Nothing when the file cannot be read.
std::optional<BoardHeat> ReadSavedHeat(const QString &workFolder, const SavedHeat &heat);

// Where the pages are served from: the program's own server, or files in a publish
// folder that another web server serves (relative links, no push, a poll instead).
enum class BoardSite { Served, Published };

// The pages. The heat's page works without JavaScript (it reloads itself) and, with
// it, follows every change: pushed over a WebSocket at "/ws" when served, polled from
// "api/current.json" once a second when published.
// The heat's page also lists the newest BoardRecentHeats of the saved heats below it.
QByteArray BoardHeatPage(const BoardHeat &heat, BoardSite site, const QList<SavedHeat> &heats = {});
QByteArray BoardSavedHeatPage(const BoardHeat &heat, BoardSite site);
QByteArray BoardHeatListPage(const QList<SavedHeat> &heats, BoardSite site);

// JSON for scoreboards and broadcast graphics (field names in the README): compact
// UTF-8 and one line, with "</" and U+2028/U+2029 escaped so that it may also stand in
// a <script> element.
QByteArray BoardHeatJson(const BoardHeat &heat);
// The heat on the grid, with "recent": the newest saved heats, each with its page's
// address relative to the site's root.
QByteArray BoardCurrentJson(const BoardHeat &heat, const QList<SavedHeat> &heats, BoardSite site);
constexpr int BoardRecentHeats = 5;
// A saved heat's page, relative to the site's root.
QString BoardSavedHeatLink(const SavedHeat &heat, BoardSite site);
QByteArray BoardHeatListJson(const QList<SavedHeat> &heats);

// Escapes for HTML text and attribute values.
QString HtmlEscaped(QStringView text);

// What the board knows when it answers: the heat on the grid now and the work folder.
class BoardSource
{
public:
    virtual ~BoardSource() = default;
    virtual BoardHeat currentHeat() const = 0;
    virtual QList<SavedHeat> savedHeats() const = 0;
    virtual std::optional<BoardHeat> savedHeat(const SavedHeat &heat) const = 0;
};

struct BoardReply
{
    int status = 404;
    QByteArray contentType;
    QByteArray body;        // also for HEAD: the server leaves it out
};

// The answer to one request: GET and HEAD only (else 405), only the board's routes
// (else 404). The target is the request line's, query included.
BoardReply AnswerBoardRequest(QByteArrayView method, QByteArrayView target, const BoardSource &source);

// The name a saved heat's page and JSON take in a publish folder: its own, or where the
// name with ".html" would pass a file name's 255 bytes, its first bytes, "~" and 8 hex
// digits of its SHA-256, so that long names that start alike stay apart.
QString PublishedHeatName(const QString &name);

// The files of a publish folder for the heat and the listing: relative path and bytes,
// the same pages and JSON as served, with the published site's links.
struct BoardFile
{
    QString path;           // "index.html", "api/current.json", "heats/R1w_112.html", ...
    QByteArray bytes;
};
QList<BoardFile> BoardSiteFiles(const BoardHeat &current, const QList<SavedHeat> &heats, const BoardSource &source);

} // namespace Ordavex
