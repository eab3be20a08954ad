#include "core/linklists.h"
#include "core/settings.h"
#include "serial/pseudoterminal.h"
#include "serial/seriallink.h"
#include "serial/serialtexts.h"

#include <QTest>

#include <array>
#include <limits>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

using namespace Ordavex;
using namespace Qt::StringLiterals;

namespace {

// The slave's line settings as the driver holds them (a pty master reports its slave's).
struct LineState
{
    speed_t speed = 0;
    tcflag_t size = 0;
    bool parity = false;
    bool twoStopBits = false;
};

LineState lineState(const PseudoTerminal &pty)
{
    termios t{};
    if (::tcgetattr(pty.masterFd(), &t) != 0)
        return {};
    return {cfgetispeed(&t), t.c_cflag & CSIZE, (t.c_cflag & PARENB) != 0, (t.c_cflag & CSTOPB) != 0};
}

Settings settingsWith(int rate, int bitSize, int parity, int stopBits)
{
    Settings s;
    s.cBauRate = rate;
    s.cBitSize = bitSize;
    s.cParity = parity;
    s.cStopBits = stopBits;
    return s;
}

} // namespace

class TestSerialPort final : public QObject
{
    Q_OBJECT

private slots:
    void rates_data();
    void rates();
    void formats_data();
    void formats();
    void deviceNames_data();
    void deviceNames();

    void defaultsReadBack();
    void settingsReachTheDriver();
    void refusedSettingIsNoFailure();
    void absentDeviceFails();
    void portOpenElsewhereFails();
    void secondLinkOnSamePortFails();
    void nextOpenReleasesTheOldPort();
};

void TestSerialPort::rates_data()
{
    QTest::addColumn<int>("cBauRate");
    QTest::addColumn<int>("rate");
    const std::array<int, 23> table = {110, 300, 600, 1200, 1800, 2400, 4800, 7200, 9600, 14400, 19200, 38400,
                                       57600, 76800, 115200, 128000, 153600, 230400, 307200, 460800, 921600,
                                       1000000, 2000000};
    for (int i = 0; i < int(table.size()); ++i)
        QTest::addRow("%d", i) << i << table[std::size_t(i)];
    QTest::newRow("-1: default") << -1 << 9600;
    QTest::newRow("23: default") << 23 << 9600;
    QTest::newRow("huge: default") << 1000 << 9600;
    QTest::newRow("min: default") << std::numeric_limits<int>::min() << 9600;
}

void TestSerialPort::rates()
{
    QFETCH(int, cBauRate);
    QFETCH(int, rate);
    QCOMPARE(LinkPortSettings(settingsWith(cBauRate, 3, 0, 0)).baudRate, rate);
}

void TestSerialPort::formats_data()
{
    QTest::addColumn<int>("cBitSize");
    QTest::addColumn<int>("cParity");
    QTest::addColumn<int>("cStopBits");
    QTest::addColumn<int>("dataBits");
    QTest::addColumn<int>("parity");
    QTest::addColumn<int>("stopBits");
    QTest::addColumn<bool>("note");

#ifdef Q_OS_WIN
    const int oneAndHalf = QSerialPort::OneAndHalfStop;
    const bool noteOneAndHalf = false;
#else
    const int oneAndHalf = QSerialPort::OneStop;
    const bool noteOneAndHalf = true;
#endif
    QTest::newRow("defaults: 8N1") << 3 << 0 << 0 << 8 << int(QSerialPort::NoParity) << int(QSerialPort::OneStop) << false;
    QTest::newRow("5 data bits") << 0 << 0 << 0 << 5 << int(QSerialPort::NoParity) << int(QSerialPort::OneStop) << false;
    QTest::newRow("6 data bits") << 1 << 0 << 0 << 6 << int(QSerialPort::NoParity) << int(QSerialPort::OneStop) << false;
    QTest::newRow("7 data bits") << 2 << 0 << 0 << 7 << int(QSerialPort::NoParity) << int(QSerialPort::OneStop) << false;
    QTest::newRow("data bits 4: default") << 4 << 0 << 0 << 8 << int(QSerialPort::NoParity) << int(QSerialPort::OneStop) << false;
    QTest::newRow("data bits -1: default") << -1 << 0 << 0 << 8 << int(QSerialPort::NoParity) << int(QSerialPort::OneStop) << false;
    QTest::newRow("parity 1: even") << 3 << 1 << 0 << 8 << int(QSerialPort::EvenParity) << int(QSerialPort::OneStop) << false;
    QTest::newRow("parity 2: odd") << 3 << 2 << 0 << 8 << int(QSerialPort::OddParity) << int(QSerialPort::OneStop) << false;
    QTest::newRow("parity 3: default") << 3 << 3 << 0 << 8 << int(QSerialPort::NoParity) << int(QSerialPort::OneStop) << false;
    QTest::newRow("stop bits 1: one and a half") << 3 << 0 << 1 << 8 << int(QSerialPort::NoParity) << oneAndHalf << noteOneAndHalf;
    QTest::newRow("stop bits 2: two") << 3 << 0 << 2 << 8 << int(QSerialPort::NoParity) << int(QSerialPort::TwoStop) << false;
    QTest::newRow("stop bits 3: default") << 3 << 0 << 3 << 8 << int(QSerialPort::NoParity) << int(QSerialPort::OneStop) << false;
}

void TestSerialPort::formats()
{
    QFETCH(int, cBitSize);
    QFETCH(int, cParity);
    QFETCH(int, cStopBits);
    QFETCH(int, dataBits);
    QFETCH(int, parity);
    QFETCH(int, stopBits);
    QFETCH(bool, note);

    const PortSettings p = LinkPortSettings(settingsWith(8, cBitSize, cParity, cStopBits));
    QCOMPARE(int(p.dataBits), dataBits);
    QCOMPARE(int(p.parity), parity);
    QCOMPARE(int(p.stopBits), stopBits);
    QCOMPARE(p.note, note ? MsgNoOneAndHalfStopBits : QString());
}

void TestSerialPort::deviceNames_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("entry");     // the Ports entry of that index
    QTest::addColumn<QString>("device");

#ifdef Q_OS_WIN
    QTest::newRow("COM1") << 0 << QString() << u"COM1"_s;
    QTest::newRow("COM5") << 4 << QString() << u"COM5"_s;
    QTest::newRow("entry ignored") << 1 << u"/dev/ttyUSB0"_s << u"COM2"_s;
    QTest::newRow("outside: COM1") << 7 << QString() << u"COM1"_s;
#else
    QTest::newRow("COM1 without entry") << 0 << QString() << u"/dev/ttyS0"_s;
    QTest::newRow("COM5 without entry") << 4 << QString() << u"/dev/ttyS4"_s;
    QTest::newRow("COM2 entry") << 1 << u"/dev/ttyUSB0"_s << u"/dev/ttyUSB0"_s;
    QTest::newRow("COM5 entry") << 4 << u"/dev/serial/by-id/usb-FTDI"_s << u"/dev/serial/by-id/usb-FTDI"_s;
    QTest::newRow("outside: COM1") << 7 << QString() << u"/dev/ttyS0"_s;
    QTest::newRow("negative: COM1") << -1 << QString() << u"/dev/ttyS0"_s;
#endif
}

void TestSerialPort::deviceNames()
{
    QFETCH(int, index);
    QFETCH(QString, entry);
    QFETCH(QString, device);

    Settings s;
    const int at = LinkLists::ValidIndex(index, LinkLists::PortCount, LinkLists::DefaultPort);
    s.ports[std::size_t(at)] = entry;
    // Entries of other ports never leak in.
    s.ports[std::size_t((at + 1) % LinkLists::PortCount)] = u"/dev/other"_s;
    QCOMPARE(PortDeviceName(s, index), device);
}

void TestSerialPort::defaultsReadBack()
{
    PseudoTerminal pty;
    QVERIFY(pty.isValid());
    // Start from something else, so that the open has to set every value.
    termios t{};
    QCOMPARE(::tcgetattr(pty.masterFd(), &t), 0);
    cfsetspeed(&t, B2400);
    t.c_cflag |= CSTOPB;
    QCOMPARE(::tcsetattr(pty.masterFd(), TCSANOW, &t), 0);

    SerialLink link;
    const SerialLink::OpenResult result = link.open(pty.slavePath(), Settings());
    QVERIFY(result.opened);
    QCOMPARE(result.note, QString());
    QVERIFY(link.isOpen());
    const LineState state = lineState(pty);
    QCOMPARE(state.speed, speed_t(B9600));
    QCOMPARE(state.size, tcflag_t(CS8));
    QCOMPARE(state.parity, false);
    QCOMPARE(state.twoStopBits, false);
}

void TestSerialPort::settingsReachTheDriver()
{
    PseudoTerminal pty;
    QVERIFY(pty.isValid());
    SerialLink link;
    QVERIFY(link.open(pty.slavePath(), settingsWith(14, 3, 0, 2)).opened);
    LineState state = lineState(pty);
    QCOMPARE(state.speed, speed_t(B115200));
    QCOMPARE(state.twoStopBits, true);

    // Read at every open: a changed setting counts from the next one.
    QVERIFY(link.open(pty.slavePath(), settingsWith(11, 3, 0, 0)).opened);
    state = lineState(pty);
    QCOMPARE(state.speed, speed_t(B38400));
    QCOMPARE(state.twoStopBits, false);
}

// A pty takes neither 7 data bits nor parity; 1.5 stop bits exist on Windows only.
void TestSerialPort::refusedSettingIsNoFailure()
{
    PseudoTerminal pty;
    QVERIFY(pty.isValid());
    SerialLink link;
    SerialLink::OpenResult result = link.open(pty.slavePath(), settingsWith(8, 2, 1, 0));
    QVERIFY(result.opened);
    QVERIFY(link.isOpen());

    result = link.open(pty.slavePath(), settingsWith(8, 3, 0, 1));
    QVERIFY(result.opened);
#ifndef Q_OS_WIN
    QCOMPARE(result.note, MsgNoOneAndHalfStopBits);
    QCOMPARE(lineState(pty).twoStopBits, false);
#endif
}

void TestSerialPort::absentDeviceFails()
{
    SerialLink link;
    const SerialLink::OpenResult result = link.open(u"/dev/ordavex-no-such-port"_s, Settings());
    QVERIFY(!result.opened);
    QVERIFY(!link.isOpen());
    QVERIFY(!link.startReader(std::make_shared<ReceiveCounters>()));

    // A failed open closes the port held before.
    PseudoTerminal pty;
    QVERIFY(pty.isValid());
    QVERIFY(link.open(pty.slavePath(), Settings()).opened);
    QVERIFY(!link.open(u"/dev/ordavex-no-such-port"_s, Settings()).opened);
    QVERIFY(!link.isOpen());
}

// Another program holds the device exclusively. Root passes the exclusive lock of a
// terminal, so this runs as an unprivileged user (the suite's *_unprivileged entry).
void TestSerialPort::portOpenElsewhereFails()
{
    if (::geteuid() == 0)
        QSKIP("root opens a terminal held exclusively; see tst_serial_port_unprivileged");
    PseudoTerminal pty;
    QVERIFY(pty.isValid());
    const QByteArray path = pty.slavePath().toLocal8Bit();
    const int other = ::open(path.constData(), O_RDWR | O_NOCTTY);
    QVERIFY(other >= 0);
    QCOMPARE(::ioctl(other, TIOCEXCL), 0);

    SerialLink link;
    QVERIFY(!link.open(pty.slavePath(), Settings()).opened);
    QVERIFY(!link.isOpen());
    // The lock belongs to the terminal, not to the descriptor: the holder lifts it.
    QCOMPARE(::ioctl(other, TIOCNXCL), 0);
    ::close(other);
    QVERIFY(link.open(pty.slavePath(), Settings()).opened);
}

void TestSerialPort::secondLinkOnSamePortFails()
{
    PseudoTerminal pty;
    QVERIFY(pty.isValid());
    SerialLink first;
    QVERIFY(first.open(pty.slavePath(), Settings()).opened);
    SerialLink second;
    QVERIFY(!second.open(pty.slavePath(), Settings()).opened);
    first.close();
    QVERIFY(!first.isOpen());
    QVERIFY(second.open(pty.slavePath(), Settings()).opened);
}

void TestSerialPort::nextOpenReleasesTheOldPort()
{
    PseudoTerminal a;
    PseudoTerminal b;
    QVERIFY(a.isValid() && b.isValid());
    SerialLink link;
    QVERIFY(link.open(a.slavePath(), Settings()).opened);
    QVERIFY(link.open(b.slavePath(), Settings()).opened);
    SerialLink other;
    QVERIFY(other.open(a.slavePath(), Settings()).opened);
}

QTEST_GUILESS_MAIN(TestSerialPort)
#include "tst_serial_port.moc"
