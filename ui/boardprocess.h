#pragma once

#include "core/boardmessage.h"
#include "core/boardservice.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTimer>

#include <functional>
#include <memory>

namespace Ordavex {

inline const QString MsgBoardProgramMissing = QStringLiteral("速報ﾎﾞｰﾄﾞのﾌﾟﾛｸﾞﾗﾑが見つかりません。\n%1");
inline const QString MsgBoardProgramFailed = QStringLiteral("速報ﾎﾞｰﾄﾞのﾌﾟﾛｸﾞﾗﾑを開始できませんでした。(%1)");
inline const QString MsgBoardOtherBuild = QStringLiteral("速報ﾎﾞｰﾄﾞのﾌﾟﾛｸﾞﾗﾑがこのﾌﾟﾛｸﾞﾗﾑと合いません。(%1)");
inline const QString MsgBoardLost = QStringLiteral("速報ﾎﾞｰﾄﾞが停止しました。再起動しています。");
inline const QString MsgBoardRestored = QStringLiteral("速報ﾎﾞｰﾄﾞが停止したため、%1 に再起動しました。");

// Makes the board's service; nothing, with the message to show in error, when it
// cannot. The main window holds one, so that tests hand it a service of their own.
using BoardServiceFactory = std::function<std::unique_ptr<BoardService>(QString *error)>;

// The board as a program of its own (ordavex-board beside this one), started with
// QProcess and fed the heat on its standard input. Nothing here waits for it: a heat
// that the pipe cannot take now is replaced by the newest and sent when it drains;
// stopping ends it with a terminate and, half a second later, a kill. When it stops by
// itself it is started again, at most once every few seconds.
class BoardProcess final : public BoardService
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(BoardProcess)

public:
    // The address space the board may take: far above what it needs, far below the machine.
    static constexpr int DefaultMemoryLimitMiB = 1024;

    explicit BoardProcess(const QString &program, QObject *parent = nullptr);
    ~BoardProcess() override;

    // For the tests: the back-off between starts after a loss, and the memory limit.
    void setRestartDelays(int firstMs, int longestMs);
    void setMemoryLimitMiB(int mib) { m_memoryLimitMiB = mib; }
    // The board's process id while one runs, else 0.
    qint64 processId() const;
    // Bytes handed to the pipe that it has not taken yet.
    qint64 unsentBytes() const;

    QStringList addresses() const override;
    bool start(const Options &options, QString *error) override;
    void stop() override;
    bool isRunning() const override;
    bool isStarting() const override;
    QString url() const override;
    void setHeat(const BoardHeat &heat) override;
    void setWorkFolder(const QString &folder) override;
    void savedHeatsChanged() override;
    int clientCount() const override;

private:
    enum class State { Off, Starting, Serving, Restarting };

    void launch();
    void received();
    void take(const QJsonObject &message);
    void ended();
    void lost(const QString &why);
    void send(const QJsonObject &message);
    void sendHeat();
    void discard();

    QString m_program;
    Options m_options;
    State m_state = State::Off;
    QProcess *m_process = nullptr;
    BoardMessageReader m_reader;
    BoardHeat m_heat;
    bool m_hasHeat = false;
    bool m_heatWaiting = false;
    QString m_workFolder;
    QString m_url;
    int m_clients = 0;
    int m_memoryLimitMiB = DefaultMemoryLimitMiB;
    QTimer m_restart;
    QElapsedTimer m_sinceLaunch;
    int m_firstDelayMs = 3000;
    int m_longestDelayMs = 60000;
    int m_delayMs = 3000;
};

// The board program beside this program.
QString BoardProgramPath();
BoardServiceFactory ProcessBoardServiceFactory();

} // namespace Ordavex
