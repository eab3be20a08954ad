#pragma once

#include "board.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <optional>

// The messages between the program and its board process, on the board's standard input
// and output: each a 4-byte big-endian length, then a compact JSON object. Every message
// names the protocol it speaks, so that a board of another build refuses what it cannot
// read instead of misreading it.
namespace Ordavex {

// Raised whenever a message or the heat's snapshot changes shape.
inline constexpr int BoardProtocolVersion = 1;
// A heat of 500 rows is some 60 KiB; anything near this is not a message of ours.
inline constexpr qsizetype MaxBoardMessageBytes = 4 * 1024 * 1024;

namespace BoardMessages {
// From the program.
inline const QString Start = QStringLiteral("start");           // address, port, publishFolder, workFolder
inline const QString Heat = QStringLiteral("heat");             // heat
inline const QString WorkFolder = QStringLiteral("workFolder"); // folder
inline const QString Listing = QStringLiteral("listing");       // the saved heats changed
// From the board.
inline const QString Listening = QStringLiteral("listening");   // url
inline const QString Failed = QStringLiteral("failed");         // message: could not listen
inline const QString Refused = QStringLiteral("refused");       // message: another protocol
inline const QString Clients = QStringLiteral("clients");       // count
inline const QString PublishFailed = QStringLiteral("publishFailed");   // message
inline const QString PublishRecovered = QStringLiteral("publishRecovered");
} // namespace BoardMessages

// A message of the given type with the protocol named; fields are added by the caller.
QJsonObject MakeBoardMessage(const QString &type);
// The bytes that carry it.
QByteArray FrameBoardMessage(const QJsonObject &message);

// Splits the byte stream back into messages. Bounded: a length over
// MaxBoardMessageBytes, or bytes that are not one JSON object, stop the reader for good,
// since nothing after them can be trusted to start a message.
class BoardMessageReader final
{
public:
    void append(QByteArrayView bytes);
    // The next whole message, or nothing until more bytes come.
    std::optional<QJsonObject> next();
    bool failed() const { return !m_error.isEmpty(); }
    QString error() const { return m_error; }
    // Bytes held for a message not yet whole.
    qsizetype pending() const { return m_buffer.size() - m_pos; }

private:
    QByteArray m_buffer;
    qsizetype m_pos = 0;
    QString m_error;
};

// Empty when the message speaks this protocol; else what to tell the official.
QString BoardProtocolMismatch(const QJsonObject &message);

// The heat as it crosses to the board, and back. Nothing for a snapshot that is not
// one of ours (a missing or mistyped field).
QJsonObject BoardHeatSnapshot(const BoardHeat &heat);
std::optional<BoardHeat> BoardHeatFromSnapshot(const QJsonValue &snapshot);

} // namespace Ordavex
