#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QFile>
#include <QList>
#include <QString>

// The capture: every byte a reader reads, framing bytes and bytes held at the line limit
// included, in the order read, so that a session can be looked at and replayed. Beside
// it an index of time stamps keeps the pace of the reads.
namespace Ordavex {

inline const QString MsgCaptureFailed = QStringLiteral("受信ﾃﾞｰﾀの記録ﾌｧｲﾙに書き込めません。");

// Where a reader keeps its capture: the folder, and the time the showing began, which
// names the file. No folder, no capture.
struct CaptureTarget
{
    QString folder;
    QDateTime started;
};

// "yymmddhhmmss.cap".
QString CaptureName(const QDateTime &when);
// The index beside a capture: the same name with ".idx".
QString CaptureIndexPath(const QString &capturePath);

// One line of the index, "offset ms" and CR LF: the bytes of the capture from offset on
// were read ms milliseconds after the capture began. A mark is written for a read whose
// millisecond differs from the last mark's, so a burst within one millisecond is one mark.
struct CaptureMark
{
    qint64 offset = 0;
    qint64 ms = 0;

    bool operator==(const CaptureMark &) const = default;
};
QByteArray CaptureIndexLine(const CaptureMark &mark);
// The marks of an index for a capture of captureSize bytes. False on a line that is no
// mark, or on offsets or times that go back or reach past the capture: a replay never
// guesses. A last line cut short by a crash is left out.
bool ParseCaptureIndex(QByteArrayView text, qint64 captureSize, QList<CaptureMark> *marks);

// Written by the reader thread alone. Reads are gathered and written out together, at
// the latest FlushMs after the first of them, so that a crash of the program loses no
// more than that and a fast stream costs few writes. Append-only, so it cannot be
// written atomically; it never replaces a file.
class CaptureFile final
{
    Q_DISABLE_COPY_MOVE(CaptureFile)

public:
    static constexpr qint64 FlushMs = 50;
    static constexpr qsizetype FlushBytes = 256 * 1024;

    CaptureFile() = default;
    ~CaptureFile() { close(); }

    // Makes the folder when it is missing and creates a new capture and its index there;
    // when the name is taken, "_2", "_3", ... go before the extension.
    bool open(const QString &folder, const QDateTime &when);
    bool isOpen() const { return m_data.isOpen(); }
    QString path() const { return m_data.fileName(); }
    // Appends the bytes of one read, ms milliseconds after the capture began. False when
    // writing failed; the capture is closed then and takes nothing more, and a capture
    // that failed before any of it was written is removed, so that trying again on a
    // full disk leaves no empty files behind.
    // The bytes are copied into one buffer, written out with one write.
    bool append(QByteArrayView bytes, qint64 ms);
    // Writes out what waits when it has waited FlushMs at ms, or at once with force.
    // False when writing failed, as for append.
    bool flush(qint64 ms, bool force = false);
    // Writes out what waits and closes; false when that write failed.
    bool close();

private:
    bool writeOut();

    QFile m_data;
    QFile m_index;
    QByteArray m_pending;
    QByteArray m_pendingIndex;
    qint64 m_size = 0;          // bytes appended, those waiting included
    qint64 m_lastMs = -1;
    qint64 m_pendingSinceMs = -1;
    bool m_wroteAny = false;
};

} // namespace Ordavex
