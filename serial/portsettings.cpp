#include "portsettings.h"

#include "serialtexts.h"

#include "core/linklists.h"
#include "core/settings.h"

namespace Ordavex {

PortSettings LinkPortSettings(const Settings &settings)
{
    using namespace LinkLists;
    PortSettings p;
    p.baudRate = RateOf(settings.cBauRate);
    p.dataBits = QSerialPort::DataBits(5 + ValidIndex(settings.cBitSize, BitSizeCount, DefaultBitSize));
    switch (ValidIndex(settings.cParity, ParityCount, DefaultParity)) {
    case 1:
        p.parity = QSerialPort::EvenParity;
        break;
    case 2:
        p.parity = QSerialPort::OddParity;
        break;
    default:
        p.parity = QSerialPort::NoParity;
        break;
    }
    switch (ValidIndex(settings.cStopBits, StopBitsCount, DefaultStopBits)) {
    case 1:
#ifdef Q_OS_WIN
        p.stopBits = QSerialPort::OneAndHalfStop;
#else
        p.stopBits = QSerialPort::OneStop;
        p.note = MsgNoOneAndHalfStopBits;
#endif
        break;
    case 2:
        p.stopBits = QSerialPort::TwoStop;
        break;
    default:
        p.stopBits = QSerialPort::OneStop;
        break;
    }
    return p;
}

QString PortDeviceName(const Settings &settings, int portIndex)
{
    const int index = LinkLists::ValidIndex(portIndex, LinkLists::PortCount, LinkLists::DefaultPort);
#ifdef Q_OS_WIN
    Q_UNUSED(settings);
    return QStringLiteral("COM%1").arg(index + 1);
#else
    const QString &entry = settings.ports[std::size_t(index)];
    return entry.isEmpty() ? QStringLiteral("/dev/ttyS%1").arg(index) : entry;
#endif
}

} // namespace Ordavex
