#pragma once

#include "boardframing.h"
#include "boardlimits.h"
#include "boardsnapshot.h"

#include <QHash>

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <memory>

class QHostAddress;
class QWebSocket;

namespace Ordavex {

class BoardConnections;
class BoardHttpServer;
class BoardPublisher;

// The served board on its own thread: the HTTP server, the clients it pushes to and
// the publish folder's writer. Everything here runs on that thread; the window hands
// it values through queued calls.
class BoardWorker final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(BoardWorker)

public:
    explicit BoardWorker(const BoardLimits &limits);
    ~BoardWorker() override;

    // False with the message to show; nothing listens then. The port listened on in
    // *bound (port 0 takes a free one).
    bool listen(const QHostAddress &address, quint16 port, quint16 *bound, QString *error);
    void setPublishFolder(const QString &folder);
    void setHeat(const BoardHeat &heat);
    void setWorkFolder(const QString &folder);
    void readListing();

signals:
    void clientCountChanged(int count);
    void publishFailed(const QString &message);

private:
    friend class BoardHttpServer;

    // An answer's bytes: the head without its last blank line, and the body.
    struct Answer
    {
        QByteArray head;
        QByteArray body;
        QByteArray whole;       // GET on a connection kept open, as written
        QByteArray headOnly;    // HEAD on a connection kept open
    };

    void acceptWebSockets();
    void changed();
    void push();
    const QString &currentJson();
    static Answer makeAnswer(const BoardReply &reply);
    const Answer &builtAnswer(const QByteArray &target);
    QByteArray answer(QByteArrayView method, const QByteArray &target, BoardFraming::Ending ending);
    void countChanged();

    BoardLimits m_limits;
    BoardSnapshot m_source;
    BoardHttpServer *m_http = nullptr;
    BoardConnections *m_connections = nullptr;
    QList<QWebSocket *> m_webSockets;
    QString m_json;
    bool m_jsonValid = false;
    // By target: the answers that change only with the heat or the listing, built once
    // per change however often they are asked for.
    QHash<QByteArray, Answer> m_answers;
    QString m_pushed;   // what the clients were sent last
    // Children, so that they move to the board's thread with it.
    QTimer m_pushTimer;
    QElapsedTimer m_sincePush;
    QTimer m_countTimer;
    int m_reportedCount = -1;
    std::unique_ptr<QThread> m_publishThread;
    QPointer<BoardPublisher> m_publisher;
};

} // namespace Ordavex
