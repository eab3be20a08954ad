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

bool isLineEnd(char c)
{
    return c == Etx || c == Lf || c == Cr;
}

// The first framing byte in [from, to), or to. Eight bytes are looked at a time: a word
// without a byte below 0x0E holds no framing byte, and text is mostly such words. The
// test finds whether there is such a byte, not where: the word is then looked at bytewise.
qsizetype nextFraming(const char *data, qsizetype from, qsizetype to)
{
    constexpr qsizetype Word = sizeof(quint64);
    constexpr quint64 Ones = 0x0101010101010101ULL;
    constexpr quint64 Highs = 0x8080808080808080ULL;
    qsizetype k = from;
    for (;;) {
        while (to - k >= Word) {
            quint64 word;
            std::memcpy(&word, data + k, sizeof word);
            if (((word - Ones * 0x0E) & ~word & Highs) != 0)
                break;
            k += Word;
        }
        for (const qsizetype stop = qMin(to, k + Word); k < stop; ++k) {
            if (isFraming(data[k]))
                return k;
        }
        if (k == to)
            return to;
    }
}

} // namespace

QString ReceiveStatusText(qint32 line, qint32 kept, qint32 received)
{
    return QStringLiteral("line=%1 nb=%2 gb=%3").arg(line).arg(kept).arg(received);
}

FramedLines LineFramer::feed(QByteArrayView bytes, qint32 lineCount)
{
    FramedLines out;
    bytes = skipCutLine(bytes, out);
    if (!holding()) {
        const qsizetype used = frame(bytes, lineCount, out);
        if (used < bytes.size())
            holdBack(bytes.sliced(used), out);
        return out;
    }
    // Held bytes come first; new ones queue behind them.
    holdBack(bytes, out);
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

QByteArrayView LineFramer::skipCutLine(QByteArrayView bytes, FramedLines &out)
{
    if (!m_skipToLineEnd || bytes.isEmpty())
        return bytes;
    qsizetype end = 0;
    while (end < bytes.size() && !isLineEnd(bytes[end]))
        ++end;
    if (end == bytes.size()) {
        out.dropped += qint32(bytes.size());
        m_dropped += bytes.size();
        return {};
    }
    m_skipToLineEnd = false;
    out.dropped += qint32(end + 1);
    m_dropped += end + 1;
    return bytes.sliced(end + 1);
}

void LineFramer::holdBack(QByteArrayView bytes, FramedLines &out)
{
    if (bytes.isEmpty())
        return;
    if (m_heldBegin > 0 && m_heldBegin == m_held.size()) {
        m_held.clear();
        m_heldBegin = 0;
    }
    m_held.append(bytes);
    bound(out);
}

void LineFramer::bound(FramedLines &out)
{
    if (m_held.size() - m_heldBegin <= m_maxHeld)
        return;
    // Held bytes start at the start of a line: they are cut after the last line end that
    // fits, so that what stays is whole lines.
    const qsizetype limit = m_heldBegin + m_maxHeld;
    qsizetype cut = limit;
    for (qsizetype k = limit; k > m_heldBegin; --k) {
        if (isLineEnd(m_held[k - 1])) {
            cut = k;
            break;
        }
    }
    const qsizetype gone = m_held.size() - cut;
    m_skipToLineEnd = !isLineEnd(m_held.back());
    m_held.truncate(cut);
    out.dropped += qint32(gone);
    m_dropped += gone;
}

QByteArray LineFramer::TextBlock::store(const char *text, qsizetype length)
{
    if (m_used + length + 1 > m_bytes.size()) {
        // Lines still using the old block keep it.
        m_bytes = QByteArray(qMax(TextBlockBytes, length + 1), Qt::Uninitialized);
        m_used = 0;
    }
    // Written past every line cut from the block so far: no line sees these bytes change.
    QByteArray::DataPointer &block = m_bytes.data_ptr();
    char *const at = block.data() + m_used;
    std::memcpy(at, text, size_t(length));
    at[length] = '\0';
    m_used += length + 1;
    QByteArray::DataPointer line = block;   // a holder of the block more
    line.ptr = at;
    line.size = length;
    return QByteArray(std::move(line));
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
    // NULs before a line's first other byte are line noise (one just before a record's
    // STX would otherwise wipe the record): left out. The text runs from there up to the
    // next NUL; a line without text is counted, not kept, and never fills the line
    // limit: nothing of it waits to be let go.
    const auto complete = [&](const char *line, qsizetype length) {
        ++out.completed;
        QByteArrayView view(line, length);
        qsizetype start = 0;
        while (start < view.size() && view[start] == '\0')
            ++start;
        view = view.sliced(start);
        const qsizetype nul = view.indexOf('\0');
        const qsizetype text = nul < 0 ? view.size() : nul;
        if (text > 0) {
            ++count;
            out.lines.append(m_texts.store(view.data(), text));
        }
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
        qsizetype j = nextFraming(data, i + 1, i + qMin(room, size - i));
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
