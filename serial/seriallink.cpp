#include "seriallink.h"

#include "core/settings.h"

#include <QSerialPort>

namespace Ordavex {

SerialLink::SerialLink(QObject *parent)
    : QObject(parent)
{
}

SerialLink::~SerialLink()
{
    close();
}

SerialLink::OpenResult SerialLink::open(const QString &deviceName, const Settings &settings)
{
    // A reader that does not stop still holds the port: it is neither closed nor replaced.
    if (!stopReader(StopWaitMs))
        return {};
    close();

    auto port = std::make_unique<QSerialPort>();
    port->setPortName(deviceName);
    if (!port->open(QIODevice::ReadWrite))
        return {};
    const PortSettings wanted = LinkPortSettings(settings);
    port->setBaudRate(wanted.baudRate);
    port->setDataBits(wanted.dataBits);
    port->setParity(wanted.parity);
    port->setStopBits(wanted.stopBits);
    // Refusals leave an error behind that is no failure of the port.
    port->clearError();
    m_port = std::move(port);
    m_framer = LineFramer();
    return {true, wanted.note};
}

TMyThread *SerialLink::startReader(std::shared_ptr<ReceiveCounters> counters)
{
    if (!m_port || !stopReader(StopWaitMs))
        return nullptr;
    m_reader.reset();
    counters->keptBytes.store(0);
    counters->receivedBytes.store(0);
    m_reader.reset(new TMyThread(m_port.get(), &m_framer, std::move(counters), thread()));
    m_port->moveToThread(m_reader.get());
    TMyThread *reader = m_reader.get();
    QMetaObject::invokeMethod(reader, &TMyThread::startOnce, Qt::QueuedConnection);
    return reader;
}

void SerialLink::requestStop()
{
    if (!m_reader)
        return;
    // A reader not yet started is started to be stopped: only its own thread can hand
    // the port back.
    m_reader->startOnce();
    m_reader->requestInterruption();
}

bool SerialLink::waitForReader(int ms)
{
    if (!m_reader)
        return true;
    if (!m_reader->m_started)
        return false;
    return m_reader->wait(QDeadlineTimer(ms));
}

bool SerialLink::stopReader(int ms)
{
    requestStop();
    return waitForReader(ms);
}

void SerialLink::close()
{
    // Waits as long as it takes: the port must never go while a reader may use it.
    if (!stopReader(StopWaitMs) && m_reader)
        m_reader->wait();
    m_reader.reset();
    m_port.reset();
}

} // namespace Ordavex
