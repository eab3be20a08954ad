#include "lineframer.h"

#include <QIODevice>

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
    const auto complete = [&] {
        ++count;
        ++out.completed;
        const qsizetype text = m_line.indexOf('\0');
        if (text != 0)
            out.lines.append(text < 0 ? m_line : m_line.first(text));
        m_line.resize(0);
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
            if (c != Stx && !m_line.isEmpty())
                complete();
            continue;
        }
        // A run of stored bytes, up to the room left in the line.
        const qsizetype room = MaxLineBytes - m_line.size();
        qsizetype j = i + 1;
        while (j < size && j - i < room && !isFraming(data[j]))
            ++j;
        m_line.append(data + i, j - i);
        out.kept += qint32(j - i);
        out.received += qint32(j - i);
        i = j;
        if (m_line.size() == MaxLineBytes)
            complete();
    }
    return i;
}

} // namespace Ordavex
