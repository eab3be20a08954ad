#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <deque>

namespace Ordavex {

// Follows where each request of a connection begins and ends, head then body, before the
// HTTP library parses them, and refuses what two readers could frame differently: two
// lengths, a length beside a transfer coding, a blank before a header's colon, folded
// lines, HTTP/1.1 without a host. Only the framing is checked; the library parses.
class BoardFraming final
{
public:
    enum class Verdict {
        More,       // nothing to do yet
        Bad,        // ambiguous or malformed: "400" and closed
        Decline,    // a WebSocket wanted elsewhere than the board's push: "404" and closed
        TooLarge,   // beyond the bounds of a head or a body: cut
        Upgrade,    // the push's handshake: what follows is no longer HTTP
    };

    // How the answer to a request ends its connection, as the request asked.
    enum class Ending { KeepAlive, KeepAliveSaid, Close };

    struct Bounds
    {
        qint64 headBytes = 0;
        int headerLines = 0;
        qint64 bodyBytes = 0;
    };

    explicit BoardFraming(const Bounds &bounds) : m_bounds(bounds) {}

    // The bytes as they arrive; stops at the first verdict other than More.
    Verdict feed(QByteArrayView bytes);
    // Part of a request has arrived, not yet all of it.
    bool midRequest() const { return m_stage == Stage::Body || m_headBytes > 0; }
    // The ending of the oldest request whose head was whole, for its answer.
    Ending takeEnding();

    // Whether a comma-separated header value holds the token, in any case.
    static bool hasToken(QByteArrayView value, QByteArrayView token);

private:
    enum class Stage { Head, Body, Done };

    Verdict line(QByteArrayView text);
    Verdict headDone();
    void resetHead();

    Bounds m_bounds;
    Stage m_stage = Stage::Head;
    QByteArray m_line;
    qint64 m_headBytes = 0;
    int m_headLines = 0;
    qint64 m_bodyLeft = 0;
    std::deque<Ending> m_endings;

    // The head being read.
    QByteArray m_method;
    QByteArray m_path;
    bool m_http10 = false;
    int m_lengths = 0;
    qint64 m_length = 0;
    bool m_transferCoding = false;
    int m_hosts = 0;
    bool m_close = false;
    bool m_keepAlive = false;
    bool m_connectionUpgrade = false;
    bool m_upgrade = false;
    bool m_upgradeWebSocket = false;
    bool m_webSocketKey = false;
    bool m_webSocketVersion = false;
};

} // namespace Ordavex
