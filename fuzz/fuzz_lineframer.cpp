// Feeds arbitrary bytes to the line framer, whole and cut into pieces chosen by the
// first byte, with the line count growing and cleared whenever bytes are held: the same
// lines and counts come out, and no line outgrows the line buffer or holds a framing
// byte or a NUL.
#include "check.h"
#include "core/lineframer.h"

#include <cstdint>

using namespace Ordavex;

namespace {

struct Run
{
    QList<QByteArray> lines;
    qint64 completed = 0;
    qint64 kept = 0;
    qint64 received = 0;

    void add(const FramedLines &f)
    {
        lines += f.lines;
        completed += f.completed;
        kept += f.kept;
        received += f.received;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const QByteArrayView stream(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1));

    // Whole, the count cleared before every call.
    LineFramer whole;
    Run a;
    a.add(whole.feed(stream, 0));
    while (whole.holding())
        a.add(whole.feed({}, 0));

    // In pieces, the count growing, cleared only when bytes are held.
    LineFramer pieces;
    Run b;
    qint32 count = 0;
    quint32 state = data[0] * 2654435761u + 1;
    for (qsizetype at = 0; at < stream.size();) {
        state = state * 1103515245u + 12345u;
        const qsizetype piece = std::min<qsizetype>(1 + (state >> 16) % 700, stream.size() - at);
        const FramedLines f = pieces.feed(stream.sliced(at, piece), count);
        count += qint32(f.lines.size());
        Check(count <= LineLimit + 1 || f.lines.isEmpty(), "no line started above the limit");
        b.add(f);
        at += piece;
        if (pieces.holding() && (state & 0x100)) {
            count = 0;
            const FramedLines g = pieces.feed({}, count);
            count += qint32(g.lines.size());
            b.add(g);
        }
    }
    while (pieces.holding()) {
        count = 0;
        const FramedLines g = pieces.feed({}, count);
        count += qint32(g.lines.size());
        b.add(g);
    }

    Check(a.lines == b.lines, "the same lines however the stream is cut");
    Check(a.completed == b.completed && a.kept == b.kept && a.received == b.received, "the same counts");
    Check(whole.partialLine() == pieces.partialLine(), "the same line in progress");
    Check(a.received == stream.size(), "every byte framed");
    qint64 framing = 0;
    for (char c : stream)
        framing += c == '\x02' || c == '\x03' || c == '\r' || c == '\n';
    Check(a.kept == stream.size() - framing, "every other byte kept");
    Check(a.lines.size() <= a.completed, "no more lines than completed");
    for (const QByteArray &line : a.lines) {
        Check(!line.isEmpty() && line.size() <= MaxLineBytes, "a line fits the line buffer");
        for (char c : line)
            Check(c != '\0' && c != '\x02' && c != '\x03' && c != '\r' && c != '\n', "no framing byte or NUL in a line");
    }
    Check(whole.partialLine().size() < MaxLineBytes, "a full line is completed at once");
    return 0;
}
