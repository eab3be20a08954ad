#pragma once

#include <QHash>
#include <QString>

namespace Ordavex {

// Keeps a log that strangers can provoke from growing with what they send: the same
// line at most once a period, and at most a number of lines a period in all. What was
// held back is counted and said with the next line let through.
class LogThrottle final
{
public:
    LogThrottle(qint64 periodMs = 60'000, int linesPerPeriod = 20);

    // Whether a line with this key may be written now; *held is then the number of
    // lines held back since the last one written.
    bool admit(const QString &key, qint64 nowMs, int *held = nullptr);

private:
    qint64 m_periodMs;
    int m_linesPerPeriod;
    qint64 m_periodStartMs = -1;
    int m_linesInPeriod = 0;
    int m_held = 0;
    QHash<QString, qint64> m_lastWritten;
};

} // namespace Ordavex
