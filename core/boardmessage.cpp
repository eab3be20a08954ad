#include "boardmessage.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QtEndian>

namespace Ordavex {

namespace {

const QString TypeKey = QStringLiteral("type");
const QString ProtocolKey = QStringLiteral("protocol");

bool TakeString(const QJsonObject &object, const QString &key, QString *out)
{
    const QJsonValue value = object.value(key);
    if (!value.isString())
        return false;
    *out = value.toString();
    return true;
}

bool TakeBool(const QJsonObject &object, const QString &key, bool *out)
{
    const QJsonValue value = object.value(key);
    if (!value.isBool())
        return false;
    *out = value.toBool();
    return true;
}

} // namespace

QJsonObject MakeBoardMessage(const QString &type)
{
    QJsonObject message;
    message.insert(TypeKey, type);
    message.insert(ProtocolKey, BoardProtocolVersion);
    return message;
}

QByteArray FrameBoardMessage(const QJsonObject &message)
{
    const QByteArray json = QJsonDocument(message).toJson(QJsonDocument::Compact);
    QByteArray framed(4, Qt::Uninitialized);
    qToBigEndian(quint32(json.size()), framed.data());
    framed += json;
    return framed;
}

void BoardMessageReader::append(QByteArrayView bytes)
{
    if (failed())
        return;
    // What was taken already goes before the buffer grows again.
    if (m_pos > 0 && m_pos >= m_buffer.size() / 2) {
        m_buffer.remove(0, m_pos);
        m_pos = 0;
    }
    m_buffer.append(bytes);
}

std::optional<QJsonObject> BoardMessageReader::next()
{
    if (failed() || m_buffer.size() - m_pos < 4)
        return std::nullopt;
    const quint32 length = qFromBigEndian<quint32>(m_buffer.constData() + m_pos);
    if (length > quint32(MaxBoardMessageBytes)) {
        m_error = QStringLiteral("message of %1 bytes").arg(length);
        m_buffer.clear();
        m_pos = 0;
        return std::nullopt;
    }
    if (m_buffer.size() - m_pos - 4 < qsizetype(length))
        return std::nullopt;
    QJsonParseError error;
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray::fromRawData(m_buffer.constData() + m_pos + 4, length), &error);
    m_pos += 4 + qsizetype(length);
    if (m_pos == m_buffer.size()) {
        m_buffer.clear();
        m_pos = 0;
    }
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        m_error = error.error != QJsonParseError::NoError ? error.errorString() : QStringLiteral("not an object");
        m_buffer.clear();
        m_pos = 0;
        return std::nullopt;
    }
    return document.object();
}

QString BoardProtocolMismatch(const QJsonObject &message)
{
    const QJsonValue protocol = message.value(ProtocolKey);
    if (protocol.isDouble() && protocol.toInt(-1) == BoardProtocolVersion && message.value(TypeKey).isString())
        return {};
    return QStringLiteral("protocol %1, expected %2")
        .arg(protocol.isDouble() ? QString::number(protocol.toInt(-1)) : QStringLiteral("?"))
        .arg(BoardProtocolVersion);
}

QJsonObject BoardHeatSnapshot(const BoardHeat &heat)
{
    QJsonArray headings;
    for (const QString &heading : heat.headings)
        headings.append(heading);
    QJsonArray rows;
    for (const BoardRow &row : heat.rows)
        rows.append(QJsonArray{row.place, row.number, row.time, row.packed, row.name, row.team});
    QJsonObject snapshot;
    snapshot.insert(QStringLiteral("race"), heat.race);
    snapshot.insert(QStringLiteral("fileName"), heat.fileName);
    snapshot.insert(QStringLiteral("headings"), headings);
    snapshot.insert(QStringLiteral("rows"), rows);
    snapshot.insert(QStringLiteral("wind"), heat.wind);
    snapshot.insert(QStringLiteral("windMarker"), heat.windMarker);
    snapshot.insert(QStringLiteral("saved"), heat.saved);
    // As text: a double would lose the top of a 64-bit counter.
    snapshot.insert(QStringLiteral("version"), QString::number(heat.version));
    snapshot.insert(QStringLiteral("updatedMs"),
                    heat.updatedAt.isValid() ? QJsonValue(double(heat.updatedAt.toMSecsSinceEpoch())) : QJsonValue());
    return snapshot;
}

std::optional<BoardHeat> BoardHeatFromSnapshot(const QJsonValue &value)
{
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject snapshot = value.toObject();
    BoardHeat heat;
    QString version;
    if (!TakeString(snapshot, QStringLiteral("race"), &heat.race)
        || !TakeString(snapshot, QStringLiteral("fileName"), &heat.fileName)
        || !TakeString(snapshot, QStringLiteral("wind"), &heat.wind)
        || !TakeBool(snapshot, QStringLiteral("windMarker"), &heat.windMarker)
        || !TakeBool(snapshot, QStringLiteral("saved"), &heat.saved)
        || !TakeString(snapshot, QStringLiteral("version"), &version))
        return std::nullopt;
    bool ok = false;
    heat.version = version.toULongLong(&ok);
    if (!ok)
        return std::nullopt;
    const QJsonArray headings = snapshot.value(QStringLiteral("headings")).toArray();
    if (headings.size() != qsizetype(heat.headings.size()))
        return std::nullopt;
    for (qsizetype i = 0; i < headings.size(); ++i) {
        if (!headings[i].isString())
            return std::nullopt;
        heat.headings[size_t(i)] = headings[i].toString();
    }
    const QJsonValue rows = snapshot.value(QStringLiteral("rows"));
    if (!rows.isArray())
        return std::nullopt;
    const QJsonArray rowArray = rows.toArray();
    heat.rows.reserve(rowArray.size());
    for (const QJsonValue &rowValue : rowArray) {
        const QJsonArray cells = rowValue.toArray();
        // The name and team follow the four cells of a row.
        if (cells.size() != 4 && cells.size() != 6)
            return std::nullopt;
        for (const QJsonValue &cell : cells)
            if (!cell.isString())
                return std::nullopt;
        heat.rows.append(BoardRow{cells[0].toString(), cells[1].toString(), cells[2].toString(), cells[3].toString(),
                                  cells.size() == 6 ? cells[4].toString() : QString(),
                                  cells.size() == 6 ? cells[5].toString() : QString()});
    }
    const QJsonValue updated = snapshot.value(QStringLiteral("updatedMs"));
    if (updated.isDouble())
        heat.updatedAt = QDateTime::fromMSecsSinceEpoch(qint64(updated.toDouble()), Qt::UTC);
    else if (!updated.isNull())
        return std::nullopt;
    return heat;
}

} // namespace Ordavex
