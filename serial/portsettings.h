#pragma once

#include <QSerialPort>
#include <QString>

namespace Ordavex {

struct Settings;

// The line settings that an open applies to the port.
struct PortSettings
{
    qint32 baudRate = 9600;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::Parity parity = QSerialPort::NoParity;    // even and odd are checked on input
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
    QString note;   // for the status text: a choice this system cannot give

    bool operator==(const PortSettings &) const = default;
};

// From cBauRate, cBitSize, cParity and cStopBits. An index outside its list gives the
// list's default, so a hand-edited file can never reach past the rate table. One and a
// half stop bits exist only on Windows; elsewhere one stop bit is used, with a note.
PortSettings LinkPortSettings(const Settings &settings);

// The device of the port with the 0-based index (the settings' cComName): "COM%d" with
// index + 1 on Windows; elsewhere the entry of section Ports, else /dev/ttyS(index).
// An index outside COM1 to COM5 is taken as COM1.
QString PortDeviceName(const Settings &settings, int portIndex);

} // namespace Ordavex
