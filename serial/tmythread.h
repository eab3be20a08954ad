#pragma once

#include "capturefile.h"
#include "receivecounters.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QThread>

#include <atomic>
#include <memory>

class QSerialPort;

namespace Ordavex {

class LineFramer;

// The reader: one per showing of the monitor, started by SerialLink::startReader on the
// open port. While it runs only its thread touches the port; before its body returns it
// hands the port back to the thread of the SerialLink that keeps it.
//
// It sleeps in the port's wait for input, a short wait at a time, and looks at its stop
// request (requestInterruption) between waits, so it stops within one wait and never
// spins. Everything it tells the window thread travels as values in queued signals.
//
// When the device goes away it says so at once, closes the port and, still on its own
// thread, opens the same device with the same settings again every ReopenIntervalMs
// until it is back or the reader is stopped; the framer and the counters stay as they
// were, so a line cut by the loss is finished by the bytes that follow it.
class TMyThread final : public QThread
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TMyThread)

public:
    // The longest wait for input between two looks at the stop request.
    static constexpr int WaitMs = 100;
    // The wait while bytes are held at the line limit, so that they go on soon after
    // the monitor's clear, which the reader is not told of.
    static constexpr int HeldWaitMs = 10;
    // The pause between two tries to open a device that went away.
    static constexpr int ReopenIntervalMs = 1000;
    // The pause between two tries to make a new capture after one failed; a try is made
    // with bytes to write, so that it shows at once whether writing works again.
    static constexpr int CaptureRetryMs = 1000;
    // Lines go to the window thread at most once every DeliveryGapMs, unless this many
    // wait (well below the line limit, so that a fast stream is never held up by it).
    static constexpr int DeliveryGapMs = 1;
    static constexpr qsizetype DeliveryLines = 256;
    // The longest wait while lines wait to go.
    static constexpr int PendingWaitMs = DeliveryGapMs;
    // Held bytes let go are told again at most this often: the rest of an endless line
    // cut by the bound is let go read after read, thousands of times a second.
    static constexpr int OverflowRepeatMs = 1000;

    // A reader still running is asked to stop and waited for: it never outlives the
    // port and framer it was given.
    ~TMyThread() override;

signals:
    // Emitted on the reader thread; the monitor connects them (queued).
    // Lines completed since the last emission: those with text, as received (so the
    // list may be empty). Emitted after a read that completed a line, unless the window
    // thread has not yet taken the last lines, or they went less than DeliveryGapMs ago
    // and fewer than DeliveryLines wait: then the lines wait, in order, and go together
    // once that is past (or before the reader reports a loss or ends). A line after a
    // pause goes at once; a flood reaches the window thread in few, large deliveries,
    // never more often than it takes them.
    void linesReceived(const QList<QByteArray> &lines);
    // The text for Label1, when it changes.
    void statusChanged(const QString &text);
    // The device went away (an adapter pulled out, a read error); the reader tries to
    // open it again.
    void portLost(const QString &text);
    // The device is open again and reading goes on.
    void portBack(const QString &text);
    // The capture could not be made or written; reading goes on without it, and a new
    // capture (the next numbered name) is tried every CaptureRetryMs while bytes come.
    // Once per failure.
    void captureFailed(const QString &text);
    // A new capture took the bytes after a failure.
    void captureBack(const QString &text);
    // Bytes held at the line limit went past MaxHeldBytes and some were let go; once
    // until the held bytes have gone through, and not again within OverflowRepeatMs.
    void heldOverflow(const QString &text);

protected:
    void run() override;

private:
    friend class SerialLink;
    TMyThread(QSerialPort *port, LineFramer *framer, std::shared_ptr<ReceiveCounters> counters, QThread *home,
              CaptureTarget capture);
    // Starts the reader unless it has been started already (by a stop request).
    void startOnce();
    // Opens the lost device again; false when a stop was requested first.
    bool reopen();

    QSerialPort *const m_port;          // used here only between start and hand-back
    LineFramer *const m_framer;         // likewise; it goes with the port
    const std::shared_ptr<ReceiveCounters> m_counters;
    QThread *const m_home;              // where the port goes when reading ends
    const CaptureTarget m_capture;
    bool m_started = false;             // window thread only
    // Lines emitted and not yet taken by the window thread's event loop.
    std::atomic<bool> m_delivering{false};
};

} // namespace Ordavex
