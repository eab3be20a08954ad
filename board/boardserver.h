#pragma once

#include "boardlimits.h"

#include "core/boardservice.h"

#include <QMutex>
#include <QThread>

#include <atomic>
#include <memory>

namespace Ordavex {

class BoardWorker;

// The board served from a thread of this process, for the tests and benchmarks that
// drive the server directly: handing it the heat queues a copy and returns at once.
class BoardServer final : public BoardService
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(BoardServer)

public:
    explicit BoardServer(QObject *parent = nullptr);
    ~BoardServer() override;

    // For the tests: shorter times and smaller bounds, set before start().
    void setLimits(const BoardLimits &limits) { m_limits = limits; }

    QStringList addresses() const override;
    bool start(const Options &options, QString *error) override;
    void stop() override;
    bool isRunning() const override;
    bool isStarting() const override { return false; }
    QString url() const override;
    void setHeat(const BoardHeat &heat) override;
    void setWorkFolder(const QString &folder) override;
    void savedHeatsChanged() override;
    int clientCount() const override;

private:
    void shutDown();

    BoardLimits m_limits;
    std::unique_ptr<QThread> m_thread;
    BoardWorker *m_worker = nullptr;
    QString m_url;
    QString m_workFolder;
    BoardHeat m_heat;
    std::atomic<int> m_clients = 0;
};

} // namespace Ordavex
