#include "logthrottle.h"

namespace Ordavex {

namespace {

// Distinct keys remembered; beyond it the oldest period's are forgotten together.
constexpr qsizetype MaxKeys = 256;

} // namespace

LogThrottle::LogThrottle(qint64 periodMs, int linesPerPeriod)
    : m_periodMs(periodMs)
    , m_linesPerPeriod(linesPerPeriod)
{
}

bool LogThrottle::admit(const QString &key, qint64 nowMs, int *held)
{
    if (m_periodStartMs < 0 || nowMs - m_periodStartMs >= m_periodMs) {
        m_periodStartMs = nowMs;
        m_linesInPeriod = 0;
    }
    const auto last = m_lastWritten.constFind(key);
    const bool repeated = last != m_lastWritten.cend() && nowMs - *last < m_periodMs;
    if (repeated || m_linesInPeriod >= m_linesPerPeriod) {
        ++m_held;
        return false;
    }
    if (m_lastWritten.size() >= MaxKeys) {
        m_lastWritten.removeIf([&](const auto &entry) { return nowMs - entry.value() >= m_periodMs; });
        if (m_lastWritten.size() >= MaxKeys) {
            ++m_held;
            return false;
        }
    }
    m_lastWritten.insert(key, nowMs);
    ++m_linesInPeriod;
    if (held)
        *held = m_held;
    m_held = 0;
    return true;
}

} // namespace Ordavex
