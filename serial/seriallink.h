#pragma once

#include "capturefile.h"
#include "portsettings.h"
#include "receivecounters.h"
#include "tmythread.h"

#include "core/lineframer.h"

#include <QObject>
#include <QString>

#include <memory>

class QSerialPort;

namespace Ordavex {

struct Settings;

// The serial port of the timing machine and its reader. Lives on the window thread,
// owned by the main window. The port stays open between showings of the monitor and
// belongs to one thread at a time: to the reader while one runs (it hands the port back
// before it ends), to this object's thread otherwise. Nothing here touches the port or
// the framer while a reader runs; every path that would (open, close, a new reader)
// first stops the reader and waits for it.
class SerialLink final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SerialLink)

public:
    struct OpenResult
    {
        bool opened = false;
        QString note;   // for the status text, e.g. 1.5 stop bits not available here
    };

    // How long open and startReader wait for a reader to stop: it stops within one wait.
    static constexpr int StopWaitMs = 10 * TMyThread::WaitMs;

    explicit SerialLink(QObject *parent = nullptr);
    ~SerialLink() override;

    // Stops and waits (bounded) for a reader, closes the old port, opens deviceName
    // exclusively and configures it from cBauRate, cBitSize, cParity and cStopBits. A
    // setting the driver refuses is not a failure: the port keeps what it accepted.
    OpenResult open(const QString &deviceName, const Settings &settings);
    // A port is held from a successful open to the next open or close; one whose device
    // went away is held closed, and a reader started on it reports the loss at once and
    // tries to open it again.
    bool isOpen() const { return m_port != nullptr; }

    // Starts one reader on the open port (nullptr when none is open); the port passes
    // to it. The byte counts of the counters restart at 0. The reader's thread starts
    // when control returns to the event loop, so that the caller connects its signals
    // first and no line is emitted to nobody; the window thread never waits for it.
    // The pointer stays valid until the next startReader, open or close.
    // With a capture folder the reader keeps every byte it reads in a new capture there,
    // named from capture.started (see CaptureFile).
    TMyThread *startReader(std::shared_ptr<ReceiveCounters> counters, CaptureTarget capture = {});
    // Asks the running reader to stop (the monitor's close).
    void requestStop();
    // Bounded wait; true when no reader runs any more.
    bool waitForReader(int ms);
    // Stops the reader and closes the port (also in the destructor).
    void close();

signals:
    // The port reported its device gone, from whichever thread holds it.
    void portFailed(QPrivateSignal);

private:
    bool stopReader(int ms);
    bool readerActive() const;
    void closeDeadPort();

    std::unique_ptr<QSerialPort> m_port;
    // The line being assembled and bytes held at the line limit go with the port from
    // one reader to the next, so that stopping a reader loses and repeats nothing.
    LineFramer m_framer;
    std::unique_ptr<TMyThread> m_reader;
};

} // namespace Ordavex
