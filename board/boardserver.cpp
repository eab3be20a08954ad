#include "boardserver.h"
#include "boardprogram.h"
#include "boardtexts.h"
#include "boardworker.h"

#include <QHostAddress>
#include <future>

namespace Ordavex {

BoardServer::BoardServer(QObject *parent)
    : BoardService(parent)
{
}

BoardServer::~BoardServer()
{
    shutDown();
}

QStringList BoardServer::addresses() const
{
    return BoardAddresses();
}

bool BoardServer::start(const Options &options, QString *error)
{
    stop();
    QString message;
    const QHostAddress address(options.address);
    if (address.isNull()) {
        message = MsgBoardAddressUnavailable.arg(options.address);
        if (error)
            *error = message;
        return false;
    }
    auto thread = std::make_unique<QThread>();
    thread->setObjectName(QStringLiteral("board"));
    auto *worker = new BoardWorker(m_limits);
    worker->moveToThread(thread.get());
    connect(worker, &BoardWorker::publishFailed, this, &BoardService::publishFailed);
    connect(worker, &BoardWorker::publishRecovered, this, &BoardService::publishRecovered);
    connect(worker, &BoardWorker::clientCountChanged, this, [this, worker](int count) {
        // A count still queued from a board that was stopped is not this board's.
        if (m_worker != worker)
            return;
        m_clients = count;
        emit stateChanged();
    });
    thread->start();
    struct Listening
    {
        bool ok = false;
        quint16 port = 0;
        QString message;
    };
    // The one time the window waits for the board's thread: it must know whether it
    // serves. Everything goes over by value, and the answer comes back through a future.
    std::promise<Listening> answer;
    std::future<Listening> listened = answer.get_future();
    QMetaObject::invokeMethod(
        worker,
        [worker, address, port = options.port, publishFolder = options.publishFolder, workFolder = m_workFolder,
         heat = m_heat, &answer] {
            Listening result;
            result.ok = worker->listen(address, port, &result.port, &result.message);
            if (result.ok) {
                worker->setWorkFolder(workFolder);
                worker->setHeat(heat);
                worker->setPublishFolder(publishFolder);
            }
            answer.set_value(result);
        },
        Qt::QueuedConnection);
    const Listening result = listened.get();
    const bool listening = result.ok;
    const quint16 port = result.port;
    message = result.message;
    if (!listening) {
        QMetaObject::invokeMethod(worker, [worker] { delete worker; }, Qt::BlockingQueuedConnection);
        thread->quit();
        thread->wait();
        if (error)
            *error = message;
        return false;
    }
    m_thread = std::move(thread);
    m_worker = worker;
    const QString host = address.protocol() == QAbstractSocket::IPv6Protocol
                             ? u'[' + address.toString() + u']' : address.toString();
    m_url = QStringLiteral("http://%1:%2/").arg(host).arg(port);
    m_clients = 0;
    emit stateChanged();
    return true;
}

void BoardServer::stop()
{
    if (!m_thread)
        return;
    shutDown();
    emit stateChanged();
}

void BoardServer::shutDown()
{
    if (!m_thread)
        return;
    QMetaObject::invokeMethod(m_worker, [worker = m_worker] { delete worker; }, Qt::BlockingQueuedConnection);
    m_worker = nullptr;
    m_thread->quit();
    m_thread->wait();
    m_thread.reset();
    m_url.clear();
    m_clients = 0;
}

bool BoardServer::isRunning() const
{
    return m_thread != nullptr;
}

QString BoardServer::url() const
{
    return m_url;
}

void BoardServer::setHeat(const BoardHeat &heat)
{
    m_heat = heat;
    if (m_worker)
        QMetaObject::invokeMethod(m_worker, [worker = m_worker, heat] { worker->setHeat(heat); }, Qt::QueuedConnection);
}

void BoardServer::setWorkFolder(const QString &folder)
{
    m_workFolder = folder;
    if (m_worker)
        QMetaObject::invokeMethod(m_worker, [worker = m_worker, folder] { worker->setWorkFolder(folder); },
                                  Qt::QueuedConnection);
}

void BoardServer::savedHeatsChanged()
{
    if (m_worker)
        QMetaObject::invokeMethod(m_worker, [worker = m_worker] { worker->readListing(); }, Qt::QueuedConnection);
}

int BoardServer::clientCount() const
{
    return m_clients;
}

} // namespace Ordavex
