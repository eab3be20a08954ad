#include "tmythread.h"

#include "serialtexts.h"

#include "core/lineframer.h"

#include <QElapsedTimer>
#include <QSerialPort>

namespace Ordavex {

namespace {

// Waits that end at once without input or error, one after another, mean a device
// that no longer blocks (hung up without saying so): reading it further would spin.
constexpr int QuickReturnLimit = 20;
// The most bytes taken from the port at a time.
constexpr qint64 ReadPieceBytes = 64 * 1024;

} // namespace

TMyThread::TMyThread(QSerialPort *port, LineFramer *framer, std::shared_ptr<ReceiveCounters> counters,
                     QThread *home, CaptureTarget capture)
    : m_port(port)
    , m_framer(framer)
    , m_counters(std::move(counters))
    , m_home(home)
    , m_capture(std::move(capture))
{
    // Runs on the window thread (this object lives there) once it has taken the lines:
    // queued behind the receivers' own deliveries of them.
    connect(this, &TMyThread::linesReceived, this, [this] { m_delivering.store(false); }, Qt::QueuedConnection);
}

TMyThread::~TMyThread()
{
    requestInterruption();
    wait();
}

void TMyThread::startOnce()
{
    if (m_started)
        return;
    m_started = true;
    start();
}

void TMyThread::run()
{
    ReceiveCounters &counters = *m_counters;
    QString shown;
    int quickReturns = 0;

    // Opened here, so that a slow or missing folder never holds up the window thread.
    CaptureFile capture;
    QElapsedTimer sinceStart;
    sinceStart.start();
    const bool captureWanted = !m_capture.folder.isEmpty();
    bool captureDown = false;
    QElapsedTimer sinceCaptureTry;
    const auto captureLost = [&] {
        if (!captureDown)
            emit captureFailed(MsgCaptureFailed);
        captureDown = true;
        sinceCaptureTry.start();
    };
    if (captureWanted && !capture.open(m_capture.folder, m_capture.started))
        captureLost();
    bool overflowTold = false;
    QElapsedTimer sinceOverflowTold;

    QList<QByteArray> pending;      // lines not yet emitted
    bool linesDue = false;          // lines completed since the last emission
    QElapsedTimer sinceDelivery;
    const auto deliver = [&] {
        if (!linesDue)
            return;
        m_delivering.store(true);
        emit linesReceived(pending);
        pending.clear();
        linesDue = false;
        sinceDelivery.start();
    };
    // The window thread has taken the last lines, and they went a while ago or many
    // lines wait.
    const auto mayDeliver = [&] {
        return !m_delivering.load()
               && (pending.size() >= DeliveryLines || !sinceDelivery.isValid()
                   || sinceDelivery.nsecsElapsed() >= DeliveryGapMs * 1000000LL);
    };

    const auto frame = [&](QByteArrayView bytes) {
        // Every byte as read, before the framer may hold it back.
        if (captureDown && !bytes.isEmpty() && sinceCaptureTry.elapsed() >= CaptureRetryMs) {
            // A new file with the next number: the failed one keeps what it took.
            if (capture.open(m_capture.folder, m_capture.started) && capture.append(bytes, sinceStart.elapsed())
                && capture.flush(sinceStart.elapsed(), true)) {
                captureDown = false;
                emit captureBack(MsgCaptureBack);
            } else {
                sinceCaptureTry.start();
            }
        } else if (capture.isOpen() && !capture.append(bytes, sinceStart.elapsed())) {
            captureLost();
        }
        FramedLines f = m_framer->feed(bytes, counters.waiting.load());
        if (f.received > 0) {
            counters.line.fetch_add(f.completed);
            counters.keptBytes.fetch_add(f.kept);
            counters.receivedBytes.fetch_add(f.received);
        }
        if (f.dropped > 0 && !overflowTold
            && (!sinceOverflowTold.isValid() || sinceOverflowTold.elapsed() >= OverflowRepeatMs)) {
            overflowTold = true;
            sinceOverflowTold.start();
            emit heldOverflow(MsgHeldOverflow);
        }
        if (!m_framer->holding())
            overflowTold = false;
        if (f.completed > 0) {
            // Counted at once: lines that wait here count towards the line limit.
            counters.waiting.fetch_add(qint32(f.lines.size()));
            if (pending.isEmpty())
                pending = std::move(f.lines);
            else
                pending.append(f.lines);
            linesDue = true;
            if (mayDeliver())
                deliver();
        }
    };

    // Reads go into one buffer kept for the whole run, a piece at a time.
    QByteArray buffer(ReadPieceBytes, Qt::Uninitialized);
    const auto frameAvailable = [&] {
        do {
            const qint64 got = m_port->read(buffer.data(), qMin<qint64>(m_port->bytesAvailable(), ReadPieceBytes));
            frame(QByteArrayView(buffer.constData(), got > 0 ? got : 0));
        } while (m_port->bytesAvailable() > 0);
    };

    while (!isInterruptionRequested()) {
        // Closed after its device went away while no reader ran.
        bool lost = !m_port->isOpen();
        if (!lost && m_port->bytesAvailable() > 0) {
            // Bytes the port took in on the window thread between two readers come first.
            frameAvailable();
            quickReturns = 0;
        } else if (!lost) {
            QElapsedTimer waited;
            waited.start();
            const int wait = linesDue ? PendingWaitMs : m_framer->holding() ? HeldWaitMs : WaitMs;
            if (m_port->waitForReadyRead(wait)) {
                quickReturns = 0;
            } else {
                const QSerialPort::SerialPortError error = m_port->error();
                if (error != QSerialPort::NoError && error != QSerialPort::TimeoutError)
                    lost = true;
                m_port->clearError();
                // (A wait of a few ms, while lines wait, is too short to tell.)
                if (wait >= HeldWaitMs && waited.elapsed() < wait / 2 && ++quickReturns >= QuickReturnLimit)
                    lost = true;
            }
            // Held bytes go on once the monitor's clear has brought the count down;
            // new bytes, if any, queue behind them. What a dying port still had is read.
            if (m_framer->holding() || m_port->bytesAvailable() > 0)
                frameAvailable();
        }
        if (linesDue && (lost || mayDeliver()))
            deliver();
        if (capture.isOpen() && !capture.flush(sinceStart.elapsed(), lost))
            captureLost();
        if (lost) {
            // A dead device is closed at once: left open, its notifier would fire without
            // end once the port is back on the window thread.
            m_port->close();
            m_port->clearError();
            emit portLost(MsgPortLost);
            if (!reopen())
                break;
            quickReturns = 0;
            shown = MsgPortBack;
            emit portBack(MsgPortBack);
            continue;
        }
        // The counts are shown once the lines they count have gone.
        if (linesDue)
            continue;
        const QString text = m_framer->holding()
                                 ? MsgLineLimit
                                 : ReceiveStatusText(counters.line.load(), counters.keptBytes.load(),
                                                     counters.receivedBytes.load());
        if (text != shown) {
            shown = text;
            emit statusChanged(text);
        }
    }
    deliver();
    if (!capture.close())
        captureLost();
    // Only this thread may give the port away while it holds it.
    m_port->moveToThread(m_home);
}

bool TMyThread::reopen()
{
    for (;;) {
        // A wait at a time, so that a stop is seen within one.
        for (int slept = 0; slept < ReopenIntervalMs; slept += WaitMs) {
            if (isInterruptionRequested())
                return false;
            QThread::msleep(WaitMs);
        }
        if (isInterruptionRequested())
            return false;
        // The port keeps the settings it accepted at the first open and applies them again.
        if (m_port->open(QIODevice::ReadWrite)) {
            m_port->clearError();
            return true;
        }
        m_port->clearError();
    }
}

} // namespace Ordavex
