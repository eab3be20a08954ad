#include "boardframing.h"

#include <QList>

namespace Ordavex {

namespace {

bool isTokenChar(char c)
{
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
        return true;
    return QByteArrayView("!#$%&'*+-.^_`|~").contains(c);
}

bool isToken(QByteArrayView text)
{
    if (text.isEmpty())
        return false;
    for (char c : text)
        if (!isTokenChar(c))
            return false;
    return true;
}

} // namespace

bool BoardFraming::hasToken(QByteArrayView value, QByteArrayView token)
{
    for (QByteArrayView part : QByteArray::fromRawData(value.data(), value.size()).split(','))
        if (part.trimmed().compare(token, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

BoardFraming::Verdict BoardFraming::feed(QByteArrayView bytes)
{
    qsizetype at = 0;
    while (at < bytes.size()) {
        if (m_stage == Stage::Done)
            return Verdict::More;
        if (m_stage == Stage::Body) {
            const qsizetype taken = qsizetype(std::min<qint64>(m_bodyLeft, bytes.size() - at));
            m_bodyLeft -= taken;
            at += taken;
            if (m_bodyLeft == 0)
                m_stage = Stage::Head;
            continue;
        }
        const qsizetype end = bytes.indexOf('\n', at);
        const qsizetype stop = end < 0 ? bytes.size() : end + 1;
        m_headBytes += stop - at;
        if (m_headBytes > m_bounds.headBytes)
            return Verdict::TooLarge;
        m_line.append(bytes.sliced(at, stop - at));
        at = stop;
        if (end < 0)
            break;
        QByteArrayView text = m_line;
        text.chop(1);
        if (text.endsWith('\r'))
            text.chop(1);
        const Verdict verdict = line(text);
        m_line.clear();
        if (verdict != Verdict::More)
            return verdict;
    }
    return Verdict::More;
}

BoardFraming::Verdict BoardFraming::line(QByteArrayView text)
{
    if (m_method.isEmpty()) {
        // Blank lines before a request are allowed and skipped.
        if (text.isEmpty()) {
            m_headBytes = 0;
            return Verdict::More;
        }
        const QList<QByteArray> parts = text.toByteArray().split(' ');
        if (parts.size() != 3 || !isToken(parts[0]) || parts[1].isEmpty())
            return Verdict::Bad;
        if (parts[2] == "HTTP/1.0")
            m_http10 = true;
        else if (parts[2] != "HTTP/1.1")
            return Verdict::Bad;
        m_method = parts[0];
        const qsizetype query = parts[1].indexOf('?');
        m_path = query < 0 ? parts[1] : parts[1].first(query);
        return Verdict::More;
    }
    if (text.isEmpty())
        return headDone();
    if (++m_headLines > m_bounds.headerLines)
        return Verdict::TooLarge;
    const qsizetype colon = text.indexOf(':');
    // A name that is not a token is refused: a blank before the colon ("Content-Length : 5"
    // is a length to some readers, an unknown header to others) and a line folded onto
    // the one before (which readers join differently) among them.
    if (colon <= 0 || !isToken(text.first(colon)))
        return Verdict::Bad;
    const QByteArrayView name = text.first(colon);
    const QByteArrayView value = text.sliced(colon + 1).trimmed();
    const auto is = [&name](QByteArrayView known) { return name.compare(known, Qt::CaseInsensitive) == 0; };
    if (is("Content-Length")) {
        ++m_lengths;
        if (value.isEmpty() || value.size() > 15)
            return Verdict::Bad;
        for (char c : value)
            if (c < '0' || c > '9')
                return Verdict::Bad;
        m_length = value.toLongLong();
    } else if (is("Transfer-Encoding")) {
        m_transferCoding = true;
    } else if (is("Host")) {
        ++m_hosts;
    } else if (is("Connection")) {
        m_close = m_close || hasToken(value, "close");
        m_keepAlive = m_keepAlive || hasToken(value, "keep-alive");
        m_connectionUpgrade = m_connectionUpgrade || hasToken(value, "upgrade");
    } else if (is("Upgrade")) {
        // As the library tells a WebSocket: by the whole value.
        m_upgrade = true;
        m_upgradeWebSocket = value.compare("websocket", Qt::CaseInsensitive) == 0;
    } else if (is("Sec-WebSocket-Key")) {
        m_webSocketKey = !value.isEmpty();
    } else if (is("Sec-WebSocket-Version")) {
        m_webSocketVersion = value == "13";
    }
    return Verdict::More;
}

BoardFraming::Verdict BoardFraming::headDone()
{
    // The board takes no bodies, so no transfer coding is followed: a request with one
    // could only be framed by guessing.
    if (m_transferCoding || m_lengths > 1 || m_hosts > 1 || (!m_http10 && m_hosts == 0))
        return Verdict::Bad;
    if (m_length > m_bounds.bodyBytes)
        return Verdict::TooLarge;
    // The library hands over whatever asks for a WebSocket; only the push's own address
    // goes to it, with a handshake it can complete.
    if (m_upgradeWebSocket && m_connectionUpgrade) {
        if (m_method != "GET" || m_path != "/ws")
            return Verdict::Decline;
        if (!m_webSocketKey || !m_webSocketVersion || m_length > 0)
            return Verdict::Bad;
        m_stage = Stage::Done;
        return Verdict::Upgrade;
    }
    // After another upgrade or a CONNECT the library reads nothing more of the connection.
    const bool last = (m_upgrade && m_connectionUpgrade) || m_method == "CONNECT";
    m_endings.push_back(last || m_close || (m_http10 && !m_keepAlive) ? Ending::Close
                        : m_http10                         ? Ending::KeepAliveSaid
                                                           : Ending::KeepAlive);
    const qint64 body = m_length;
    resetHead();
    if (body > 0) {
        m_stage = Stage::Body;
        m_bodyLeft = body;
    }
    return Verdict::More;
}

void BoardFraming::resetHead()
{
    m_headBytes = 0;
    m_headLines = 0;
    m_method.clear();
    m_path.clear();
    m_http10 = false;
    m_lengths = 0;
    m_length = 0;
    m_transferCoding = false;
    m_hosts = 0;
    m_close = false;
    m_keepAlive = false;
    m_connectionUpgrade = false;
    m_upgrade = false;
    m_upgradeWebSocket = false;
    m_webSocketKey = false;
    m_webSocketVersion = false;
}

BoardFraming::Ending BoardFraming::takeEnding()
{
    if (m_endings.empty())
        return Ending::KeepAlive;
    const Ending ending = m_endings.front();
    m_endings.pop_front();
    return ending;
}

} // namespace Ordavex
