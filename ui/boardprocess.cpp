#include "boardprocess.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTime>

namespace Ordavex {

namespace {

// A board that served this long before it stopped starts again after the first delay.
constexpr qint64 SteadyMs = 30'000;
// Terminated, then killed this much later if it has not ended.
constexpr int KillAfterMs = 500;

} // namespace

BoardProcess::BoardProcess(const QString &program, QObject *parent)
    : BoardService(parent)
    , m_program(program)
{
    m_restart.setSingleShot(true);
    connect(&m_restart, &QTimer::timeout, this, &BoardProcess::launch);
}

BoardProcess::~BoardProcess()
{
    m_restart.stop();
    discard();
}

void BoardProcess::setRestartDelays(int firstMs, int longestMs)
{
    m_firstDelayMs = firstMs;
    m_longestDelayMs = longestMs;
    m_delayMs = firstMs;
}

qint64 BoardProcess::processId() const
{
    return m_process ? m_process->processId() : 0;
}

qint64 BoardProcess::unsentBytes() const
{
    return m_process ? m_process->bytesToWrite() : 0;
}

QStringList BoardProcess::addresses() const
{
    // A program of its own lists them too: this one links no network library.
    QProcess lister;
    lister.setProcessChannelMode(QProcess::SeparateChannels);
    lister.start(m_program, {QStringLiteral("--addresses")}, QIODevice::ReadOnly);
    QStringList addresses;
    if (lister.waitForFinished(3000)) {
        const QList<QByteArray> lines = lister.readAllStandardOutput().split('\n');
        for (const QByteArray &line : lines) {
            const QString address = QString::fromUtf8(line).trimmed();
            if (!address.isEmpty() && addresses.size() < 64)
                addresses.append(address);
        }
    } else {
        lister.kill();
        lister.waitForFinished(1000);
    }
    if (addresses.isEmpty())
        addresses.append(QStringLiteral("127.0.0.1"));
    return addresses;
}

bool BoardProcess::start(const Options &options, QString *error)
{
    stop();
    if (!QFileInfo(m_program).isExecutable()) {
        if (error)
            *error = MsgBoardProgramMissing.arg(QDir::toNativeSeparators(m_program));
        return false;
    }
    m_options = options;
    m_state = State::Starting;
    m_delayMs = m_firstDelayMs;
    launch();
    return true;
}

void BoardProcess::launch()
{
    discard();
    m_reader = BoardMessageReader();
    m_process = new QProcess;
    m_process->setProgram(m_program);
    m_process->setArguments({QStringLiteral("--memory-limit-mib"), QString::number(m_memoryLimitMiB)});
    // Its own notes go where this program's go; it holds them to a few a minute.
    m_process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    connect(m_process, &QProcess::readyReadStandardOutput, this, &BoardProcess::received);
    connect(m_process, &QProcess::finished, this, &BoardProcess::ended);
    connect(m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            ended();
    });
    connect(m_process, &QProcess::bytesWritten, this, [this] {
        if (m_heatWaiting)
            sendHeat();
    });
    m_sinceLaunch.start();
    m_process->start();

    QJsonObject start = MakeBoardMessage(BoardMessages::Start);
    start.insert(QStringLiteral("address"), m_options.address);
    start.insert(QStringLiteral("port"), int(m_options.port));
    start.insert(QStringLiteral("publishFolder"), m_options.publishFolder);
    start.insert(QStringLiteral("workFolder"), m_workFolder);
    send(start);
    if (m_hasHeat) {
        m_heatWaiting = true;
        sendHeat();
    }
}

void BoardProcess::received()
{
    QProcess *process = m_process;
    if (!process)
        return;
    m_reader.append(process->readAllStandardOutput());
    while (std::optional<QJsonObject> message = m_reader.next()) {
        take(*message);
        if (m_process != process)
            return;
    }
    if (m_reader.failed())
        lost(m_reader.error());
}

void BoardProcess::take(const QJsonObject &message)
{
    if (const QString mismatch = BoardProtocolMismatch(message); !mismatch.isEmpty()) {
        const bool serving = m_state == State::Serving;
        discard();
        m_state = State::Off;
        if (serving)
            emit boardLost(MsgBoardOtherBuild.arg(mismatch));
        else
            emit startFailed(MsgBoardOtherBuild.arg(mismatch));
        emit stateChanged();
        return;
    }
    const QString type = message.value(QStringLiteral("type")).toString();
    const QString text = message.value(QStringLiteral("message")).toString();
    if (type == BoardMessages::Listening) {
        m_url = message.value(QStringLiteral("url")).toString();
        // Started again on the port it took, so that the phones' address stays right.
        if (m_options.port == 0)
            m_options.port = quint16(message.value(QStringLiteral("port")).toInt());
        m_state = State::Serving;
        emit stateChanged();
    } else if (type == BoardMessages::Failed || type == BoardMessages::Refused) {
        const bool firstStart = m_state == State::Starting;
        const QString why = type == BoardMessages::Refused ? MsgBoardOtherBuild.arg(text) : text;
        if (firstStart || type == BoardMessages::Refused) {
            discard();
            m_state = State::Off;
            emit startFailed(why);
            emit stateChanged();
        } else {
            lost(why);
        }
    } else if (type == BoardMessages::Clients) {
        m_clients = message.value(QStringLiteral("count")).toInt();
        emit stateChanged();
    } else if (type == BoardMessages::PublishFailed) {
        emit publishFailed(text);
    } else if (type == BoardMessages::PublishRecovered) {
        emit publishRecovered();
    }
}

void BoardProcess::ended()
{
    if (!m_process)
        return;
    if (m_state == State::Starting) {
        const QString why = m_process->error() == QProcess::FailedToStart ? m_process->errorString()
                                                                          : QString::number(m_process->exitCode());
        discard();
        m_state = State::Off;
        emit startFailed(MsgBoardProgramFailed.arg(why));
        emit stateChanged();
        return;
    }
    lost(m_process->errorString());
}

// The board stopped by itself while it was on: it is started again, at once after a long
// steady run, else after a delay that doubles up to the longest.
void BoardProcess::lost(const QString &why)
{
    Q_UNUSED(why);
    const qint64 ran = m_sinceLaunch.isValid() ? m_sinceLaunch.elapsed() : 0;
    const bool wasServing = m_state == State::Serving;
    discard();
    m_state = State::Restarting;
    m_clients = 0;
    if (ran >= SteadyMs)
        m_delayMs = m_firstDelayMs;
    m_restart.start(std::max<qint64>(0, m_delayMs - ran));
    m_delayMs = std::min(m_delayMs * 2, m_longestDelayMs);
    if (wasServing)
        emit boardLost(MsgBoardLost);
    emit stateChanged();
}

void BoardProcess::stop()
{
    m_restart.stop();
    const bool was = m_state != State::Off;
    discard();
    m_state = State::Off;
    m_url.clear();
    m_clients = 0;
    if (was)
        emit stateChanged();
}

bool BoardProcess::isRunning() const
{
    return m_state == State::Serving || m_state == State::Restarting;
}

bool BoardProcess::isStarting() const
{
    return m_state == State::Starting || m_state == State::Restarting;
}

QString BoardProcess::url() const
{
    return isRunning() ? m_url : QString();
}

void BoardProcess::setHeat(const BoardHeat &heat)
{
    m_heat = heat;
    m_hasHeat = true;
    m_heatWaiting = true;
    sendHeat();
}

void BoardProcess::setWorkFolder(const QString &folder)
{
    m_workFolder = folder;
    QJsonObject message = MakeBoardMessage(BoardMessages::WorkFolder);
    message.insert(QStringLiteral("folder"), folder);
    send(message);
}

void BoardProcess::savedHeatsChanged()
{
    send(MakeBoardMessage(BoardMessages::Listing));
}

int BoardProcess::clientCount() const
{
    return m_clients;
}

// Control messages are few and small: they always go, after what waits.
void BoardProcess::send(const QJsonObject &message)
{
    if (m_process && m_process->state() != QProcess::NotRunning)
        m_process->write(FrameBoardMessage(message));
}

// Only into an empty pipe buffer: while the board does not take what it was sent, the
// newest heat waits here, alone, and older ones are never sent at all.
void BoardProcess::sendHeat()
{
    if (!m_process || m_process->state() == QProcess::NotRunning || m_process->bytesToWrite() > 0)
        return;
    m_heatWaiting = false;
    QJsonObject message = MakeBoardMessage(BoardMessages::Heat);
    message.insert(QStringLiteral("heat"), BoardHeatSnapshot(m_heat));
    m_process->write(FrameBoardMessage(message));
}

// Ends the running board without waiting for it: a terminate now, a kill shortly after.
// The process object goes once the board has ended; one that never ends (a disk that
// hangs it in the system) is left behind rather than waited for.
void BoardProcess::discard()
{
    QProcess *process = std::exchange(m_process, nullptr);
    if (!process)
        return;
    process->disconnect(this);
    if (process->state() == QProcess::NotRunning) {
        process->deleteLater();
        return;
    }
    connect(process, &QProcess::finished, process, &QObject::deleteLater);
    process->closeWriteChannel();
    process->terminate();
    QTimer::singleShot(KillAfterMs, process, &QProcess::kill);
}

QString BoardProgramPath()
{
    const QString folder = QCoreApplication::applicationDirPath();
    const QString found = QStandardPaths::findExecutable(QStringLiteral("ordavex-board"), {folder});
    return found.isEmpty() ? QDir(folder).filePath(QStringLiteral("ordavex-board")) : found;
}

BoardServiceFactory ProcessBoardServiceFactory()
{
    return [](QString *) { return std::make_unique<BoardProcess>(BoardProgramPath()); };
}

} // namespace Ordavex
