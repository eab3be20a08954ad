#pragma once

#include "boardlimits.h"

#include "core/board.h"
#include "core/boardmessage.h"

#include <QObject>
#include <QStringList>
#include <QThread>

#include <memory>
#include <optional>

namespace Ordavex {

class BoardWorker;

// The machine's interface addresses, loopback first.
QStringList BoardAddresses();

// The board process: takes the program's messages from the standard input, serves and
// publishes with a BoardWorker on this thread, and answers on the standard output. It
// ends when the program closes its end of the pipe, or sends what it cannot read.
class BoardProgram final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(BoardProgram)

public:
    explicit BoardProgram(const BoardLimits &limits, QObject *parent = nullptr);
    ~BoardProgram() override;

    // Begins reading the standard input on a thread of its own.
    void run();

    // One message from the program.
    void take(const QJsonObject &message);

signals:
    // The program is done with us: the exit code to end with.
    void finished(int code);

private:
    void received(const QByteArray &bytes);
    void send(const QJsonObject &message);
    void endWith(const QString &type, const QString &why, int code);
    void start(const QJsonObject &message);

    BoardLimits m_limits;
    BoardMessageReader m_reader;
    std::unique_ptr<QThread> m_input;
    BoardWorker *m_worker = nullptr;
    std::optional<BoardHeat> m_heat;
    QString m_workFolder;
    bool m_done = false;
};

} // namespace Ordavex
