#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

class QIODevice;

namespace Ordavex {

inline constexpr int LineBufferSize = 516, MaxLineBytes = 515, LineLimit = 1000;
// The most bytes held at the line limit. The capture keeps every byte read, so what goes
// past this is not lost from it; held bytes only wait to become lines. 1 MiB is close to
// 20 minutes of non-stop 9600 bit/s, or some thousands of heats, while memory stays flat
// whatever a stream does for days.
inline constexpr qsizetype MaxHeldBytes = 1024 * 1024;
// The size of the blocks the texts of received lines are kept in (see LineFramer).
inline constexpr qsizetype TextBlockBytes = 4096;

// The status text while the line count is above LineLimit.
inline const QString MsgLineLimit = QStringLiteral("Line が %1 を超えました。").arg(LineLimit);

// "line=%d nb=%d gb=%d": the line count, the kept and the received byte counts.
QString ReceiveStatusText(qint32 line, qint32 kept, qint32 received);

// What one call of LineFramer::feed framed.
struct FramedLines
{
    QList<QByteArray> lines;    // completed lines with text, as received
    qint32 completed = 0;       // lines completed, those without text included: the line count grows by this
    qint32 kept = 0;            // bytes stored into lines (nb)
    qint32 received = 0;        // bytes framed, framing bytes included (gb)
    qint32 dropped = 0;         // bytes let go past the held limit, never framed
};

// Cuts the timing machine's byte stream into lines: STX is dropped; ETX, LF and CR end
// a line that holds at least one byte and are ignored otherwise; every other byte, NUL
// included, is stored. NULs before a line's first other byte are line noise and left out
// of its text, which then runs up to the next NUL; a line of nothing but NULs is
// completed and counted but has no text.
//
// A line never grows past MaxLineBytes: the 515th byte completes it and the next bytes
// start a new line, so the line buffer of LineBufferSize (the line and a closing zero)
// is never overrun and nothing is dropped.
//
// No line is started while the line count is above LineLimit: the bytes are held, in
// order, and framed by a later call once the count has come down (the monitor lets its
// lines go). The count is of lines with text, the lines that wait in the monitor. Holding them here rather than leaving them to the driver keeps a long
// unattended run from losing bytes to a full input queue.
//
// The bytes held are bounded by maxHeld: past it the newest bytes are let go, whole
// lines at a time, so that no line is ever made of the end of one record and the start
// of another. The first bytes after a gap that belong to a line cut by it go too.
//
// Until bytes are let go, the result depends only on the bytes and the counts, never on
// how the stream was split into calls.
//
// The texts of the lines are stored one after another in blocks of TextBlockBytes, each
// closed by a zero, and every line refers to its place in its block: one allocation for
// many lines rather than one for each. A line is an ordinary QByteArray to its users (a
// change to one is made on a copy of its own); a block goes when the framer and the
// last of its lines are done with it, so a line kept pins at most one block.
class LineFramer final
{
public:
    explicit LineFramer(qsizetype maxHeld = MaxHeldBytes)
        : m_maxHeld(maxHeld)
    {
    }

    // Frames the bytes held so far, then these, while lineCount (the count before the
    // call, plus the lines with text completed in it) allows.
    FramedLines feed(QByteArrayView bytes, qint32 lineCount);
    // Everything the device has ready to read.
    FramedLines feed(QIODevice &device, qint32 lineCount);

    // Bytes wait for the line count to come down.
    bool holding() const { return m_heldBegin < m_held.size(); }
    qsizetype heldBytes() const { return m_held.size() - m_heldBegin; }
    // The bytes of the line being assembled.
    QByteArrayView partialLine() const { return m_line; }
    // Bytes let go past the held limit since the framer was made.
    qint64 droppedBytes() const { return m_dropped; }

private:
    qsizetype frame(QByteArrayView bytes, qint32 lineCount, FramedLines &out);
    // Lets go of the bytes of a line cut by an earlier gap; returns what is left.
    QByteArrayView skipCutLine(QByteArrayView bytes, FramedLines &out);
    void holdBack(QByteArrayView bytes, FramedLines &out);
    void bound(FramedLines &out);

    // The block being filled. A copy of a framer starts a block of its own: two framers
    // never write into one.
    class TextBlock
    {
    public:
        TextBlock() = default;
        TextBlock(const TextBlock &) {}
        TextBlock(TextBlock &&) = default;
        TextBlock &operator=(const TextBlock &other)
        {
            if (this != &other)
                *this = TextBlock();
            return *this;
        }
        TextBlock &operator=(TextBlock &&) = default;
        ~TextBlock() = default;

        // The line's text, stored here.
        QByteArray store(const char *text, qsizetype length);

    private:
        QByteArray m_bytes;
        qsizetype m_used = 0;
    };

    qsizetype m_maxHeld;
    TextBlock m_texts;
    QByteArray m_line;
    QByteArray m_held;
    qsizetype m_heldBegin = 0;  // framed bytes at the front of m_held, removed in bulk
    qint64 m_dropped = 0;
    bool m_skipToLineEnd = false;   // bytes were let go in the middle of a line
};

} // namespace Ordavex
