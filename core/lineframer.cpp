#include "lineframer.h"

#include <QIODevice>

#include <cstring>

namespace Ordavex {

namespace {

constexpr char Stx = 0x02;
constexpr char Etx = 0x03;
constexpr char Lf = 0x0A;
constexpr char Cr = 0x0D;

bool isFraming(char c)
{
    return c == Stx || c == Etx || c == Lf || c == Cr;
}

} // namespace

QString ReceiveStatusText(qint32 line, qint32 kept, qint32 received)
{
    return QStringLiteral("line=%1 nb=%2 gb=%3").arg(line).arg(kept).arg(received);
}

FramedLines LineFramer::feed(QByteArrayView bytes, qint32 lineCount)
{
    FramedLines out;
    if (!holding()) {
        const qsizetype used = frame(bytes, lineCount, out);
        if (used < bytes.size())
            m_held.append(bytes.sliced(used));
        return out;
    }
    // Held bytes come first; new ones queue behind them.
    m_held.append(bytes);
    m_heldBegin += frame(QByteArrayView(m_held).sliced(m_heldBegin), lineCount, out);
    if (m_heldBegin == m_held.size()) {
        m_held.clear();
        m_heldBegin = 0;
    } else if (m_heldBegin > m_held.size() / 2) {
        m_held.remove(0, m_heldBegin);
        m_heldBegin = 0;
    }
    return out;
}

FramedLines LineFramer::feed(QIODevice &device, qint32 lineCount)
{
    return feed(device.readAll(), lineCount);
}

qsizetype LineFramer::frame(QByteArrayView bytes, qint32 lineCount, FramedLines &out)
{
    const char *const data = bytes.data();
    const qsizetype size = bytes.size();
    qint32 count = lineCount;
    // A line's text runs up to its first NUL; one without text is counted, not kept.
    const auto complete = [&](const char *line, qsizetype length) {
        ++count;
        ++out.completed;
        const void *nul = std::memchr(line, 0, size_t(length));
        const qsizetype text = nul ? static_cast<const char *>(nul) - line : length;
        if (text > 0)
            out.lines.append(QByteArray(line, text));
    };

    qsizetype i = 0;
    while (i < size) {
        // A line starts only while the count allows it; one in progress is finished.
        if (m_line.isEmpty() && count > LineLimit)
            break;
        const char c = data[i];
        if (isFraming(c)) {
            ++i;
            ++out.received;
            if (c != Stx && !m_line.isEmpty()) {
                complete(m_line.constData(), m_line.size());
                m_line.resize(0);
            }
            continue;
        }
        // A run of stored bytes, up to the room left in the line.
        const qsizetype room = MaxLineBytes - m_line.size();
        qsizetype j = i + 1;
        while (j < size && j - i < room && !isFraming(data[j]))
            ++j;
        out.kept += qint32(j - i);
        out.received += qint32(j - i);
        if (m_line.isEmpty() && (j - i == MaxLineBytes || (j < size && data[j] != Stx))) {
            // A whole line in this piece of the stream: taken from it directly.
            complete(data + i, j - i);
            if (j < size && j - i < MaxLineBytes) {
                ++j;
                ++out.received;
            }
        } else {
            m_line.append(data + i, j - i);
            if (m_line.size() == MaxLineBytes) {
                complete(m_line.constData(), m_line.size());
                m_line.resize(0);
            }
        }
        i = j;
    }
    return i;
}

} // namespace Ordavex
