#include "capturefile.h"

#include "core/slitlog.h"

#include <QDir>

namespace Ordavex {

namespace {

constexpr int MaxNameTries = 1000;

} // namespace

QString CaptureName(const QDateTime &when)
{
    // The monitor text's name with another extension: both of one showing sort together.
    QString name = MonitorTextName(when);
    name.truncate(name.lastIndexOf(QLatin1Char('.')));
    return name + QStringLiteral(".cap");
}

QString CaptureIndexPath(const QString &capturePath)
{
    const qsizetype dot = capturePath.lastIndexOf(QLatin1Char('.'));
    const qsizetype slash = capturePath.lastIndexOf(QLatin1Char('/'));
    return (dot > slash ? capturePath.left(dot) : capturePath) + QStringLiteral(".idx");
}

QByteArray CaptureIndexLine(const CaptureMark &mark)
{
    return QByteArray::number(mark.offset) + ' ' + QByteArray::number(mark.ms) + "\r\n";
}

bool ParseCaptureIndex(QByteArrayView text, qint64 captureSize, QList<CaptureMark> *marks)
{
    marks->clear();
    qsizetype at = 0;
    while (at < text.size()) {
        const qsizetype end = text.indexOf(QByteArrayView("\r\n"), at);
        if (end < 0)
            break;  // cut short
        const QByteArrayView line = text.sliced(at, end - at);
        at = end + 2;
        const qsizetype space = line.indexOf(' ');
        if (space <= 0)
            return false;
        bool offsetOk = false, msOk = false;
        const CaptureMark mark{line.first(space).toLongLong(&offsetOk), line.sliced(space + 1).toLongLong(&msOk)};
        if (!offsetOk || !msOk || mark.offset < 0 || mark.ms < 0 || mark.offset >= captureSize)
            return false;
        if (marks->isEmpty() ? mark.offset != 0 : (mark.offset <= marks->last().offset || mark.ms < marks->last().ms))
            return false;
        marks->append(mark);
    }
    return true;
}

bool CaptureFile::open(const QString &folder, const QDateTime &when)
{
    close();
    if (!EnsureFolder(folder))
        return false;
    const QDir dir(folder);
    const QString name = CaptureName(when);
    for (int n = 1; n <= MaxNameTries; ++n) {
        const QString path = dir.filePath(NumberedName(name, n));
        // New files only, never one that is there: a name taken means the next one.
        m_data.setFileName(path);
        if (!m_data.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered)) {
            if (QFile::exists(path))
                continue;
            return false;
        }
        m_index.setFileName(CaptureIndexPath(path));
        if (m_index.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered)) {
            m_size = 0;
            m_lastMs = -1;
            m_pending.resize(0);
            m_pendingIndex.clear();
            m_wroteAny = false;
            return true;
        }
        const bool taken = m_index.exists();
        m_data.close();
        m_data.remove();
        if (!taken)
            return false;
    }
    return false;
}

bool CaptureFile::append(QByteArrayView bytes, qint64 ms)
{
    if (!isOpen() || bytes.isEmpty())
        return isOpen();
    if (m_pending.isEmpty()) {
        m_pendingSinceMs = ms;
        // Room for a flush's worth, kept from one flush to the next.
        m_pending.reserve(FlushBytes);
    }
    if (ms != m_lastMs) {
        m_pendingIndex += CaptureIndexLine({m_size, ms});
        m_lastMs = ms;
    }
    m_pending.append(bytes);
    m_size += bytes.size();
    return m_pending.size() < FlushBytes ? flush(ms) : flush(ms, true);
}

bool CaptureFile::flush(qint64 ms, bool force)
{
    if (!isOpen())
        return false;
    if (m_pending.isEmpty() || (!force && ms - m_pendingSinceMs < FlushMs))
        return true;
    if (writeOut())
        return true;
    if (m_wroteAny) {
        m_data.close();
        m_index.close();
    } else {
        m_data.remove();
        m_index.remove();
    }
    return false;
}

bool CaptureFile::writeOut()
{
    // The bytes before their marks: a mark never points past the capture.
    bool ok = m_pending.isEmpty() || m_data.write(m_pending) == m_pending.size();
    ok = ok && m_index.write(m_pendingIndex) == m_pendingIndex.size();
    m_pending.resize(0);
    m_pendingIndex.resize(0);
    m_wroteAny = m_wroteAny || ok;
    return ok;
}

bool CaptureFile::close()
{
    const bool ok = !isOpen() || writeOut();
    m_data.close();
    m_index.close();
    return ok;
}

} // namespace Ordavex
