#include "boardprogram.h"
#include "boardplatform.h"
#include "boardtexts.h"
#include "boardworker.h"

#include <QHostAddress>
#include <QNetworkInterface>

#include <algorithm>

namespace Ordavex {

namespace {

// Blocking reads of the standard input, handed to the program's thread as they come.
class InputThread final : public QThread
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(InputThread)

public:
    using QThread::QThread;

signals:
    void bytes(const QByteArray &bytes);
    void ended();

protected:
    void run() override
    {
        QByteArray buffer(64 * 1024, Qt::Uninitialized);
        for (;;) {
            const qint64 read = ReadStandardInput(buffer.data(), buffer.size());
            if (read <= 0)
                break;
            emit bytes(buffer.first(read));
        }
        emit ended();
    }
};

} // namespace

QStringList BoardAddresses()
{
    QList<QHostAddress> all = QNetworkInterface::allAddresses();
    // Loopback first, then IPv4 before IPv6; link-local IPv6 needs a scope no URL here carries.
    all.removeIf([](const QHostAddress &a) { return a.protocol() == QAbstractSocket::IPv6Protocol && a.isLinkLocal(); });
    std::stable_sort(all.begin(), all.end(), [](const QHostAddress &a, const QHostAddress &b) {
        const auto rank = [](const QHostAddress &x) {
            return (x.isLoopback() ? 0 : 2) + (x.protocol() == QAbstractSocket::IPv4Protocol ? 0 : 1);
        };
        return rank(a) < rank(b);
    });
    QStringList texts;
    for (const QHostAddress &address : std::as_const(all))
        texts.append(address.toString());
    return texts;
}

BoardProgram::BoardProgram(const BoardLimits &limits, QObject *parent)
    : QObject(parent)
    , m_limits(limits)
{
}

BoardProgram::~BoardProgram()
{
    // The input thread sits in a read that only the program's end of the pipe ends; the
    // process is going, so it is left to that.
    if (m_input && m_input->isRunning())
        (void)m_input.release();
    delete m_worker;
}

void BoardProgram::run()
{
    auto *input = new InputThread;
    input->setObjectName(QStringLiteral("board input"));
    connect(input, &InputThread::bytes, this, &BoardProgram::received, Qt::QueuedConnection);
    connect(input, &InputThread::ended, this, [this] {
        if (!std::exchange(m_done, true))
            emit finished(0);
    }, Qt::QueuedConnection);
    m_input.reset(input);
    m_input->start();
}

void BoardProgram::received(const QByteArray &bytes)
{
    if (m_done)
        return;
    m_reader.append(bytes);
    while (std::optional<QJsonObject> message = m_reader.next()) {
        take(*message);
        if (m_done)
            return;
    }
    if (m_reader.failed())
        endWith(BoardMessages::Refused, m_reader.error(), 3);
}

void BoardProgram::take(const QJsonObject &message)
{
    if (const QString mismatch = BoardProtocolMismatch(message); !mismatch.isEmpty()) {
        endWith(BoardMessages::Refused, mismatch, 3);
        return;
    }
    const QString type = message.value(QStringLiteral("type")).toString();
    if (type == BoardMessages::Start) {
        start(message);
    } else if (type == BoardMessages::Heat) {
        // A snapshot we cannot read is left out: the next one replaces it anyway.
        if (std::optional<BoardHeat> heat = BoardHeatFromSnapshot(message.value(QStringLiteral("heat")))) {
            m_heat = heat;
            if (m_worker)
                m_worker->setHeat(*heat);
        }
    } else if (type == BoardMessages::WorkFolder) {
        m_workFolder = message.value(QStringLiteral("folder")).toString();
        if (m_worker)
            m_worker->setWorkFolder(m_workFolder);
    } else if (type == BoardMessages::Listing) {
        if (m_worker)
            m_worker->readListing();
    }
}

void BoardProgram::start(const QJsonObject &message)
{
    if (m_worker)
        return;
    const QString addressText = message.value(QStringLiteral("address")).toString();
    const int port = message.value(QStringLiteral("port")).toInt(-1);
    if (message.contains(QStringLiteral("workFolder")))
        m_workFolder = message.value(QStringLiteral("workFolder")).toString();
    const QHostAddress address(addressText);
    auto *worker = new BoardWorker(m_limits);
    quint16 bound = 0;
    QString error;
    if (address.isNull() || port < 0 || port > 65535) {
        error = MsgBoardAddressUnavailable.arg(addressText);
    } else if (!worker->listen(address, quint16(port), &bound, &error)) {
        if (error.isEmpty())
            error = MsgBoardAddressUnavailable.arg(addressText);
    }
    if (!error.isEmpty()) {
        delete worker;
        endWith(BoardMessages::Failed, error, 2);
        return;
    }
    m_worker = worker;
    connect(worker, &BoardWorker::clientCountChanged, this, [this](int count) {
        QJsonObject clients = MakeBoardMessage(BoardMessages::Clients);
        clients.insert(QStringLiteral("count"), count);
        send(clients);
    });
    connect(worker, &BoardWorker::publishFailed, this, [this](const QString &text) {
        QJsonObject failed = MakeBoardMessage(BoardMessages::PublishFailed);
        failed.insert(QStringLiteral("message"), text);
        send(failed);
    });
    connect(worker, &BoardWorker::publishRecovered, this,
            [this] { send(MakeBoardMessage(BoardMessages::PublishRecovered)); });
    const QString host = address.protocol() == QAbstractSocket::IPv6Protocol ? u'[' + address.toString() + u']'
                                                                              : address.toString();
    QJsonObject listening = MakeBoardMessage(BoardMessages::Listening);
    listening.insert(QStringLiteral("url"), QStringLiteral("http://%1:%2/").arg(host).arg(bound));
    listening.insert(QStringLiteral("port"), int(bound));
    // Said before the first listing is read: the program hears that it serves at once.
    send(listening);
    worker->setWorkFolder(m_workFolder);
    if (m_heat)
        worker->setHeat(*m_heat);
    worker->setPublishFolder(message.value(QStringLiteral("publishFolder")).toString());
}

// Tells the program why, and ends: nothing after it is taken.
void BoardProgram::endWith(const QString &type, const QString &why, int code)
{
    QJsonObject message = MakeBoardMessage(type);
    message.insert(QStringLiteral("message"), why);
    send(message);
    m_done = true;
    emit finished(code);
}

void BoardProgram::send(const QJsonObject &message)
{
    const QByteArray bytes = FrameBoardMessage(message);
    if (!WriteStandardOutput(bytes.constData(), bytes.size()) && !m_done) {
        // The program has gone: nothing is left to serve for.
        m_done = true;
        emit finished(0);
    }
}

} // namespace Ordavex

#include "boardprogram.moc"
