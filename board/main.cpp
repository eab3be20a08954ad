// The live results board's own program: started, fed and ended by Ordavex, so that
// nothing a visitor sends can reach the program the official types into.

#include "boardlimits.h"
#include "boardplatform.h"
#include "boardprogram.h"

#include "core/logthrottle.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMutex>

#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace Ordavex;

namespace {

QMutex logMutex;
LogThrottle *logThrottle = nullptr;
QElapsedTimer *logClock = nullptr;

// Every line the libraries write may come from what a visitor sent: each at most once a
// minute, and a bounded number a minute in all.
void throttledMessage(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    int held = 0;
    {
        QMutexLocker locker(&logMutex);
        const QString key = QString::fromUtf8(context.category ? context.category : "") + u'|' + text.left(80);
        if (!logThrottle->admit(key, logClock->elapsed(), &held))
            return;
    }
    QByteArray line = "ordavex-board: " + text.toUtf8();
    if (held > 0)
        line += " (" + QByteArray::number(held) + " lines held back)";
    line += '\n';
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
    if (type == QtFatalMsg)
        std::abort();
}

} // namespace

int main(int argc, char *argv[])
{
    qint64 memoryBytes = 0;
    bool listAddresses = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--addresses") == 0)
            listAddresses = true;
        else if (std::strcmp(argv[i], "--memory-limit-mib") == 0 && i + 1 < argc)
            memoryBytes = std::strtoll(argv[++i], nullptr, 10) * 1024 * 1024;
    }
    if (!listAddresses)
        ApplyBoardProcessLimits(memoryBytes);

    QCoreApplication app(argc, argv);
    if (listAddresses) {
        QByteArray out = BoardAddresses().join(u'\n').toUtf8();
        out += '\n';
        return WriteStandardOutput(out.constData(), out.size()) ? 0 : 1;
    }

    LogThrottle throttle;
    QElapsedTimer clock;
    clock.start();
    logThrottle = &throttle;
    logClock = &clock;
    qInstallMessageHandler(throttledMessage);

    BoardLimits limits;
    // For benchmarks whose many clients all come from loopback, where a meet's come from
    // as many addresses: the share of one address, up to the whole.
    if (const int perAddress = qEnvironmentVariableIntValue("ORDAVEX_BOARD_MAX_PER_ADDRESS");
        perAddress > 0 && perAddress <= limits.maxConnections)
        limits.maxPerPeer = perAddress;
    BoardProgram program{limits};
    int code = 0;
    QObject::connect(&program, &BoardProgram::finished, &app, [&code](int exitCode) {
        code = exitCode;
        QCoreApplication::exit(exitCode);
    });
    program.run();
    QCoreApplication::exec();
    // Nothing is left to tidy that the system does not: a publish folder on a hung disk
    // must not hold the end.
    std::fflush(stderr);
    std::_Exit(code);
}
