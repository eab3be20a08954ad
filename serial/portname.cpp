#include "portname.h"

namespace Ordavex {

QString SerialPortName(int portIndex)
{
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(portIndex + 1);
#else
    return QStringLiteral("/dev/ttyS%1").arg(portIndex);
#endif
}

} // namespace Ordavex
