#pragma once

#include "board.h"

#include <QObject>
#include <QString>
#include <QStringList>

namespace Ordavex {

// The live results board as the main window sees it. The server and the publish folder
// behind it run in a program of their own, so that nothing a visitor sends can slow,
// bloat or stop the window; nothing here ever waits for that program.
class BoardService : public QObject
{
    Q_OBJECT

public:
    struct Options
    {
        QString address;        // an address of this machine, as addresses() lists it
        quint16 port = 8080;
        QString publishFolder;  // empty: nothing is published
    };

    using QObject::QObject;

    // The machine's interface addresses, loopback first.
    virtual QStringList addresses() const = 0;
    // Begins serving: the answer comes with stateChanged (running) or startFailed. False
    // with the message to show when not even that could be begun.
    virtual bool start(const Options &options, QString *error) = 0;
    // Ends the board at once; the window never waits for it.
    virtual void stop() = 0;
    // Turned on and serving (or being started again after it stopped by itself).
    virtual bool isRunning() const = 0;
    // Asked to start, no answer yet.
    virtual bool isStarting() const = 0;
    // "http://192.168.1.20:8080/" while running.
    virtual QString url() const = 0;
    // The heat now: handed on to every client and the publish folder at once; never
    // waits for a client or the board.
    virtual void setHeat(const BoardHeat &heat) = 0;
    // The folder whose result files /heats lists; the board watches it itself.
    virtual void setWorkFolder(const QString &folder) = 0;
    // A save or delete by this program: the listing is read again now.
    virtual void savedHeatsChanged() = 0;
    virtual int clientCount() const = 0;

signals:
    // A file of the publish folder could not be written; the board goes on.
    void publishFailed(const QString &message);
    // The publish folder takes the files again.
    void publishRecovered();
    // A start that was begun did not come to serve; the board is off.
    void startFailed(const QString &message);
    // The board stopped by itself; it is started again shortly.
    void boardLost(const QString &message);
    // Running or not, clients, publish state changed.
    void stateChanged();
};

} // namespace Ordavex
