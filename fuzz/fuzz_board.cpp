// Feeds a method, a request target and a race name to the live board's request handling
// and checks what every answer must keep: only its statuses, JSON that parses back into
// the texts it was given, and pages whose markup no text of the heat adds to.
#include "check.h"
#include "core/board.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <cstdint>

using namespace Ordavex;

namespace {

const QString HostileRow = QStringLiteral("<script>alert(\"x\")</script>");

QList<BoardRow> Rows(const QString &text)
{
    return {{QStringLiteral("1"), text, text, QStringLiteral("1052")},
            {text, QStringLiteral("4"), QStringLiteral(" 1:02.75"), QStringLiteral("10275")},
            {QStringLiteral("3"), QStringLiteral("'&\"</"), text, QString()}};
}

BoardHeat Heat(const QString &race, const QString &text)
{
    BoardHeat heat;
    heat.race = race;
    heat.fileName = race + QStringLiteral("w_112.csv");
    heat.headings = {text, QStringLiteral("ﾚｰﾝ"), QStringLiteral("ﾀｲﾑ")};
    heat.rows = Rows(text);
    heat.wind = text;
    heat.windMarker = true;
    heat.version = 7;
    heat.updatedAt = QDateTime::fromSecsSinceEpoch(1796000000, Qt::UTC);
    return heat;
}

class FixedSource final : public BoardSource
{
public:
    FixedSource(const QString &race, const QString &text) : m_race(race), m_text(text)
    {
        for (const QString &name : {QStringLiteral("R1w_112"), QStringLiteral("男子100m予選1組w_905"), text, race})
            m_heats.append({name, name + QStringLiteral(".csv"), QDateTime::fromSecsSinceEpoch(1796000000, Qt::UTC)});
    }

    BoardHeat currentHeat() const override { return Heat(m_race, m_text); }
    QList<SavedHeat> savedHeats() const override { return m_heats; }
    std::optional<BoardHeat> savedHeat(const SavedHeat &heat) const override
    {
        BoardHeat saved = Heat(heat.name, m_text);
        saved.saved = true;
        return saved;
    }

private:
    QString m_race;
    QString m_text;
    QList<SavedHeat> m_heats;
};

QByteArrayView NextPart(QByteArrayView &rest)
{
    const qsizetype end = rest.indexOf('\n');
    const QByteArrayView part = end < 0 ? rest : rest.first(end);
    rest = end < 0 ? QByteArrayView() : rest.sliced(end + 1);
    return part;
}

// The characters that make markup; a text of the heat, escaped, adds none of them.
std::array<qsizetype, 4> MarkupCounts(const QByteArray &page)
{
    return {page.count('<'), page.count('>'), page.count('"'), page.count('\'')};
}

void CheckHeatJson(const QJsonObject &object, const BoardHeat &heat)
{
    Check(object.value(QLatin1StringView("race")).toString() == heat.race, "race read back");
    const QJsonArray rows = object.value(QLatin1StringView("rows")).toArray();
    Check(rows.size() == heat.rows.size(), "rows read back");
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const QJsonObject row = rows[i].toObject();
        Check(row.value(QLatin1StringView("number")).toString() == heat.rows[i].number, "number read back");
        Check(row.value(QLatin1StringView("time")).toString() == heat.rows[i].time, "time read back");
    }
    Check(object.value(QLatin1StringView("headings")).toArray().at(0).toString() == heat.headings[0],
          "heading read back");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QByteArrayView rest(reinterpret_cast<const char *>(data), qsizetype(size));
    const QByteArrayView method = NextPart(rest);
    const QByteArrayView target = NextPart(rest);
    const QString race = QString::fromUtf8(rest);

    const FixedSource source(race, HostileRow);
    const BoardReply reply = AnswerBoardRequest(method, target, source);
    Check(reply.status == 200 || reply.status == 404 || reply.status == 405 || reply.status == 414, "known status");
    Check(reply.status != 200 || method == "GET" || method == "HEAD", "only GET and HEAD answered");

    const std::optional<SavedHeat> found = FindSavedHeat(source.savedHeats(), target);
    if (found) {
        Check(!found->name.contains(u'/') && !found->name.contains(u'\\') && !found->name.contains(QChar(0)),
              "found name holds no separator");
        Check(found->name != QLatin1StringView("..") && found->name != QLatin1StringView("."), "found name no dot");
    }

    if (reply.status != 200)
        return 0;
    if (reply.contentType.startsWith("application/json")) {
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(reply.body, &error);
        Check(error.error == QJsonParseError::NoError && document.isObject(), "JSON parses");
        Check(!reply.body.contains("</"), "no end tag in JSON");
        const QJsonObject object = document.object();
        if (object.contains(QLatin1StringView("heats"))) {
            const QJsonArray heats = object.value(QLatin1StringView("heats")).toArray();
            const QList<SavedHeat> listed = source.savedHeats();
            Check(heats.size() == listed.size(), "listing read back");
            for (qsizetype i = 0; i < heats.size(); ++i)
                Check(heats[i].toObject().value(QLatin1StringView("name")).toString() == listed[i].name,
                      "name read back");
        } else {
            const QString expectedRace = object.value(QLatin1StringView("saved")).toBool()
                ? object.value(QLatin1StringView("race")).toString()
                : race;
            BoardHeat heat = Heat(expectedRace, HostileRow);
            CheckHeatJson(object, heat);
            if (object.value(QLatin1StringView("saved")).toBool()) {
                bool listed = false;
                for (const SavedHeat &saved : source.savedHeats())
                    listed = listed || saved.name == expectedRace;
                Check(listed, "saved heat is a listed one");
            }
        }
        return 0;
    }

    Check(reply.contentType.startsWith("text/html"), "page is HTML");
    Check(!reply.body.contains("<script>alert"), "no script from the heat");
    // The same page with plain texts in place of the hostile ones has the same markup.
    const QString plain = QStringLiteral("R");
    const FixedSource plainSource(plain, plain);
    QByteArray expected;
    if (reply.body.contains("id=\"version\""))
        expected = BoardHeatPage(Heat(plain, plain), BoardSite::Served);
    else if (reply.body.contains("id=\"race\""))
        expected = BoardSavedHeatPage(plainSource.savedHeat({plain, plain, {}}).value(), BoardSite::Served);
    else
        expected = BoardHeatListPage(plainSource.savedHeats(), BoardSite::Served);
    Check(MarkupCounts(reply.body) == MarkupCounts(expected), "markup from the page alone");
    return 0;
}
