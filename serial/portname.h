#pragma once

#include <QString>

namespace Ordavex {

// The system name of the serial port with the stored 0-based index: COM1 is index 0
// on Windows; elsewhere the index counts the machine's serial devices the same way
// (/dev/ttyS0 for COM1).
QString SerialPortName(int portIndex);

} // namespace Ordavex
