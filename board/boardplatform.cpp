#include "boardplatform.h"

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#include <sys/resource.h>
#include <unistd.h>
#endif
#ifdef Q_OS_LINUX
#include <sys/prctl.h>
#endif
#ifdef Q_OS_WIN
#include <io.h>
#include <windows.h>
#endif

namespace Ordavex {

bool ApplyBoardProcessLimits(qint64 memoryBytes)
{
    bool ok = true;
#ifdef Q_OS_LINUX
    // Ended with the program even when it is killed and cannot end us itself.
    if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0)
        ok = false;
    // The program may already have gone between the fork and the line above.
    if (::getppid() == 1)
        ::_exit(0);
#endif
#ifdef Q_OS_UNIX
    // The official's window comes first: the board takes what the processor has left.
    errno = 0;
    if (::nice(10) == -1 && errno != 0)
        ok = false;
    // A write to a program that has gone is an error to handle, not the end of us.
    std::signal(SIGPIPE, SIG_IGN);
    rlimit files{};
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &files);
    }
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    // A sanitizer's shadow takes terabytes of address space: no cap in such a build.
    memoryBytes = 0;
#endif
    if (memoryBytes > 0) {
        // The address space, not the resident size: every byte the process could ever
        // touch, checked by the system at each allocation, with no cgroup needed.
        rlimit memory{};
        memory.rlim_cur = rlim_t(memoryBytes);
        memory.rlim_max = rlim_t(memoryBytes);
        if (::setrlimit(RLIMIT_AS, &memory) != 0)
            ok = false;
    }
#else
    Q_UNUSED(memoryBytes);
    SetPriorityClass(GetCurrentProcess(), BELOW_NORMAL_PRIORITY_CLASS);
    ok = false;
#endif
    return ok;
}

qint64 ReadStandardInput(char *buffer, qint64 size)
{
#ifdef Q_OS_WIN
    return ::_read(0, buffer, unsigned(qMin<qint64>(size, 1 << 30)));
#else
    for (;;) {
        const ssize_t read = ::read(STDIN_FILENO, buffer, size_t(size));
        if (read < 0 && errno == EINTR)
            continue;
        return qint64(read);
    }
#endif
}

bool WriteStandardOutput(const char *bytes, qint64 size)
{
    while (size > 0) {
#ifdef Q_OS_WIN
        const qint64 written = ::_write(1, bytes, unsigned(qMin<qint64>(size, 1 << 30)));
#else
        const ssize_t written = ::write(STDOUT_FILENO, bytes, size_t(size));
        if (written < 0 && errno == EINTR)
            continue;
#endif
        if (written <= 0)
            return false;
        bytes += written;
        size -= written;
    }
    return true;
}

} // namespace Ordavex
