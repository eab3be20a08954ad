#pragma once

#include <QByteArrayView>
#include <QString>

namespace Ordavex {

// A pseudo-terminal pair in raw mode (no echo, no line editing): the slave's path is a
// serial device for SerialLink; the master end plays the timing machine. Used by the
// simulator, the tests and the benchmarks.
class PseudoTerminal final
{
    Q_DISABLE_COPY_MOVE(PseudoTerminal)

public:
    PseudoTerminal();
    ~PseudoTerminal();

    bool isValid() const { return m_master >= 0; }
    QString slavePath() const { return m_slavePath; }
    int masterFd() const { return m_master; }
    // Writes all bytes to the master end; false on an error.
    bool write(QByteArrayView bytes);
    // Closes the master end: the slave's reader sees the device go away.
    void closeMaster();

private:
    int m_master = -1;
    int m_slave = -1;   // kept open so that the slave never reports a hang-up before use
    QString m_slavePath;
};

} // namespace Ordavex
