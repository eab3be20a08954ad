#include "board.h"
#include "boardpages.h"

#include "heatsheet.h"
#include "resultfile.h"
#include "windrules.h"

#include <QCryptographicHash>
#include <QUrl>

#include <algorithm>

namespace Ordavex {

namespace {

const QString BoardTitle = QStringLiteral("速報");
const QString SavedText = QStringLiteral("保存済み");
const QString UnsavedText = QStringLiteral("未保存");
const QString CurrentHeatLink = QStringLiteral("現在の組");
const QString SavedHeatsTitle = QStringLiteral("保存済みの組");
const QString NoSavedHeats = QStringLiteral("保存された組はありません。");
const QString UpdatedLabel = QStringLiteral("更新");
const QString StarterHeading = QStringLiteral("氏名");
const QString ModifiedHeading = QStringLiteral("保存日時");
const QString RaceHeading = QStringLiteral("組");
const QString RecentHeatsTitle = QStringLiteral("最近保存した組");

// Small enough for a phone at 390 px, larger type on a big screen for the stands.
const QString Style = QStringLiteral(
    "*{box-sizing:border-box}"
    "body{margin:0;font-family:\"IPAGothic\",\"IPAPGothic\",sans-serif;font-size:18px;line-height:1.4;"
    "background:#fff;color:#111;-webkit-text-size-adjust:100%}"
    "header{display:flex;flex-wrap:wrap;justify-content:space-between;align-items:baseline;gap:4px 16px;"
    "padding:10px 14px;background:#0b3d91;color:#fff}"
    "h1{margin:0;font-size:1.25em;overflow-wrap:anywhere}"
    "header a{color:#fff}"
    "main{padding:6px 10px;max-width:1100px;margin:0 auto}"
    ".status{display:flex;flex-wrap:wrap;gap:6px 18px;align-items:baseline;margin:8px 0}"
    ".marker{background:#c00;color:#fff;padding:0 6px;border-radius:4px}"
    ".unsaved{color:#b35c00;font-weight:bold}"
    "[hidden]{display:none!important}"
    "table{width:100%;border-collapse:collapse;font-variant-numeric:tabular-nums}"
    "th,td{padding:6px 8px;border-bottom:1px solid #ccc;text-align:left;overflow-wrap:anywhere}"
    "th{background:#eef1f6}"
    ".heat td:last-child,.heat th:last-child{text-align:right;white-space:pre}"
    ".team{color:#555;font-size:.8em;margin-left:.4em}"
    "section{padding:0 10px;max-width:1100px;margin:0 auto}"
    "h2{font-size:1em;margin:14px 0 4px}"
    "footer{color:#777;font-size:.8em;padding:8px 14px;text-align:right}"
    "@media (min-width:900px){body{font-size:28px}}");

// The heat follows the board: pushed over the socket while it is open, polled while it
// is not. Texts are put in with textContent only, never as markup.
const QString ScriptStart = QStringLiteral(
    "(function(){'use strict';"
    "function el(id){return document.getElementById(id);}"
    "function text(v){return v===null||v===undefined?'':String(v);}"
    "function render(h){if(!h||!Array.isArray(h.rows))return;"
    "el('race').textContent=text(h.race);document.title=text(h.race)+' | ' + %1;"
    "var named=h.rows.some(function(r){return !!r.name;});"
    "var hd=el('headings');if(hd&&Array.isArray(h.headings)){var c=[0,1,3];for(var i=0;i<3&&c[i]<hd.cells.length;i++)"
    "hd.cells[c[i]].textContent=text(h.headings[i]);if(hd.cells[2])hd.cells[2].hidden=!named;}"
    "var f=document.createDocumentFragment();h.rows.forEach(function(r){var tr=document.createElement('tr');"
    "function cell(v){var td=document.createElement('td');td.textContent=text(v);tr.appendChild(td);return td;}"
    "cell(r.place);cell(r.number);var n=cell(r.name);n.hidden=!named;"
    "if(r.team){var t=document.createElement('span');t.className='team';t.textContent=text(r.team);"
    "n.appendChild(document.createTextNode(' '));n.appendChild(t);}"
    "cell(r.time);f.appendChild(tr);});"
    "var rows=el('rows');while(rows.firstChild)rows.removeChild(rows.firstChild);rows.appendChild(f);"
    "el('wind').textContent=h.wind?text(h.wind)+' '+text(h.windUnit):'';"
    "el('marker').hidden=!h.windMarker;"
    "var s=el('saved');s.textContent=h.saved?%2:%3;s.className=h.saved?'saved':'unsaved';"
    "var u=h.updated?new Date(h.updated):null;"
    "el('updated').textContent=u&&!isNaN(u)?u.toTimeString().slice(0,8):'';"
    "var rc=el('recent');if(rc&&Array.isArray(h.recent)){var g=document.createDocumentFragment();"
    "h.recent.forEach(function(s){var tr=document.createElement('tr');"
    "function add(v){var td=document.createElement('td');if(v.nodeType)td.appendChild(v);else td.textContent=v;"
    "tr.appendChild(td);}"
    // Only the board's own addresses: a link taken from a file is never followed elsewhere.
    "var a=document.createElement('a');var p=text(s.page);if(/^(api\\/)?heats\\//.test(p))a.href=p;"
    "a.textContent=text(s.name);add(a);add(s.wind?text(s.wind)+' '+text(h.windUnit):'');"
    "var d=s.modified?new Date(s.modified):null;add(d&&!isNaN(d)?d.toTimeString().slice(0,8):'');g.appendChild(tr);});"
    "while(rc.firstChild)rc.removeChild(rc.firstChild);rc.appendChild(g);el('recentBox').hidden=!h.recent.length;}}"
    "function fetchOnce(){fetch(%4,{cache:'no-store'}).then(function(r){return r.ok?r.json():null;})"
    ".then(render).catch(function(){});}");
const QString ServedScript = QStringLiteral(
    "var ws=null,poll=null;"
    "function startPoll(){if(!poll){fetchOnce();poll=setInterval(fetchOnce,1000);}}"
    "function stopPoll(){if(poll){clearInterval(poll);poll=null;}}"
    "function connect(){if(!('WebSocket' in window)){startPoll();return;}"
    "try{ws=new WebSocket((location.protocol==='https:'?'wss':'ws')+'://'+location.host+'/ws');}"
    "catch(e){ws=null;startPoll();setTimeout(connect,1000);return;}"
    "ws.onopen=function(){stopPoll();};"
    "ws.onmessage=function(e){try{render(JSON.parse(e.data));}catch(x){}};"
    "ws.onclose=function(){ws=null;startPoll();setTimeout(connect,1000);};}"
    "connect();})();");
// Twice a second: with the hand-off's delay and the write, a change is on the phones
// within a second.
const QString PublishedScript = QStringLiteral("setInterval(fetchOnce,500);})();");

// A JavaScript string literal of a fixed text of this file.
QString ScriptString(const QString &text)
{
    return u'\'' + text + u'\'';
}

QString Head(const QString &title, bool reloads)
{
    QString out = QStringLiteral("<!DOCTYPE html>\n<html lang=\"ja\">\n<head>\n<meta charset=\"utf-8\">\n"
                                 "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n");
    if (reloads)
        out += QStringLiteral("<noscript><meta http-equiv=\"refresh\" content=\"2\"></noscript>\n");
    out += QStringLiteral("<title>") + HtmlEscaped(title) + QStringLiteral("</title>\n<style>") + Style
        + QStringLiteral("</style>\n</head>\n<body>\n");
    return out;
}

QString Link(const QString &href, const QString &text)
{
    return QStringLiteral("<a href=\"") + HtmlEscaped(href) + QStringLiteral("\">") + HtmlEscaped(text)
        + QStringLiteral("</a>");
}

QString Encoded(const QString &name)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(name));
}

QString Cell(const QString &text)
{
    return QStringLiteral("<td>") + HtmlEscaped(text) + QStringLiteral("</td>");
}

QString StarterCell(const BoardRow &row, bool named)
{
    QString out = named ? QStringLiteral("<td>") : QStringLiteral("<td hidden>");
    out += HtmlEscaped(row.name);
    if (!row.team.isEmpty())
        out += QStringLiteral(" <span class=\"team\">") + HtmlEscaped(row.team) + QStringLiteral("</span>");
    return out + QStringLiteral("</td>");
}

QString WindShown(const QString &wind)
{
    return wind.isEmpty() ? QString() : wind + u' ' + SheetWindUnit;
}

// A saved heat as a row of a list: its name as a link, its wind and when it was saved.
QString SavedHeatRow(const SavedHeat &heat, const QString &href, const QString &timeFormat)
{
    const PathWind wind = WindFromPath(heat.fileName);
    return QStringLiteral("<tr><td>") + Link(href, heat.name) + QStringLiteral("</td>")
        + Cell(wind.found ? WindShown(WindText(wind.wind)) : QString())
        + Cell(heat.modified.toLocalTime().toString(timeFormat)) + QStringLiteral("</tr>\n");
}

// The heat itself, the same on the live page and a saved heat's page.
QString HeatBody(const BoardHeat &heat, const QString &navigation)
{
    QString out = QStringLiteral("<header><h1 id=\"race\">") + HtmlEscaped(heat.race) + QStringLiteral("</h1><nav>")
        + navigation + QStringLiteral("</nav></header>\n<main>\n<div class=\"status\"><span>") + SheetWindLabel
        + QStringLiteral(" <span id=\"wind\">") + HtmlEscaped(WindShown(heat.wind))
        + QStringLiteral("</span></span> <span id=\"marker\" class=\"marker\"")
        + (heat.windMarker ? QString() : QStringLiteral(" hidden")) + u'>' + WindMarkerText
        + QStringLiteral("</span> <span id=\"saved\" class=\"") + (heat.saved ? QStringLiteral("saved") : QStringLiteral("unsaved"))
        + QStringLiteral("\">") + (heat.saved ? SavedText : UnsavedText)
        + QStringLiteral("</span></div>\n<table class=\"heat\"><thead><tr id=\"headings\">");
    // The name column shows only while a start list gives names.
    const bool named = std::any_of(heat.rows.cbegin(), heat.rows.cend(), [](const BoardRow &row) {
        return !row.name.isEmpty();
    });
    out += QStringLiteral("<th>") + HtmlEscaped(heat.headings[0]) + QStringLiteral("</th><th>")
        + HtmlEscaped(heat.headings[1]) + QStringLiteral("</th><th") + (named ? QString() : QStringLiteral(" hidden"))
        + u'>' + StarterHeading + QStringLiteral("</th><th>") + HtmlEscaped(heat.headings[2]) + QStringLiteral("</th>");
    out += QStringLiteral("</tr></thead>\n<tbody id=\"rows\">\n");
    for (const BoardRow &row : heat.rows)
        out += QStringLiteral("<tr>") + Cell(row.place) + Cell(row.number) + StarterCell(row, named) + Cell(row.time)
            + QStringLiteral("</tr>\n");
    out += QStringLiteral("</tbody></table>\n</main>\n");
    return out;
}

} // namespace

QString PublishedHeatName(const QString &name)
{
    constexpr qsizetype MaxFileNameBytes = 255;
    constexpr qsizetype SuffixBytes = 5;    // ".html", ".json"
    constexpr qsizetype HashBytes = 9;      // "~" and 8 hex digits
    const QByteArray bytes = name.toUtf8();
    if (bytes.size() + SuffixBytes <= MaxFileNameBytes)
        return name;
    // Cut on a character's first byte, never inside one.
    qsizetype cut = MaxFileNameBytes - SuffixBytes - HashBytes;
    while (cut > 0 && (uchar(bytes[cut]) & 0xc0) == 0x80)
        --cut;
    const QByteArray hash = QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex().first(8);
    return QString::fromUtf8(bytes.first(cut)) + u'~' + QLatin1StringView(hash);
}

bool IsListPageName(const QString &name)
{
    return name.compare(QLatin1StringView("index"), Qt::CaseInsensitive) == 0;
}

QString BoardSavedHeatLink(const SavedHeat &heat, BoardSite site)
{
    if (site == BoardSite::Served)
        return QStringLiteral("heats/") + Encoded(heat.name);
    // A published "index" would be the list page itself: its JSON stands for it.
    if (IsListPageName(heat.name))
        return QStringLiteral("api/heats/") + Encoded(heat.name) + QStringLiteral(".json");
    return QStringLiteral("heats/") + Encoded(PublishedHeatName(heat.name)) + QStringLiteral(".html");
}

QByteArray BoardHeatPage(const BoardHeat &heat, BoardSite site, const QList<SavedHeat> &heats)
{
    const bool served = site == BoardSite::Served;
    QString out = Head(heat.race + QStringLiteral(" | ") + BoardTitle, true);
    out += HeatBody(heat, Link(served ? QStringLiteral("/heats") : QStringLiteral("heats/index.html"), SavedHeatsTitle));
    const QList<SavedHeat> recent = heats.first(std::min<qsizetype>(heats.size(), BoardRecentHeats));
    out += QStringLiteral("<section id=\"recentBox\"") + (recent.isEmpty() ? QStringLiteral(" hidden") : QString())
        + QStringLiteral("><h2>") + RecentHeatsTitle + QStringLiteral("</h2><table><tbody id=\"recent\">\n");
    for (const SavedHeat &saved : recent)
        out += SavedHeatRow(saved, BoardSavedHeatLink(saved, site), QStringLiteral("HH:mm:ss"));
    out += QStringLiteral("</tbody></table></section>\n");
    out += QStringLiteral("<footer>") + UpdatedLabel + QStringLiteral(" <span id=\"updated\">")
        + (heat.updatedAt.isValid() ? heat.updatedAt.toLocalTime().toString(QStringLiteral("HH:mm:ss")) : QString())
        + QStringLiteral("</span></footer>\n<script>");
    out += ScriptStart.arg(ScriptString(BoardTitle), ScriptString(SavedText), ScriptString(UnsavedText),
                           ScriptString(served ? QStringLiteral("/api/current.json") : QStringLiteral("api/current.json")));
    out += served ? ServedScript : PublishedScript;
    out += QStringLiteral("</script>\n</body>\n</html>\n");
    return out.toUtf8();
}

QByteArray BoardSavedHeatPage(const BoardHeat &heat, BoardSite site)
{
    const bool served = site == BoardSite::Served;
    QString out = Head(heat.race + QStringLiteral(" | ") + SavedHeatsTitle, false);
    out += HeatBody(heat, Link(served ? QStringLiteral("/heats") : QStringLiteral("index.html"), SavedHeatsTitle)
                              + u' ' + Link(served ? QStringLiteral("/") : QStringLiteral("../index.html"), CurrentHeatLink));
    out += QStringLiteral("<footer>") + HtmlEscaped(heat.fileName) + QStringLiteral("</footer>\n</body>\n</html>\n");
    return out.toUtf8();
}

QByteArray BoardHeatListPage(const QList<SavedHeat> &heats, BoardSite site)
{
    const bool served = site == BoardSite::Served;
    QString out = Head(SavedHeatsTitle + QStringLiteral(" | ") + BoardTitle, false);
    out += QStringLiteral("<header><h1>") + SavedHeatsTitle + QStringLiteral("</h1><nav>")
        + Link(served ? QStringLiteral("/") : QStringLiteral("../index.html"), CurrentHeatLink)
        + QStringLiteral("</nav></header>\n<main>\n");
    if (heats.isEmpty()) {
        out += QStringLiteral("<p>") + NoSavedHeats + QStringLiteral("</p>\n");
    } else {
        out += QStringLiteral("<table><thead><tr><th>") + RaceHeading + QStringLiteral("</th><th>") + SheetWindLabel
            + QStringLiteral("</th><th>") + ModifiedHeading + QStringLiteral("</th></tr></thead>\n<tbody id=\"heats\">\n");
        for (const SavedHeat &heat : heats) {
            // From "/heats" or "heats/index.html" to the root the link is relative to.
            out += SavedHeatRow(heat, (served ? QStringLiteral("/") : QStringLiteral("../")) + BoardSavedHeatLink(heat, site),
                                QStringLiteral("yyyy/MM/dd HH:mm:ss"));
        }
        out += QStringLiteral("</tbody></table>\n");
    }
    out += QStringLiteral("</main>\n</body>\n</html>\n");
    return out.toUtf8();
}

} // namespace Ordavex
