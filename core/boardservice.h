#pragma once

#include "board.h"

#include <QObject>
#include <QString>
#include <QStringList>

namespace Ordavex {

// The live results board as the main window sees it: the server and the publish folder
// behind it live in a module of their own, loaded only when the board is used, so that
// a program that never serves starts as light as before.
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
    // Starts serving. False with the message to show (a port that is taken, an address
    // that is not this machine's) and the board stays off.
    virtual bool start(const Options &options, QString *error) = 0;
    virtual void stop() = 0;
    virtual bool isRunning() const = 0;
    // "http://192.168.1.20:8080/" while running.
    virtual QString url() const = 0;
    // The heat now: handed on to every client and the publish folder within a second;
    // never waits for a client.
    virtual void setHeat(const BoardHeat &heat) = 0;
    // The folder whose result files /heats lists; the listing is read again on a save.
    virtual void setWorkFolder(const QString &folder) = 0;
    virtual void savedHeatsChanged() = 0;
    virtual int clientCount() const = 0;

signals:
    // A file of the publish folder could not be written; the server goes on.
    void publishFailed(const QString &message);
    // Running or not, clients, publish state changed.
    void stateChanged();
};

} // namespace Ordavex

// The module's one entry point, looked up by this name when it is loaded; the caller
// owns the service.
inline constexpr char OrdavexCreateBoardServiceName[] = "ordavex_create_board_service";
using OrdavexCreateBoardServiceFunction = Ordavex::BoardService *(*)();
