#include "seriallink.h"

#include "core/settings.h"

#include <QSerialPort>

namespace Ordavex {

SerialLink::SerialLink(QObject *parent)
    : QObject(parent)
{
    connect(this, &SerialLink::portFailed, this, &SerialLink::closeDeadPort, Qt::QueuedConnection);
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
    // The device going away while no reader runs: the port sits on this thread, and its
    // notifier would fire without end. Direct, so that only these errors are passed on
    // (a reader's every wait ends in a time-out error); the port is closed later, here.
    connect(port.get(), &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError error) {
        if (error == QSerialPort::ReadError || error == QSerialPort::ResourceError)
            emit portFailed(QPrivateSignal());
    }, Qt::DirectConnection);
    m_port = std::move(port);
    m_framer = LineFramer();
    return {true, wanted.note};
}

TMyThread *SerialLink::startReader(std::shared_ptr<ReceiveCounters> counters, CaptureTarget capture)
{
    if (!m_port || !stopReader(StopWaitMs))
        return nullptr;
    m_reader.reset();
    counters->keptBytes.store(0);
    counters->receivedBytes.store(0);
    m_reader.reset(new TMyThread(m_port.get(), &m_framer, std::move(counters), thread(), std::move(capture)));
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

bool SerialLink::readerActive() const
{
    return m_reader && !m_reader->isFinished();
}

void SerialLink::closeDeadPort()
{
    // A reader deals with it itself; a port opened since has its own errors.
    if (!m_port || readerActive())
        return;
    const QSerialPort::SerialPortError error = m_port->error();
    if (error == QSerialPort::ReadError || error == QSerialPort::ResourceError)
        m_port->close();
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
