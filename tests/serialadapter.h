#pragma once

// A serial adapter that can be pulled out and put back: socat makes a pseudo-terminal
// behind a fixed link and passes its standard input to it. Ending socat pulls the
// adapter out (the terminal goes, the link with it); starting it again puts it back
// under the same name.

#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

namespace Ordavex::Testing {

class Adapter final
{
    Q_DISABLE_COPY_MOVE(Adapter)

public:
    explicit Adapter(QString link)
        : m_link(std::move(link))
    {
    }
    ~Adapter() { pull(); }

    bool plugIn()
    {
        m_socat.start(QStringLiteral("socat"),
                      {QStringLiteral("-u"), QStringLiteral("STDIN"), QStringLiteral("PTY,link=%1,rawer").arg(m_link)});
        if (!m_socat.waitForStarted(5000))
            return false;
        QElapsedTimer clock;
        clock.start();
        while (!QFileInfo::exists(m_link) && clock.elapsed() < 5000)
            QTest::qWait(10);
        return QFileInfo::exists(m_link);
    }
    void pull()
    {
        if (m_socat.state() == QProcess::NotRunning)
            return;
        m_socat.terminate();
        if (!m_socat.waitForFinished(5000)) {
            m_socat.kill();
            m_socat.waitForFinished(5000);
        }
    }
    bool send(const QByteArray &bytes)
    {
        return m_socat.write(bytes) == bytes.size() && m_socat.waitForBytesWritten(5000);
    }

private:
    QString m_link;
    QProcess m_socat;
};

} // namespace Ordavex::Testing
