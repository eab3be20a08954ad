// The recovery file while the heat is typed: how soon it follows the grid, what the
// event loop waits for it on a slow disk, what one write costs.

#include "typing_heat.h"

#include "core/atomicfile.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <atomic>

namespace Ordavex::TypingBench {

Delays measureRecoveryDelay(const QTemporaryDir &folder, const std::vector<Key> &keys, int count)
{
    std::unique_ptr<TForm1> form = makeForm(folder);
    auto removeRecovery = qScopeGuard([&form] {
        form->waitForRecoveryWriter(RecoveryWriter::FinishWaitMs);
        QFile::remove(form->recoveryPath());
    });
    activate(form.get());
    QRandomGenerator random(11);
    std::vector<double> delays;
    size_t next = 0;
    for (int i = 0; i < count; ++i) {
        const int burst = int(random.bounded(1, 41));
        QElapsedTimer sinceKey;
        for (int k = 0; k < burst && next < keys.size(); ++k) {
            typeKey(keys[next++]);
            sinceKey.start();
            const int pause = k + 1 < burst ? int(random.bounded(20, 121)) : 0;
            while (sinceKey.elapsed() < pause)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            betweenKeys(false);
        }
        const RecoveredHeat shown = form->currentHeat();
        while (recoveryOnDisk(*form) != shown) {
            if (sinceKey.elapsed() > 5000)
                fail(QStringLiteral("the recovery file did not follow the grid within 5 s"));
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
            QThread::usleep(500);
        }
        delays.push_back(double(sinceKey.nsecsElapsed()) / 1e6);
    }
    return {median(delays), *std::max_element(delays.begin(), delays.end()), count};
}

// Every key with its pass of the event loop, the recovery file's timer among what that
// pass runs: the longest of them.
Stall worstStall(const QTemporaryDir &folder, RecordingDialogs &dialogs, const std::vector<Key> &keys, bool journal,
                 int syncMs)
{
    std::unique_ptr<TForm1> form = makeForm(folder);
    form->setRecoveryJournal(journal);
    // The heat is typed here in about a second, far faster than by hand: a short delay
    // writes it every few keys, as the real delay does at a person's pace.
    form->setRecoveryDelay(50);
    auto writes = std::make_shared<std::atomic<int>>(0);
    form->setRecoverySaveFunction([writes, syncMs](const QString &path, QByteArrayView bytes) {
        ++*writes;
        const SaveError error = SaveFileAtomically(path, bytes);
        QThread::msleep(syncMs);
        return error;
    });
    auto removeRecovery = qScopeGuard([&form] {
        form->waitForRecoveryWriter(RecoveryWriter::FinishWaitMs);
        QFile::remove(form->recoveryPath());
    });
    activate(form.get());
    dialogs.shown.clear();
    Stall stall;
    for (const Key &key : keys) {
        QElapsedTimer timer;
        timer.start();
        typeKey(key);
        betweenKeys(true);
        stall.worstMs = std::max(stall.worstMs, double(timer.nsecsElapsed()) / 1e6);
    }
    stall.writes = writes->load();
    if (journal && stall.writes == 0)
        fail(QStringLiteral("the recovery file was not written while the heat was typed"));
    if (!dialogs.shown.isEmpty())
        fail(QStringLiteral("a box came up while typing: ") + dialogs.shown.join(QStringLiteral(" | ")));

    for (int row = 1; row <= Rows; ++row) {
        if (form->grid()->cell(2, row) != QString::number(finishTime(row)))
            fail(QStringLiteral("row %1 of the heat typed on a slow disk is wrong").arg(row));
    }
    return stall;
}

RecoveryWrites measureRecoveryWrites(const QTemporaryDir &folder)
{
    std::unique_ptr<TForm1> form = makeForm(folder);
    auto removeRecovery = qScopeGuard([&form] {
        form->waitForRecoveryWriter(RecoveryWriter::FinishWaitMs);
        QFile::remove(form->recoveryPath());
    });
    RecoveryWrites measured;
    for (int i = 0; i < 50; ++i) {
        for (int row = 1; row <= Rows; ++row) {
            form->grid()->setCell(1, row, laneText(row + i));
            form->grid()->setCell(2, row, QString::number(finishTime(row)));
        }
        QElapsedTimer timer;
        timer.start();
        form->flushRecovery();
        measured.handOvers.push_back(double(timer.nsecsElapsed()) / 1e6);
        if (!form->waitForRecoveryWriter(RecoveryWriter::FinishWaitMs))
            fail(QStringLiteral("the recovery file was not written within %1 ms").arg(RecoveryWriter::FinishWaitMs));
        measured.writes.push_back(double(timer.nsecsElapsed()) / 1e6);
        if (recoveryOnDisk(*form) != form->currentHeat())
            fail(QStringLiteral("the recovery file does not hold the heat"));
    }
    return measured;
}

} // namespace Ordavex::TypingBench
